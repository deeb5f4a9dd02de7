#include <charconv>
#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

#include "standin/standin.h"
#include "text.h"

namespace parktotals::standin {
namespace {

struct TypeName {
    SqlType type;
    int precision = 18;
    int scale = 0;
};

// Reads one rules line from left to right.
class Cursor {
public:
    Cursor(std::string_view line, int number) : line_(line), number_(number) {}

    [[noreturn]] void Fail(const std::string& what) const {
        throw ScriptError("line " + std::to_string(number_) + ": " + what);
    }

    void SkipSpaces() {
        while (at_ < line_.size() && (line_[at_] == ' ' || line_[at_] == '\t')) ++at_;
    }

    bool AtEnd() {
        SkipSpaces();
        return at_ == line_.size();
    }

    // The next run of characters up to a space, tab or '|'. A "decimal(" or
    // "numeric(" word runs to its ')', spaces included.
    std::string Word() {
        SkipSpaces();
        const std::size_t start = at_;
        while (at_ < line_.size() && line_[at_] != ' ' && line_[at_] != '\t' && line_[at_] != '|') {
            if (line_[at_++] == '(') {
                const std::size_t close = line_.find(')', at_);
                if (close == std::string_view::npos) Fail("missing ')'");
                at_ = close + 1;
                break;
            }
        }
        return std::string(line_.substr(start, at_ - start));
    }

    std::string NeedWord(const char* what) {
        std::string w = Word();
        if (w.empty()) Fail(std::string("expected ") + what);
        return w;
    }

    // '...' with '' standing for one quote, as in SQL.
    std::string Quoted() {
        SkipSpaces();
        if (at_ >= line_.size() || line_[at_] != '\'') Fail("expected a quoted text '...'");
        std::string out;
        for (++at_; at_ < line_.size(); ++at_) {
            if (line_[at_] != '\'') {
                out += line_[at_];
            } else if (at_ + 1 < line_.size() && line_[at_ + 1] == '\'') {
                out += '\'';
                ++at_;
            } else {
                ++at_;
                return out;
            }
        }
        Fail("quoted text has no closing quote");
    }

    bool NextIsQuote() {
        SkipSpaces();
        return at_ < line_.size() && line_[at_] == '\'';
    }

    // The text after "| ": everything to the end of the line, verbatim.
    std::string TextAfterBar() {
        SkipSpaces();
        if (at_ >= line_.size() || line_[at_] != '|') Fail("expected '|' before the batch text");
        ++at_;
        if (at_ < line_.size() && line_[at_] == ' ') ++at_;
        return Rest();
    }

    std::string Rest() {
        std::string rest(line_.substr(at_));
        at_ = line_.size();
        return rest;
    }

    void SkipOneSpace() {
        if (at_ < line_.size() && line_[at_] == ' ') ++at_;
    }

    template <typename T>
    T Number(const std::string& word) const {
        T v{};
        const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
        if (ec != std::errc() || end != word.data() + word.size() || word.empty()) Fail("not a number: '" + word + "'");
        return v;
    }

private:
    std::string_view line_;
    int number_;
    std::size_t at_ = 0;
};

TypeName ParseType(const Cursor& c, const std::string& word) {
    static const std::pair<const char*, SqlType> kSimple[] = {
        {"int", SqlType::Int},     {"bigint", SqlType::BigInt}, {"money", SqlType::Money},
        {"smallmoney", SqlType::SmallMoney}, {"float", SqlType::Float}, {"nvarchar", SqlType::NVarChar},
        {"decimal", SqlType::Decimal}, {"numeric", SqlType::Numeric},
    };
    const std::string base = word.substr(0, word.find('('));
    for (const auto& [name, type] : kSimple) {
        if (base != name) continue;
        TypeName t{type};
        if (base == word) return t;
        if (type != SqlType::Decimal && type != SqlType::Numeric) break;
        static const std::regex kArgs(R"(\(\s*(\d{1,2})\s*(?:,\s*(\d{1,2})\s*)?\))");
        std::smatch m;
        const std::string args = word.substr(base.size());
        if (!std::regex_match(args, m, kArgs)) c.Fail("bad type '" + word + "'");
        t.precision = std::stoi(m[1]);
        t.scale = m[2].matched ? std::stoi(m[2]) : 0;
        return t;
    }
    c.Fail("unknown type '" + word + "'");
}

Answer ParseAnswer(Cursor& c) {
    const std::string word = c.NeedWord("an answer");
    try {
        if (word == "delay") {
            const auto ms = c.Number<unsigned>(c.NeedWord("milliseconds"));
            return ParseAnswer(c).After(std::chrono::milliseconds(ms));
        }
        if (word == "hold") return ParseAnswer(c).Held();
        if (word == "cut") {
            const auto rows = c.Number<std::size_t>(c.NeedWord("a row count"));
            const Answer answer = ParseAnswer(c);
            if (answer.kind != Answer::Kind::Scalar) c.Fail("only a value can be cut short");
            return answer.DropAfterRows(rows);
        }
        if (word == "trigger") {
            const auto count = c.Number<std::uint64_t>(c.NeedWord("a row count"));
            const Answer answer = ParseAnswer(c);
            if (answer.kind != Answer::Kind::RowCount) c.Fail("only a row count can follow a trigger's count");
            return answer.FiringTrigger({count});
        }
        if (word == "ok") return Answer::Ok();
        if (word == "drop") return Answer::Drop();
        if (word == "rows") return Answer::RowCount(c.Number<std::uint64_t>(c.NeedWord("a row count")));
        if (word == "error") {
            const auto number = c.Number<std::int32_t>(c.NeedWord("an error number"));
            std::uint8_t severity = 16, state = 1;
            if (!c.NextIsQuote()) severity = c.Number<std::uint8_t>(c.NeedWord("a severity"));
            if (!c.NextIsQuote()) state = c.Number<std::uint8_t>(c.NeedWord("a state"));
            return Answer::Error(number, c.Quoted(), severity, state);
        }
        if (word == "null") {
            const TypeName t = ParseType(c, c.NeedWord("a type"));
            return Answer::Scalar(Value::Null(t.type, t.precision, t.scale));
        }
        const TypeName t = ParseType(c, word);
        if (t.type == SqlType::NVarChar) return Answer::Scalar(Value::NVarChar(c.Quoted()));
        const std::string v = c.NeedWord("a value");
        switch (t.type) {
        case SqlType::Int: return Answer::Scalar(Value::Int(c.Number<std::int32_t>(v)));
        case SqlType::BigInt: return Answer::Scalar(Value::BigInt(c.Number<std::int64_t>(v)));
        case SqlType::Money: return Answer::Scalar(Value::Money(v));
        case SqlType::SmallMoney: return Answer::Scalar(Value::SmallMoney(v));
        case SqlType::Decimal: return Answer::Scalar(Value::Decimal(t.precision, t.scale, v));
        case SqlType::Numeric: return Answer::Scalar(Value::Numeric(t.precision, t.scale, v));
        case SqlType::Float: {
            // SQL Server never stores NaN or infinity, but a float that
            // reaches it from a careless client can come back as one: the
            // rules spell them nan, inf and -inf, nothing else.
            if (v == "nan") return Answer::Scalar(Value::Float(std::nan("")));
            if (v == "inf") return Answer::Scalar(Value::Float(HUGE_VAL));
            if (v == "-inf") return Answer::Scalar(Value::Float(-HUGE_VAL));
            const double d = c.Number<double>(v);
            if (!std::isfinite(d)) throw std::invalid_argument("float values are finite numbers, nan, inf or -inf");
            return Answer::Scalar(Value::Float(d));
        }
        case SqlType::NVarChar: break;
        }
    } catch (const std::invalid_argument& e) {
        c.Fail(e.what());
    }
    c.Fail("unknown answer '" + word + "'");
}

void ParseLine(std::string_view line, int number, Script& script) {
    Cursor c(line, number);
    if (c.AtEnd()) return;
    const std::string directive = c.Word();
    if (directive.starts_with("#")) return;
    if (directive == "default") {
        script.fallback = ParseAnswer(c);
        if (!c.AtEnd()) c.Fail("unexpected text after the answer");
    } else if (directive == "login-delay") {
        const std::string ms = c.NeedWord("milliseconds or 'never'");
        script.login_delay = ms == "never" ? Script::kNeverAnswer : std::chrono::milliseconds(c.Number<unsigned>(ms));
        if (!c.AtEnd()) c.Fail("unexpected text after the delay");
    } else if (directive == "login") {
        const std::string user = c.NeedWord("a user name");
        c.SkipOneSpace();
        script.accounts[user] = c.Rest();
    } else if (directive == "exact") {
        Answer answer = ParseAnswer(c);
        script.rules.push_back(Rule::Exact(c.TextAfterBar(), std::move(answer)));
    } else if (directive == "escaped") {
        Answer answer = ParseAnswer(c);
        std::string text;
        if (!JsonUnescape(c.TextAfterBar(), text)) c.Fail("bad escape in the batch text");
        script.rules.push_back(Rule::Exact(std::move(text), std::move(answer)));
    } else if (directive == "regex") {
        Answer answer = ParseAnswer(c);
        try {
            script.rules.push_back(Rule::Regex(c.TextAfterBar(), std::move(answer)));
        } catch (const std::regex_error& e) {
            c.Fail(std::string("bad regex: ") + e.what());
        }
    } else {
        c.Fail("unknown directive '" + directive + "'");
    }
}

} // namespace

Script ParseScript(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    Script script;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        ParseLine(line, ++number, script);
    }
    return script;
}

Script LoadScript(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ScriptError("cannot read " + path);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    try {
        return ParseScript(bytes.str());
    } catch (const ScriptError& e) {
        throw ScriptError(path + ": " + e.what());
    }
}

} // namespace parktotals::standin
