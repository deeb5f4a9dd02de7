#include "totals/run_event.h"

namespace parktotals {

// Linux has no Application log: the journal (systemd) or cron's mail
// already has what a run without a window prints.
std::optional<std::string> WriteRunEvent(const RunEvent&) noexcept { return std::nullopt; }

} // namespace parktotals
