// The text a figure becomes. For decimals, floats and the general format
// underneath them: the output is a plain number SQL reads the same way
// everywhere (full stop, no separators, no trailing zeros after the point, at
// most the precision's significant digits), and it is the input rounded, not
// some other number. Decimal text that is no number must be refused.

#include "text/errors.h"
#include "db/value_text.h"
#include "fuzz_check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace parktotals;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// An exact decimal: (negative ? -1 : 1) * 0.<digits> * 10^exponent, with no
// leading or trailing zero in digits (empty for zero).
struct Exact {
    bool negative = false;
    std::string digits;
    long exponent = 0;
};

Exact Normalize(bool negative, std::string digits, long exponent) {
    std::size_t lead = 0;
    while (lead < digits.size() && digits[lead] == '0') ++lead;
    digits.erase(0, lead);
    exponent -= static_cast<long>(lead);
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    if (digits.empty()) return {};
    return {negative, digits, exponent};
}

// Plain decimal text as RenderDecimal documents it, blanks around allowed.
std::optional<Exact> ParseDecimalInput(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
    if (whole.empty() && fraction.empty()) return std::nullopt;
    if (!std::all_of(whole.begin(), whole.end(), IsDigit) || !std::all_of(fraction.begin(), fraction.end(), IsDigit))
        return std::nullopt;
    return Normalize(negative, std::string(whole) + std::string(fraction), static_cast<long>(whole.size()));
}

// Checks the output's form and returns its value. Forms: "0", "-1.25",
// "0.0005", "120", "1.5E20", "-1E-5".
Exact ParseOutput(const std::string& out, int precision) {
    FUZZ_CHECK(!out.empty());
    if (out == "0") return {};
    std::string_view text = out;
    const bool negative = text.front() == '-';
    if (negative) text.remove_prefix(1);
    long scale = 0;
    const std::size_t e = text.find('E');
    if (e != std::string_view::npos) {
        std::string_view power = text.substr(e + 1);
        text = text.substr(0, e);
        const bool down = !power.empty() && power.front() == '-';
        if (down) power.remove_prefix(1);
        FUZZ_CHECK(!power.empty() && power.size() < 9 && std::all_of(power.begin(), power.end(), IsDigit));
        FUZZ_CHECK(power.size() == 1 || power.front() != '0');
        scale = std::stol(std::string(power)) * (down ? -1 : 1);
        // Scientific: one digit, not zero, before any point.
        FUZZ_CHECK(!text.empty() && text.front() != '0' && (text.size() == 1 || text[1] == '.'));
    }
    const std::size_t point = text.find('.');
    std::string_view whole = text.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
    FUZZ_CHECK(!whole.empty() && std::all_of(whole.begin(), whole.end(), IsDigit));
    FUZZ_CHECK(whole.size() == 1 || whole.front() != '0');
    if (point != std::string_view::npos) {
        FUZZ_CHECK(!fraction.empty() && std::all_of(fraction.begin(), fraction.end(), IsDigit));
        FUZZ_CHECK(fraction.back() != '0');
    }
    const Exact value = Normalize(negative, std::string(whole) + std::string(fraction),
                                  static_cast<long>(whole.size()) + scale);
    FUZZ_CHECK(!value.digits.empty()); // only "0" is zero, and never "-0"
    FUZZ_CHECK(static_cast<int>(value.digits.size()) <= precision);
    return value;
}

// The digit of `x` worth 10^place.
int DigitAt(const Exact& x, long place) {
    const long index = x.exponent - 1 - place;
    return index >= 0 && index < static_cast<long>(x.digits.size()) ? x.digits[static_cast<std::size_t>(index)] - '0'
                                                                     : 0;
}

// |a - b| <= 5 * 10^p (+ 5 * 10^q), worked out digit by digit.
bool Within(const Exact& a, const Exact& b, long p, std::optional<long> q = std::nullopt) {
    auto top = [](const Exact& x) { return x.digits.empty() ? LONG_MIN / 2 : x.exponent; };
    auto bottom = [](const Exact& x) { return x.digits.empty() ? LONG_MAX / 2 : x.exponent - static_cast<long>(x.digits.size()); };
    const long high = std::max({top(a), top(b), p + 2, q.value_or(p) + 2});
    const long low = std::min({bottom(a), bottom(b), p, q.value_or(p)});
    const int sign_b = a.negative == b.negative ? -1 : 1; // |a| + sign_b * |b| has the size of a - b
    // Little-endian digits of |a| + sign_b * |b| and of the bound.
    std::vector<int> diff, bound;
    int carry = 0;
    for (long place = low; place <= high; ++place) {
        int d = DigitAt(a, place) + sign_b * DigitAt(b, place) + carry;
        carry = 0;
        while (d < 0) d += 10, --carry;
        while (d > 9) d -= 10, ++carry;
        diff.push_back(d);
        bound.push_back((place == p ? 5 : 0) + (q && place == *q ? 5 : 0));
    }
    // A negative total means |b| > |a| when subtracting: take its complement.
    if (carry < 0) {
        int borrow = 0;
        for (int& d : diff) {
            int v = -d - borrow;
            borrow = 0;
            if (v < 0) v += 10, borrow = 1;
            d = v;
        }
    }
    for (std::size_t i = 0, c = 0; i < bound.size(); ++i) {
        const int v = bound[i] + static_cast<int>(c);
        bound[i] = v % 10;
        c = static_cast<std::size_t>(v / 10);
    }
    for (std::size_t i = diff.size(); i-- > 0;)
        if (diff[i] != bound[i]) return diff[i] < bound[i];
    return true;
}

void CheckDecimal(const std::string& text) {
    const std::optional<Exact> expected = ParseDecimalInput(text);
    std::string out;
    try {
        out = RenderDecimal(text);
    } catch (const UserError&) {
        FUZZ_CHECK(!expected.has_value());
        return;
    }
    FUZZ_CHECK(expected.has_value());
    const Exact value = ParseOutput(out, 19);
    // Rounded to four decimals, then to 19 significant digits.
    FUZZ_CHECK(value.digits.empty() ? Within(*expected, value, -5)
                                    : Within(*expected, value, -5, value.exponent - 20));
}

void CheckFloat(double value) {
    if (!std::isfinite(value)) {
        bool refused = false;
        try {
            RenderFloat(value);
        } catch (const UserError&) {
            refused = true;
        }
        FUZZ_CHECK(refused);
        return;
    }
    const std::string out = RenderFloat(value);
    ParseOutput(out, 15);
    // Read back wider than double: 15 digits of the largest doubles
    // ("1.79769313486232E308") lie past the double range.
    const long double back = std::strtold(out.c_str(), nullptr);
    FUZZ_CHECK(std::fabs(back - value) <= 5.01e-15L * std::fabs(static_cast<long double>(value)));
}

void CheckGeneral(bool negative, const std::string& digits, int exponent, int precision) {
    const std::string out = FormatGeneral(negative, digits, exponent, precision);
    const Exact in = Normalize(negative, digits, exponent);
    const Exact value = ParseOutput(out, precision);
    if (in.digits.empty()) {
        FUZZ_CHECK(out == "0");
        return;
    }
    FUZZ_CHECK(value.digits.empty() || value.negative == negative);
    FUZZ_CHECK(Within(in, value, in.exponent - precision - 1));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 2)) {
    case 0:
        CheckDecimal(input.ConsumeRemainingBytesAsString());
        break;
    case 1:
        CheckFloat(input.ConsumeFloatingPoint<double>());
        break;
    default: {
        const bool negative = input.ConsumeBool();
        const int precision = input.ConsumeIntegralInRange(1, 25);
        const int exponent = input.ConsumeIntegralInRange(-400, 400);
        std::string digits;
        for (const char c : input.ConsumeRemainingBytesAsString()) digits += static_cast<char>('0' + static_cast<unsigned char>(c) % 10);
        CheckGeneral(negative, digits, exponent, precision);
    }
    }
    return 0;
}
