#include "totals/date_key.h"

#include <gtest/gtest.h>

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

TEST(DateKeyTest, DaylightSavingDaysAreOrdinaryDates) {
    // The day after the clocks change still names the change day.
    EXPECT_EQ(YesterdayKey({2026, 3, 30}), "20260329");
    EXPECT_EQ(YesterdayKey({2026, 10, 26}), "20261025");
}

TEST(LocalClockTest, GivesAPlausibleDate) {
    const LocalDate today = TodayOnLocalClock();
    EXPECT_GE(today.year, 2024);
    EXPECT_GE(today.month, 1u);
    EXPECT_LE(today.month, 12u);
    EXPECT_GE(today.day, 1u);
    EXPECT_LE(today.day, 31u);
}

} // namespace
} // namespace parktotals
