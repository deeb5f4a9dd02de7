#pragma once

#include "totals/date_key.h"

#include <chrono>
#include <optional>
#include <string>

// What a run is asked to do beyond the nightly default: try again what
// another try can mend, re-send past days, catch up missed nights. A run
// without options sends yesterday's five figures once.
namespace parktotals {

inline constexpr int kMaxRetries = 10;
inline constexpr std::chrono::seconds kDefaultRetryWait{300};
inline constexpr std::chrono::seconds kMaxRetryWait{3600};
// The longest --date range, and the most nights --catch-up looks back.
inline constexpr int kMaxDays = 31;
// No car park sent figures before it: an earlier day is a typing error.
inline constexpr LocalDate kEarliestDay{2000, 1, 1};

struct DayRange {
    LocalDate first;
    LocalDate last;
};

struct RunOptions {
    int retries = 0;                                 // more tries after the first pass, 0..kMaxRetries
    std::chrono::seconds retry_wait = kDefaultRetryWait; // 1 s .. kMaxRetryWait
    std::optional<DayRange> dates;                   // past days to send instead of yesterday
    int catch_up = 0;                                // nights before yesterday to look back, 0..kMaxDays
};

// The date written as "yyyy-mm-dd", nullopt for anything else. It may be
// no day of the calendar (2026-02-30): IsCalendarDate tells.
std::optional<LocalDate> ParseIsoDate(const std::string& text);
// "yyyy-mm-dd".
std::string FormatIsoDate(LocalDate date);

// Why `range` cannot be sent on `today` (a day that is today or later or
// before kEarliestDay, a range that ends before it starts or spans more
// than kMaxDays days), or
// nullopt when it can.
std::optional<std::string> DayRangeProblem(const DayRange& range, LocalDate today);

} // namespace parktotals
