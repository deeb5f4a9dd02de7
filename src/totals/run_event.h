#pragma once

#include "totals/run_report.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Each run that got past its command line leaves one event in Windows'
// Application log, where Event Viewer and the monitoring agents of those
// who look after many car parks watch by source and ID. What goes into it
// is decided here; writing it is the platform's (nothing on Linux, where
// the journal or cron's mail already has stderr).
namespace parktotals {

// The event source, as the installer registers it.
inline constexpr const char* kEventSource = "parktotals";
// One ID per exit code. The exe's message table (res/parktotals_events.mc)
// holds their texts under the same numbers.
inline constexpr unsigned kEventTransferred = 1000;
inline constexpr unsigned kEventIncomplete = 1001;
inline constexpr unsigned kEventStopped = 1002;
// ReportEvent takes at most this many UTF-16 characters in one insertion
// string.
inline constexpr std::size_t kEventStringLimit = 31839;

enum class EventType { Information, Warning, Error };

struct RunEvent {
    unsigned id = kEventStopped;
    EventType type = EventType::Error;
    // The insertion strings, %1 to %5 of the message table: the car park
    // number, the first night's date key, the figures transferred and
    // asked for, then the report's block, so that a monitoring rule needs
    // no prose.
    std::vector<std::string> strings;
};

// The event for a run whose report block is `report_lines`; the block is
// cut to `limit` (EventText).
RunEvent RunEventFor(const RunRecord& record, const std::vector<std::string>& report_lines,
                     std::size_t limit = kEventStringLimit);

// The lines joined with CR LF. When they pass `limit` UTF-16 characters,
// as many whole lines as fit (or the start of the first), then a line
// saying that parktotals.log has the rest.
std::string EventText(const std::vector<std::string>& lines, std::size_t limit);

// The platform's part: writes the event under kEventSource. Returns why it
// could not, or nullopt; never throws.
std::optional<std::string> WriteRunEvent(const RunEvent& event) noexcept;

} // namespace parktotals
