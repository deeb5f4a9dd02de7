#pragma once

#include <string>

namespace parktotals {

// The central totals database's connection string, in the form the hosted
// account has always been reached with. The three values are fixed when the
// program is built.
std::string CentralConnectionString(const std::string& host, const std::string& user,
                                    const std::string& password);

} // namespace parktotals
