#include "totals/date_key.h"

#include <chrono>
#include <cstdio>

namespace parktotals {

namespace {

std::chrono::sys_days DaysOf(LocalDate date) {
    using namespace std::chrono;
    return sys_days{year{date.year} / month{date.month} / day{date.day}};
}

} // namespace

bool IsCalendarDate(LocalDate date) {
    using namespace std::chrono;
    return (year{date.year} / month{date.month} / day{date.day}).ok();
}

LocalDate AddDays(LocalDate date, int days) {
    const std::chrono::year_month_day ymd{DaysOf(date) + std::chrono::days{days}};
    return {static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day())};
}

int DaysBetween(LocalDate from, LocalDate to) { return static_cast<int>((DaysOf(to) - DaysOf(from)).count()); }

std::string DateKey(LocalDate date) {
    char key[16];
    std::snprintf(key, sizeof key, "%04d%02u%02u", date.year, date.month, date.day);
    return key;
}

// Calendar arithmetic on the date, so a 23- or 25-hour day at a
// daylight-saving change cannot shift it.
std::string YesterdayKey(LocalDate today) { return DateKey(AddDays(today, -1)); }

std::string FormatDateTime(const LocalDateTime& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", time.date.year, time.date.month, time.date.day,
                  time.hour, time.minute, time.second);
    return text;
}

} // namespace parktotals
