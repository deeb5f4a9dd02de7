#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How a value read from the database becomes the text spliced into a
// statement. Every figure travels as text, so these rules decide what the
// central server receives.
namespace parktotals {

// Decimal digits, "-" for negatives, no separators.
std::string RenderInteger(std::int64_t value);

// Money, decimal and numeric: the value as a fixed-point number with four
// decimals (rounded half away from zero), printed in general format with up
// to 19 significant digits. Takes the plain decimal text a driver hands out
// ("12345.5000", "-3", ".5"); throws UserError when the text is no number.
std::string RenderDecimal(std::string_view decimal_text);

// Floating point: general format with 15 significant digits. Throws
// UserError for NaN and infinities.
std::string RenderFloat(double value);

// General format: the shortest of fixed or scientific notation for
// 0.<digits> x 10^exponent after rounding to `precision` significant digits.
// Trailing zeros go, the decimal point only appears when fraction digits
// remain, and scientific notation ("1.5E20", "1E-5") is used when the
// exponent exceeds the precision or lies below -3. The decimal separator is
// always a full stop: the text goes into SQL, where a comma would be read as
// a thousands separator.
std::string FormatGeneral(bool negative, std::string digits, int exponent, int precision);

} // namespace parktotals
