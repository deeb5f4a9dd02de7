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

// Whether the date exists in the calendar (no 31 April, 29 February only
// in a leap year).
bool IsCalendarDate(LocalDate date);
// The date `days` days after `date` (before it when negative).
LocalDate AddDays(LocalDate date, int days);
// How many days `to` lies after `from` (negative when before).
int DaysBetween(LocalDate from, LocalDate to);
// The date as "yyyymmdd", as the central table's rows are keyed.
std::string DateKey(LocalDate date);

// The day before `today` as "yyyymmdd". Calendar arithmetic on the date, so
// a 23- or 25-hour day at a daylight-saving change cannot shift it.
std::string YesterdayKey(LocalDate today);

} // namespace parktotals
