#include "db/freetds_conf.h"

#include "text/errors.h"

namespace parktotals {

// The Windows build's driver is Microsoft's, which checks certificates
// itself; the translation never asks for a freetds.conf here.
ScopedFreeTdsConf::ScopedFreeTdsConf(const std::string& text) {
    if (!text.empty()) throw UserError("This build cannot check the server certificate through FreeTDS");
}

ScopedFreeTdsConf::~ScopedFreeTdsConf() = default;

} // namespace parktotals
