#include "db/freetds_conf.h"

#include "text/errors.h"
#include "text/message_table.h"

namespace parktotals {

// The Windows build cannot hand FreeTDS (under Wine) a settings file; the
// translation refuses a certificate check through it beforehand.
ScopedFreeTdsConf::ScopedFreeTdsConf(const std::string& text) {
    if (!text.empty()) throw UserError(Say(msg::kNoFreeTdsConfInThisBuild));
}

ScopedFreeTdsConf::~ScopedFreeTdsConf() = default;

void ScopedFreeTdsConf::Undo() noexcept {}

} // namespace parktotals
