#include "totals/run_event.h"

#include "text/message_table.h"
#include "text/utf16.h"
#include "totals/figures.h"

#include <algorithm>

namespace parktotals {
namespace {

std::size_t Utf16Length(std::string_view text) { return Utf8ToUtf16(text).size(); }

} // namespace

std::string EventText(const std::vector<std::string>& lines, std::size_t limit) {
    std::string whole;
    for (const std::string& line : lines) whole += (whole.empty() ? "" : "\r\n") + line;
    if (Utf16Length(whole) <= limit) return whole;

    const std::string note = Say(msg::kEventTextCut, {kRunReportFileName});
    const std::size_t room = limit - std::min(limit, Utf16Length(note) + 2);
    std::string text;
    std::size_t used = 0;
    for (const std::string& line : lines) {
        const std::size_t length = Utf16Length(line) + (text.empty() ? 0 : 2);
        if (used + length > room) break;
        text += (text.empty() ? "" : "\r\n") + line;
        used += length;
    }
    if (text.empty() && !lines.empty()) {
        // One line longer than an event: its start, never half a pair of
        // surrogates.
        std::u16string start = Utf8ToUtf16(lines.front()).substr(0, room);
        if (!start.empty() && start.back() >= 0xD800 && start.back() <= 0xDBFF) start.pop_back();
        text = Utf16ToUtf8(start);
    }
    return text + "\r\n" + note;
}

RunEvent RunEventFor(const RunRecord& record, const std::vector<std::string>& report_lines, std::size_t limit) {
    const JobRecord& job = record.job;
    RunEvent event;
    switch (record.exit_code) {
    case 0:
        event = {kEventTransferred, EventType::Information, {}};
        break;
    case 2:
        event = {kEventIncomplete, EventType::Warning, {}};
        break;
    default: // 1: the run stopped with an error
        break;
    }
    // As the report's "Date key" and "End" lines count them.
    const std::string date_key = job.nights.empty() ? job.date_key : job.nights.front().date_key;
    const int asked = job.nights.empty() ? kFigureCount : job.AskedCount();
    event.strings = {job.park.number, date_key, std::to_string(job.TransferredCount()), std::to_string(asked),
                     EventText(report_lines, limit)};
    return event;
}

} // namespace parktotals
