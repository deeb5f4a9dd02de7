#include "db/value_text.h"

#include "text/ascii.h"
#include "text/errors.h"
#include "text/message_table.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace parktotals {
namespace {

// Adds one unit in the last place of a string of decimal digits. Returns
// false when the carry runs off the front ("999" becomes "000").
bool IncrementDigits(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return true;
        }
        *it = '0';
    }
    return false;
}

} // namespace

std::string RenderInteger(std::int64_t value) {
    return std::to_string(value);
}

std::string FormatGeneral(bool negative, std::string digits, int exponent, int precision) {
    // Leading zeros carry no significance; each one moves the point.
    std::size_t leading = 0;
    while (leading < digits.size() && digits[leading] == '0') ++leading;
    digits.erase(0, leading);
    exponent -= static_cast<int>(leading);

    if (static_cast<int>(digits.size()) > precision) {
        const bool round_up = digits[precision] >= '5';
        digits.resize(precision);
        if (round_up && !IncrementDigits(digits)) {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++exponent;
        }
    }
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    if (digits.empty()) return "0";

    std::string out = negative ? "-" : "";
    const int count = static_cast<int>(digits.size());
    if (exponent > precision || exponent < -3) {
        out += digits[0];
        if (count > 1) {
            out += '.';
            out.append(digits, 1);
        }
        out += 'E';
        out += std::to_string(exponent - 1);
    } else if (exponent <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent), '0');
        out += digits;
    } else if (count <= exponent) {
        out += digits;
        out.append(static_cast<std::size_t>(exponent - count), '0');
    } else {
        out.append(digits, 0, static_cast<std::size_t>(exponent));
        out += '.';
        out.append(digits, static_cast<std::size_t>(exponent));
    }
    return out;
}

std::string RenderDecimal(std::string_view text) {
    const std::string original(text);
    text = TrimBlanks(text);

    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::string whole, fraction;
    std::size_t i = 0;
    while (i < text.size() && IsDigit(text[i])) whole += text[i++];
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) fraction += text[i++];
    }
    if (i != text.size() || (whole.empty() && fraction.empty()))
        throw UserError(Say(msg::kNotADecimal, {original}));

    // Fixed point with four decimals, rounded half away from zero.
    const bool round_up = fraction.size() > 4 && fraction[4] >= '5';
    fraction.resize(4, '0');
    std::string digits = whole + fraction;
    int exponent = static_cast<int>(whole.size());
    if (round_up && !IncrementDigits(digits)) {
        digits.insert(digits.begin(), '1');
        ++exponent;
    }
    return FormatGeneral(negative, digits, exponent, 19);
}

std::string RenderFloat(double value) {
    // No central column can hold these, and the server would read "NAN" or
    // "INF" as text: the figure is not sent.
    if (std::isnan(value)) throw UserError(Say(msg::kValueIsNaN));
    if (std::isinf(value)) throw UserError(Say(value < 0 ? msg::kValueIsMinusInfinity : msg::kValueIsInfinity));
    if (value == 0) return "0";

    // printf rounds correctly to 15 significant digits; we only re-lay them.
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
    std::string digits;
    const char* p = buffer;
    for (; *p != 'e'; ++p)
        if (IsDigit(*p)) digits += *p;
    const int exponent = std::atoi(p + 1) + 1;
    return FormatGeneral(value < 0, digits, exponent, 15);
}

} // namespace parktotals
