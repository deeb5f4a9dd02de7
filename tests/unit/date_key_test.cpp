#include "totals/date_key.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <tuple>

namespace parktotals {
namespace {

TEST(DateKeyTest, NamesThePreviousDay) {
    EXPECT_EQ(YesterdayKey({2026, 12, 8}), "20261207");
    EXPECT_EQ(YesterdayKey({2026, 10, 11}), "20261010");
}

TEST(DateKeyTest, FirstOfMonthGivesLastDayOfPreviousMonth) {
    EXPECT_EQ(YesterdayKey({2026, 3, 1}), "20260228");
    EXPECT_EQ(YesterdayKey({2024, 3, 1}), "20240229");
    EXPECT_EQ(YesterdayKey({2100, 3, 1}), "21000228");
    EXPECT_EQ(YesterdayKey({2000, 3, 1}), "20000229");
    EXPECT_EQ(YesterdayKey({2026, 5, 1}), "20260430");
    EXPECT_EQ(YesterdayKey({2026, 8, 1}), "20260731");
}

TEST(DateKeyTest, FirstOfJanuaryGivesLastDayOfPreviousYear) {
    EXPECT_EQ(YesterdayKey({2027, 1, 1}), "20261231");
    EXPECT_EQ(YesterdayKey({1000, 1, 1}), "09991231");
}

// Sets TZ for one test and puts the old value back.
class TimeZone {
public:
    TimeZone() {
        if (const char* tz = std::getenv("TZ")) saved_ = tz;
    }
    ~TimeZone() {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

    void Set(const char* tz) const {
        setenv("TZ", tz, 1);
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

// The date `offset` east of UTC at `now`, by plain arithmetic.
std::tuple<int, unsigned, unsigned> DateAt(std::time_t now, std::chrono::hours offset) {
    using namespace std::chrono;
    const year_month_day d{floor<days>(sys_seconds{seconds{now}} + offset)};
    return {static_cast<int>(d.year()), static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day())};
}

std::tuple<int, unsigned, unsigned> Fields(const LocalDate& d) { return {d.year, d.month, d.day}; }

// The clock's date is the one in the process's time zone. Two fixed zones
// 26 hours apart (POSIX rules: no time zone data needed) always read
// different dates, and each is what UTC plus its offset gives.
TEST(LocalClockTest, ReadsTheDateInTheProcesssTimeZone) {
    const TimeZone tz;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::time_t now = std::time(nullptr);
        tz.Set("<+14>-14");
        const LocalDate east = TodayOnLocalClock();
        tz.Set("<-12>+12");
        const LocalDate west = TodayOnLocalClock();
        // Both read within the same second as `now`, or they are tried again.
        if (std::time(nullptr) != now) continue;
        EXPECT_EQ(Fields(east), DateAt(now, std::chrono::hours(14)));
        EXPECT_EQ(Fields(west), DateAt(now, std::chrono::hours(-12)));
        return;
    }
    FAIL() << "the clock never stood still for long enough";
}

} // namespace
} // namespace parktotals
