#include "totals/run_options.h"

#include <cstdio>

namespace parktotals {

std::optional<LocalDate> ParseIsoDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != 4 && i != 7 && (text[i] < '0' || text[i] > '9')) return std::nullopt;
    }
    const LocalDate date{std::stoi(text.substr(0, 4)), static_cast<unsigned>(std::stoi(text.substr(5, 2))),
                         static_cast<unsigned>(std::stoi(text.substr(8, 2)))};
    if (!IsCalendarDate(date)) return std::nullopt;
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
        return FormatIsoDate(range.last) + " is not before today (" + FormatIsoDate(today) +
               "): only past days can be sent";
    if (last < first)
        return FormatIsoDate(range.first) + " comes after " + FormatIsoDate(range.last) +
               ": the first day goes before the last";
    if (last - first + 1 > kMaxDays)
        return "the range holds " + std::to_string(last - first + 1) + " days; at most " + std::to_string(kMaxDays) +
               " can be sent at once";
    return std::nullopt;
}

} // namespace parktotals
