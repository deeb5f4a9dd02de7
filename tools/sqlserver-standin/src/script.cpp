#include <algorithm>
#include <cmath>
#include <cstring>
#include <regex>

#include "bytes.h"
#include "standin/standin.h"
#include "text.h"

namespace parktotals::standin {
namespace {

// A decimal literal scaled to an integer: |text| * 10^scale, rounded half
// away from zero as SQL Server does when it stores a literal.
struct Scaled {
    bool negative = false;
    std::string digits;  // no leading zeros; empty for zero
};

Scaled ScaleDecimal(std::string_view text, int scale) {
    const auto bad = [&] { return std::invalid_argument("not a decimal number: '" + std::string(text) + "'"); };
    std::size_t i = 0;
    Scaled out;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) out.negative = text[i++] == '-';
    std::string whole, fraction;
    bool dot = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            (dot ? fraction : whole) += c;
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            throw bad();
        }
    }
    if (whole.empty() && fraction.empty()) throw bad();

    const auto kept = static_cast<std::size_t>(scale);
    const bool round_up = fraction.size() > kept && fraction[kept] >= '5';
    fraction.resize(kept, '0');
    std::string digits = whole + fraction;
    if (round_up) {
        auto it = digits.rbegin();
        for (; it != digits.rend() && *it == '9'; ++it) *it = '0';
        if (it == digits.rend()) {
            digits.insert(digits.begin(), '1');
        } else {
            ++*it;
        }
    }
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    out.digits = digits;
    if (digits.empty()) out.negative = false;
    return out;
}

// The magnitude as `bytes` little-endian bytes; false when it does not fit.
bool MagnitudeBytes(const std::string& digits, std::size_t bytes, std::string& out) {
    out.assign(bytes, '\0');
    for (const char d : digits) {
        unsigned carry = static_cast<unsigned>(d - '0');
        for (char& b : out) {
            const unsigned v = static_cast<unsigned char>(b) * 10u + carry;
            b = static_cast<char>(v & 0xFF);
            carry = v >> 8;
        }
        if (carry != 0) return false;
    }
    return true;
}

// A scaled value that must fit a signed integer of `bytes` bytes (money, smallmoney).
std::int64_t ScaledInteger(std::string_view text, std::size_t bytes, const char* type) {
    const Scaled s = ScaleDecimal(text, 4);
    std::string magnitude;
    const std::uint64_t limit = std::uint64_t{1} << (8 * bytes - 1);  // |min|; max is one less
    std::uint64_t v = 0;
    if (!MagnitudeBytes(s.digits, 8, magnitude)) throw std::invalid_argument(std::string("out of range for ") + type);
    for (std::size_t k = 8; k-- > 0;) v = (v << 8) | static_cast<unsigned char>(magnitude[k]);
    if (v > limit || (v == limit && !s.negative)) throw std::invalid_argument(std::string("out of range for ") + type);
    return s.negative ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
}

std::size_t DecimalMagnitudeBytes(int precision) {
    if (precision <= 9) return 4;
    if (precision <= 19) return 8;
    if (precision <= 28) return 12;
    return 16;
}

void CheckPrecision(int precision, int scale) {
    if (precision < 1 || precision > 38 || scale < 0 || scale > precision)
        throw std::invalid_argument("bad precision/scale (" + std::to_string(precision) + "," + std::to_string(scale) + ")");
}

} // namespace

Value::Value(SqlType type, int precision, int scale, bool null, std::string wire)
    : type_(type), precision_(precision), scale_(scale), null_(null), wire_(std::move(wire)) {}

Value Value::Int(std::int32_t v) {
    std::string w;
    PutU32(w, static_cast<std::uint32_t>(v));
    return Value(SqlType::Int, 10, 0, false, w);
}

Value Value::BigInt(std::int64_t v) {
    std::string w;
    PutU64(w, static_cast<std::uint64_t>(v));
    return Value(SqlType::BigInt, 19, 0, false, w);
}

Value Value::Money(std::string_view text) {
    // Eight bytes: the high half of the scaled integer first, then the low half.
    const auto v = static_cast<std::uint64_t>(ScaledInteger(text, 8, "money"));
    std::string w;
    PutU32(w, static_cast<std::uint32_t>(v >> 32));
    PutU32(w, static_cast<std::uint32_t>(v & 0xFFFFFFFF));
    return Value(SqlType::Money, 19, 4, false, w);
}

Value Value::SmallMoney(std::string_view text) {
    std::string w;
    PutU32(w, static_cast<std::uint32_t>(ScaledInteger(text, 4, "smallmoney")));
    return Value(SqlType::SmallMoney, 10, 4, false, w);
}

Value Value::Decimal(int precision, int scale, std::string_view text) {
    CheckPrecision(precision, scale);
    const Scaled s = ScaleDecimal(text, scale);
    std::string magnitude;
    if (static_cast<int>(s.digits.size()) > precision ||
        !MagnitudeBytes(s.digits, DecimalMagnitudeBytes(precision), magnitude))
        throw std::invalid_argument("'" + std::string(text) + "' does not fit decimal(" + std::to_string(precision) +
                                    "," + std::to_string(scale) + ")");
    return Value(SqlType::Decimal, precision, scale, false, (s.negative ? '\0' : '\1') + magnitude);
}

Value Value::Numeric(int precision, int scale, std::string_view text) {
    Value v = Decimal(precision, scale, text);
    v.type_ = SqlType::Numeric;
    return v;
}

Value Value::Float(double v) {
    // NaN and infinities are allowed: older servers let them into float
    // columns, and a client has to cope when they come back.
    std::uint64_t bits;
    static_assert(sizeof bits == sizeof v);
    std::memcpy(&bits, &v, sizeof v);
    std::string w;
    PutU64(w, bits);
    return Value(SqlType::Float, 53, 0, false, w);
}

Value Value::NVarChar(std::string_view utf8) {
    std::string w = Utf8ToUtf16le(utf8);
    if (w.size() > 8000) throw std::invalid_argument("nvarchar value longer than 4000 characters");
    return Value(SqlType::NVarChar, 0, 0, false, w);
}

Value Value::Null(SqlType type, int precision, int scale) {
    if (type == SqlType::Decimal || type == SqlType::Numeric) {
        CheckPrecision(precision, scale);
    } else {
        precision = scale = 0;
    }
    return Value(type, precision, scale, true, "");
}

Answer Answer::Ok() { return Answer{}; }

Answer Answer::Scalar(Value value, std::string column) {
    Answer a;
    a.kind = Kind::Scalar;
    a.value = std::move(value);
    a.column = std::move(column);
    return a;
}

Answer Answer::RowCount(std::uint64_t rows) {
    Answer a;
    a.kind = Kind::RowCount;
    a.rows = rows;
    return a;
}

Answer Answer::Error(std::int32_t number, std::string message, std::uint8_t severity, std::uint8_t state) {
    Answer a;
    a.kind = Kind::Error;
    a.error.number = number;
    a.error.message = std::move(message);
    a.error.severity = severity;
    a.error.state = state;
    return a;
}

Answer Answer::Drop() {
    Answer a;
    a.kind = Kind::Drop;
    return a;
}

Answer Answer::Results(std::vector<ResultSet> sets) {
    if (sets.empty()) throw std::invalid_argument("a result needs at least one set");
    for (const ResultSet& set : sets) {
        if (set.columns.empty()) throw std::invalid_argument("a result set needs at least one column");
        for (const std::vector<Value>& row : set.rows) {
            if (row.size() != set.columns.size()) throw std::invalid_argument("a row has not one value per column");
            for (std::size_t c = 0; c < row.size(); ++c) {
                const Value& want = set.columns[c].type;
                const bool decimal = want.type() == SqlType::Decimal || want.type() == SqlType::Numeric;
                if (row[c].type() != want.type() ||
                    (decimal && (row[c].precision() != want.precision() || row[c].scale() != want.scale())))
                    throw std::invalid_argument("a value is not of its column's type");
            }
        }
    }
    Answer a;
    a.kind = Kind::Results;
    a.sets = std::move(sets);
    return a;
}

Answer Answer::ThenError(std::int32_t number, std::string message, std::uint8_t severity,
                         std::uint8_t state) const {
    if (kind != Kind::Scalar && kind != Kind::Results) throw std::logic_error("only rows can be followed by an error");
    Answer a = *this;
    a.error_after_rows = Error(number, std::move(message), severity, state).error;
    return a;
}

Answer Answer::DropAfterRows(std::size_t rows) const {
    if (kind != Kind::Scalar && kind != Kind::Results) throw std::logic_error("only rows can be cut short");
    Answer a = *this;
    a.drop_after_rows = rows;
    return a;
}

Answer Answer::FiringTrigger(std::vector<std::uint64_t> counts) const {
    if (kind != Kind::RowCount) throw std::logic_error("only a row count can follow a trigger's counts");
    Answer a = *this;
    counts.insert(counts.end(), trigger_counts.begin(), trigger_counts.end());
    a.trigger_counts = std::move(counts);
    return a;
}

Answer Answer::After(std::chrono::milliseconds delay) const {
    Answer a = *this;
    a.delay = delay;
    return a;
}

Answer Answer::Held() const {
    Answer a = *this;
    a.held = true;
    return a;
}

struct Rule::Pattern {
    std::regex regex;
};

Rule::Rule(std::string text, std::shared_ptr<const Pattern> pattern, Answer answer)
    : text_(std::move(text)), pattern_(std::move(pattern)), answer_(std::move(answer)) {}

Rule Rule::Exact(std::string text, Answer answer) { return Rule(std::move(text), nullptr, std::move(answer)); }

Rule Rule::Regex(const std::string& pattern, Answer answer) {
    // __polynomial picks libstdc++'s breadth-first matcher: its depth does not
    // grow with the text, where the default one overflows the stack on a few
    // thousand characters.
    auto compiled = std::make_shared<Pattern>(
        Pattern{std::regex(pattern, std::regex::ECMAScript | std::regex_constants::__polynomial)});
    return Rule("", std::move(compiled), std::move(answer));
}

bool Rule::Matches(const std::string& batch) const {
    return pattern_ ? std::regex_match(batch, pattern_->regex) : batch == text_;
}

const Answer& Script::AnswerFor(const std::string& batch) const {
    for (const Rule& rule : rules)
        if (rule.Matches(batch)) return rule.answer();
    return fallback;
}

} // namespace parktotals::standin
