#pragma once

#include <functional>
#include <string>

namespace parktotals {

struct LocalDate {
    int year;
    unsigned month; // 1..12
    unsigned day;   // 1..31
};

// Today's date on the machine's local clock.
LocalDate TodayOnLocalClock();

// The job asks this for the date; tests hand in their own.
using DateSource = std::function<LocalDate()>;

// The day before `today` as "yyyymmdd". Calendar arithmetic on the date, so
// a 23- or 25-hour day at a daylight-saving change cannot shift it.
std::string YesterdayKey(LocalDate today);

} // namespace parktotals
