#pragma once

// Included by each program's main only: the build's values
// (app/build_config.h) are the program's own, and the tests build programs
// with other central accounts.
#include "app/build_config.h"
#include "app/program.h"
#include "db/central_connection.h"

#include <cstddef>
#include <string>

namespace parktotals {

inline ProgramFacts BuiltProgramFacts(const std::string& executable, const std::string& default_name,
                                      std::size_t usage_width) {
    return {executable, default_name, PARKTOTALS_VERSION,
            CentralConnectionString(PARKTOTALS_CENTRAL_HOST, PARKTOTALS_CENTRAL_USER, PARKTOTALS_CENTRAL_PASSWORD,
                                    {PARKTOTALS_CENTRAL_ENCRYPT, PARKTOTALS_CENTRAL_TRUST_CERTIFICATE}),
            usage_width};
}

} // namespace parktotals
