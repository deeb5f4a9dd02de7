#include "totals/run_options.h"

#include "text/message_table.h"

#include <cstdio>

namespace parktotals {

std::optional<LocalDate> ParseIsoDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != 4 && i != 7 && (text[i] < '0' || text[i] > '9')) return std::nullopt;
    }
    const LocalDate date{std::stoi(text.substr(0, 4)), static_cast<unsigned>(std::stoi(text.substr(5, 2))),
                         static_cast<unsigned>(std::stoi(text.substr(8, 2)))};
    return date;
}

std::string FormatIsoDate(LocalDate date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", date.year, date.month, date.day);
    return text;
}

std::optional<std::string> DayRangeProblem(const DayRange& range, LocalDate today) {
    const int first = DaysBetween(today, range.first);
    const int last = DaysBetween(today, range.last);
    if (last >= 0)
        return Say(msg::kNotBeforeToday, {FormatIsoDate(range.last), FormatIsoDate(today)});
    if (DaysBetween(kEarliestDay, range.first) < 0)
        return Say(msg::kBeforeEarliestDay, {FormatIsoDate(range.first), FormatIsoDate(kEarliestDay)});
    if (last < first)
        return Say(msg::kRangeReversed, {FormatIsoDate(range.first), FormatIsoDate(range.last)});
    if (last - first + 1 > kMaxDays)
        return Say(msg::kRangeTooLong, {std::to_string(last - first + 1), std::to_string(kMaxDays)});
    return std::nullopt;
}

} // namespace parktotals
