#include "totals/date_key.h"

#include <chrono>
#include <cstdio>

namespace parktotals {

std::string YesterdayKey(LocalDate today) {
    using namespace std::chrono;
    const year_month_day ymd{
        sys_days{year{today.year} / month{today.month} / day{today.day}} - days{1}};
    char key[16];
    std::snprintf(key, sizeof key, "%04d%02u%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return key;
}

std::string FormatDateTime(const LocalDateTime& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", time.date.year, time.date.month, time.date.day,
                  time.hour, time.minute, time.second);
    return text;
}

} // namespace parktotals
