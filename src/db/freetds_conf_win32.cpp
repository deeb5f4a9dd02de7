#include "db/freetds_conf.h"

#include "text/errors.h"

namespace parktotals {

// The Windows build cannot hand FreeTDS (under Wine) a settings file; the
// translation refuses a certificate check through it beforehand.
ScopedFreeTdsConf::ScopedFreeTdsConf(const std::string& text, const std::string&) {
    if (!text.empty()) throw UserError("This build cannot check the server certificate through FreeTDS");
}

ScopedFreeTdsConf::~ScopedFreeTdsConf() = default;

void ScopedFreeTdsConf::Undo() noexcept {}

} // namespace parktotals
