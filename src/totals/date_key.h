#pragma once

#include <functional>
#include <string>

namespace parktotals {

struct LocalDate {
    int year;
    unsigned month; // 1..12
    unsigned day;   // 1..31
};

struct LocalDateTime {
    LocalDate date;
    unsigned hour = 0, minute = 0, second = 0;
};

// Today's date on the machine's local clock.
LocalDate TodayOnLocalClock();
// The date and time on the machine's local clock.
LocalDateTime NowOnLocalClock();

// "yyyy-mm-dd hh:mm:ss".
std::string FormatDateTime(const LocalDateTime& time);

// The job asks this for the date; tests hand in their own.
using DateSource = std::function<LocalDate()>;

// The day before `today` as "yyyymmdd". Calendar arithmetic on the date, so
// a 23- or 25-hour day at a daylight-saving change cannot shift it.
std::string YesterdayKey(LocalDate today);

} // namespace parktotals
