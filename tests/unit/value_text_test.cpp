#include "text/errors.h"
#include "db/value_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace parktotals {
namespace {

TEST(RenderIntegerTest, PrintsPlainDigits) {
    EXPECT_EQ(RenderInteger(0), "0");
    EXPECT_EQ(RenderInteger(7), "7");
    EXPECT_EQ(RenderInteger(-42), "-42");
    EXPECT_EQ(RenderInteger(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}

TEST(RenderDecimalTest, DropsTrailingZerosAndNeedlessPoint) {
    EXPECT_EQ(RenderDecimal("100.0000"), "100");
    EXPECT_EQ(RenderDecimal("12.5000"), "12.5");
    EXPECT_EQ(RenderDecimal("0.2500"), "0.25");
    EXPECT_EQ(RenderDecimal(".25"), "0.25");
    EXPECT_EQ(RenderDecimal("0.0000"), "0");
    EXPECT_EQ(RenderDecimal("-0.0000"), "0");
    EXPECT_EQ(RenderDecimal("-12.5000"), "-12.5");
    EXPECT_EQ(RenderDecimal("1200"), "1200");
}

TEST(RenderDecimalTest, RoundsToFourDecimalsHalfAwayFromZero) {
    EXPECT_EQ(RenderDecimal("1.234567"), "1.2346");
    EXPECT_EQ(RenderDecimal("1.23445"), "1.2345");
    EXPECT_EQ(RenderDecimal("1.234449"), "1.2344");
    EXPECT_EQ(RenderDecimal("-1.23445"), "-1.2345");
    EXPECT_EQ(RenderDecimal("9.99995"), "10");
    EXPECT_EQ(RenderDecimal("0.00004"), "0");
    EXPECT_EQ(RenderDecimal("0.00005"), "0.0001");
}

TEST(RenderDecimalTest, SmallestStepStaysFixed) {
    // Four decimals never reach the scientific range below 0.0001.
    EXPECT_EQ(RenderDecimal("0.0001"), "0.0001");
    EXPECT_EQ(RenderDecimal("-0.0001"), "-0.0001");
}

TEST(RenderDecimalTest, WholeMoneyRangeIsExact) {
    EXPECT_EQ(RenderDecimal("922337203685477.5807"), "922337203685477.5807");
    EXPECT_EQ(RenderDecimal("-922337203685477.5808"), "-922337203685477.5808");
}

TEST(RenderDecimalTest, ValuesBeyondMoneyRangeGoScientific) {
    EXPECT_EQ(RenderDecimal("1000000000000000000000000000000"), "1E30");
    EXPECT_EQ(RenderDecimal("12345678901234567890123"), "1.234567890123456789E22");
    EXPECT_EQ(RenderDecimal("9999999999999999999.5"), "1E19");
    EXPECT_EQ(RenderDecimal("1234567890123456789"), "1234567890123456789");
}

TEST(RenderDecimalTest, RejectsTextThatIsNoNumber) {
    for (const char* bad : {"", "-", ".", "12a", "1.2.3", "1e5", "abc"}) {
        EXPECT_THROW(RenderDecimal(bad), UserError) << bad;
    }
}

TEST(RenderFloatTest, UsesGeneralFormatWithFifteenDigits) {
    EXPECT_EQ(RenderFloat(100.0), "100");
    EXPECT_EQ(RenderFloat(12.5), "12.5");
    EXPECT_EQ(RenderFloat(0.25), "0.25");
    EXPECT_EQ(RenderFloat(0.1), "0.1");
    EXPECT_EQ(RenderFloat(-3.75), "-3.75");
    EXPECT_EQ(RenderFloat(0.0), "0");
    EXPECT_EQ(RenderFloat(-0.0), "0");
    EXPECT_EQ(RenderFloat(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(RenderFloat(123456789012345.0), "123456789012345");
}

TEST(RenderFloatTest, SwitchesToScientificBelowATenThousandthAndPastFifteenDigits) {
    EXPECT_EQ(RenderFloat(0.0001), "0.0001");
    EXPECT_EQ(RenderFloat(0.00001), "1E-5");
    EXPECT_EQ(RenderFloat(-0.00001), "-1E-5");
    EXPECT_EQ(RenderFloat(0.000015), "1.5E-5");
    EXPECT_EQ(RenderFloat(1.5e20), "1.5E20");
    EXPECT_EQ(RenderFloat(1e15), "1E15");
    EXPECT_EQ(RenderFloat(999999999999999.0), "999999999999999");
    EXPECT_EQ(RenderFloat(9999999999999999.0), "1E16");
}

// "NAN" or "INF" in an update would be no number at head office.
TEST(RenderFloatTest, RefusesValuesThatAreNotNumbers) {
    const auto message = [](double value) {
        try {
            RenderFloat(value);
        } catch (const UserError& error) {
            return std::string(error.what());
        }
        return std::string("rendered");
    };
    EXPECT_EQ(message(std::numeric_limits<double>::infinity()), "The value is infinity and cannot be sent");
    EXPECT_EQ(message(-std::numeric_limits<double>::infinity()), "The value is minus infinity and cannot be sent");
    EXPECT_EQ(message(std::numeric_limits<double>::quiet_NaN()), "The value is not a number (NaN) and cannot be sent");
    EXPECT_EQ(message(-std::numeric_limits<double>::quiet_NaN()), "The value is not a number (NaN) and cannot be sent");
}

TEST(TrimMessageTailTest, DropsBlanksLineBreaksAndFullStops) {
    EXPECT_EQ(TrimMessageTail("Access is denied.\r\n"), "Access is denied");
    EXPECT_EQ(TrimMessageTail("Login failed. . \n"), "Login failed");
    EXPECT_EQ(TrimMessageTail("v1.2 ok"), "v1.2 ok");
    EXPECT_EQ(TrimMessageTail(" .\n"), "");
}

} // namespace
} // namespace parktotals
