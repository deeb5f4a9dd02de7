// The rules file, and the values it describes.

#include <gtest/gtest.h>

#include <cmath>

#include <tuple>

#include "standin/standin.h"

namespace parktotals::standin {
namespace {

std::string ParseError(const std::string& text) {
    try {
        ParseScript(text);
    } catch (const ScriptError& e) {
        return e.what();
    }
    return "<no error>";
}

TEST(StandinScript, ExactTextIsTheRestOfTheLineVerbatim) {
    // A byte order mark and Windows line ends, as a Windows editor leaves them.
    const Script s = ParseScript(
        "\xEF\xBB\xBF" "exact int 7 | select count(*) from [收费记录] where 备注 like '%异常%' and a+1>2*3 \r\n"
        "exact int 8 |select 1\n");
    ASSERT_EQ(s.rules.size(), 2u);
    EXPECT_TRUE(s.rules[0].Matches("select count(*) from [收费记录] where 备注 like '%异常%' and a+1>2*3 "));
    EXPECT_FALSE(s.rules[0].Matches("select count(*) from [收费记录] where 备注 like '%异常%' and a+1>2*3"));
    EXPECT_TRUE(s.rules[1].Matches("select 1"));
}

TEST(StandinScript, EscapedTextTakesTheLogsJsonEscapes) {
    const Script s = ParseScript(R"(escaped rows 1 | update t set a=N'\u505c\"x\\'\r\n)");
    ASSERT_EQ(s.rules.size(), 1u);
    EXPECT_TRUE(s.rules[0].Matches("update t set a=N'停\"x\\'\r\n"));
    EXPECT_NE(ParseError(R"(escaped rows 1 | bad \q)"), "<no error>");
}

TEST(StandinScript, RegexMustMatchTheWholeBatch) {
    const Script s = ParseScript(R"(regex int 1 | select \d+[\s\S]*)");
    ASSERT_EQ(s.rules.size(), 1u);
    EXPECT_TRUE(s.rules[0].Matches("select 42\r\n"));
    EXPECT_FALSE(s.rules[0].Matches("xselect 42"));
    EXPECT_FALSE(s.rules[0].Matches("select x"));
}

TEST(StandinScript, FirstMatchingRuleAnswersAndDefaultTakesTheRest) {
    const Script s = ParseScript(
        "# comment\n"
        "\n"
        "   exact rows 1 | a\n"
        "regex rows 2 | .*\n"
        "default error 50000 'no rule'\n");
    EXPECT_EQ(s.AnswerFor("a").rows, 1u);
    EXPECT_EQ(s.AnswerFor("b").rows, 2u);
    EXPECT_EQ(s.AnswerFor("\n").error.message, "no rule");

    // The script must outlive the answer: AnswerFor returns a reference into it.
    const Script empty = ParseScript("");
    const Answer& plain = empty.AnswerFor("anything");
    EXPECT_EQ(std::make_tuple(plain.kind, plain.rows), std::make_tuple(Answer::Kind::RowCount, std::uint64_t{0}));
}

TEST(StandinScript, ReadsEveryAnswerForm) {
    auto answer = [](const std::string& text) { return ParseScript("default " + text).fallback; };
    auto value_of = [&](const std::string& text) {
        const Answer a = answer(text);
        return std::make_tuple(a.kind, a.value.type(), a.value.precision(), a.value.scale(), a.value.wire());
    };
    auto value = [](const Value& v) {
        return std::make_tuple(Answer::Kind::Scalar, v.type(), v.precision(), v.scale(), v.wire());
    };
    EXPECT_EQ(value_of("int -7"), value(Value::Int(-7)));
    EXPECT_EQ(value_of("bigint 9007199254740993"), value(Value::BigInt(9007199254740993)));
    EXPECT_EQ(value_of("money 12.5"), value(Value::Money("12.5")));
    EXPECT_EQ(value_of("smallmoney -3.25"), value(Value::SmallMoney("-3.25")));
    EXPECT_EQ(value_of("decimal(38, 6) 1.2345678"), value(Value::Decimal(38, 6, "1.2345678")));
    EXPECT_EQ(value_of("decimal 12"), value(Value::Decimal(18, 0, "12")));
    EXPECT_EQ(value_of("numeric(10,2) 1"), value(Value::Numeric(10, 2, "1")));
    EXPECT_EQ(value_of("float 1e-5"), value(Value::Float(1e-5)));
    EXPECT_EQ(value_of("float nan"), value(Value::Float(std::nan(""))));
    EXPECT_EQ(value_of("float inf"), value(Value::Float(HUGE_VAL)));
    EXPECT_EQ(value_of("float -inf"), value(Value::Float(-HUGE_VAL)));
    EXPECT_EQ(value_of("nvarchar '停车 ''A'''"), value(Value::NVarChar("停车 'A'")));
    EXPECT_EQ(value_of("null decimal(19,4)"), value(Value::Null(SqlType::Decimal, 19, 4)));
    EXPECT_TRUE(answer("null nvarchar").value.is_null());

    EXPECT_EQ(answer("ok").kind, Answer::Kind::Ok);
    EXPECT_EQ(answer("drop").kind, Answer::Kind::Drop);
    EXPECT_EQ(answer("rows 5").rows, 5u);
    EXPECT_EQ(answer("trigger 3 trigger 2 rows 1").trigger_counts, (std::vector<std::uint64_t>{3, 2}));
    const ServerError e = answer("error 208 'Invalid object name ''x''.'").error;
    EXPECT_EQ(std::make_tuple(e.number, e.severity, e.state, e.message),
              std::make_tuple(208, std::uint8_t{16}, std::uint8_t{1}, std::string("Invalid object name 'x'.")));
    const ServerError w = answer("error 50000 10 3 'm'").error;
    EXPECT_EQ(std::make_tuple(w.severity, w.state), std::make_tuple(std::uint8_t{10}, std::uint8_t{3}));
    const Answer slow = answer("delay 250 rows 1");
    EXPECT_EQ(std::make_tuple(slow.kind, slow.delay),
              std::make_tuple(Answer::Kind::RowCount, std::chrono::milliseconds(250)));
    const Answer cut = answer("delay 10 cut 1 money 2");
    EXPECT_EQ(std::make_tuple(cut.kind, cut.drop_after_rows, cut.delay),
              std::make_tuple(Answer::Kind::Scalar, std::optional<std::size_t>(1), std::chrono::milliseconds(10)));
}

TEST(StandinScript, HoldPrefixHoldsAnyAnswerUntilTheRelease) {
    const Script s = ParseScript(
        "regex hold rows 1 | update T_kextotal set [\\s\\S]*\n"
        "exact hold delay 200 cut 0 money 2 | q\n"
        "exact delay 200 hold error 208 'x' | e\n");
    const Answer& update = s.AnswerFor("update T_kextotal set a='1'\r\n");
    EXPECT_EQ(std::make_tuple(update.kind, update.rows, update.held, update.delay),
              std::make_tuple(Answer::Kind::RowCount, std::uint64_t{1}, true, std::chrono::milliseconds(0)));
    const Answer& cut = s.AnswerFor("q");
    EXPECT_EQ(std::make_tuple(cut.kind, cut.held, cut.delay, cut.drop_after_rows),
              std::make_tuple(Answer::Kind::Scalar, true, std::chrono::milliseconds(200), std::optional<std::size_t>(0)));
    const Answer& error = s.AnswerFor("e");
    EXPECT_EQ(std::make_tuple(error.kind, error.held, error.delay),
              std::make_tuple(Answer::Kind::Error, true, std::chrono::milliseconds(200)));
    EXPECT_FALSE(s.AnswerFor("anything else").held);
    EXPECT_FALSE(ParseScript("default rows 1").fallback.held);
}

TEST(StandinScript, LoginDelayIsMillisecondsOrNever) {
    EXPECT_EQ(ParseScript("").login_delay, std::chrono::milliseconds(0));
    EXPECT_EQ(ParseScript("login-delay 1500\n").login_delay, std::chrono::milliseconds(1500));
    EXPECT_EQ(ParseScript("login-delay never\n").login_delay, Script::kNeverAnswer);
}

TEST(StandinScript, LoginLinesListTheAccounts) {
    const Script s = ParseScript("login park pass word;1\nlogin sa \n");
    EXPECT_EQ(s.accounts, (std::map<std::string, std::string>{{"park", "pass word;1"}, {"sa", ""}}));
}

TEST(StandinScript, MistakesNameTheirLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"select 1", "unknown directive"},
        {"exact int 7 select 1", "'|'"},
        {"exact int x | a", "not a number"},
        {"exact int 99999999999 | a", "not a number"},
        {"exact nvarchar 'open | a", "no closing quote"},
        {"exact decimal(5,2) 999.995 | a", "does not fit"},
        {"exact decimal(39,2) 1 | a", "precision"},
        {"exact float infinity | a", "finite numbers, nan, inf or -inf"},
        {"exact float NaN | a", "finite numbers, nan, inf or -inf"},
        {"exact date 1 | a", "unknown type"},
        {"regex int 1 | (a)\\1", "bad regex"},
        {"default rows 1 extra", "unexpected text"},
        {"exact cut 1 rows 1 | a", "only a value"},
        {"exact trigger 1 ok | a", "only a row count"},
        {"exact hold | a", "expected an answer"},
        {"login-delay soon", "not a number"},
    };
    for (const auto& [line, why] : cases) {
        const std::string error = ParseError("# first\n" + line + "\n");
        EXPECT_NE(error.find("line 2:"), std::string::npos) << line << " -> " << error;
        EXPECT_NE(error.find(why), std::string::npos) << line << " -> " << error;
    }
}

TEST(StandinValue, RoundsHalfAwayFromZeroAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(Value::Decimal(5, 2, "999.994").wire(), Value::Decimal(5, 2, "999.99").wire());
    EXPECT_THROW(Value::Decimal(5, 2, "999.995"), std::invalid_argument);
    EXPECT_EQ(Value::Decimal(5, 2, "-1.005").wire(), Value::Decimal(5, 2, "-1.01").wire());
    // Rounded to zero, a negative number loses its sign.
    EXPECT_EQ(Value::Decimal(5, 2, "-0.004").wire(), Value::Decimal(5, 2, "0").wire());
    EXPECT_NO_THROW(Value::Decimal(38, 0, std::string(38, '9')));
    EXPECT_THROW(Value::Decimal(38, 0, "1" + std::string(38, '0')), std::invalid_argument);

    EXPECT_NO_THROW(Value::Money("922337203685477.5807"));
    EXPECT_NO_THROW(Value::Money("-922337203685477.5808"));
    EXPECT_THROW(Value::Money("922337203685477.5808"), std::invalid_argument);
    EXPECT_THROW(Value::Money("-922337203685477.5809"), std::invalid_argument);
    EXPECT_NO_THROW(Value::SmallMoney("-214748.3648"));
    EXPECT_THROW(Value::SmallMoney("214748.3648"), std::invalid_argument);

    for (const char* bad : {"", ".", "-", "1e5", "1.2.3", " 1", "1,5"})
        EXPECT_THROW(Value::Money(bad), std::invalid_argument) << bad;
    EXPECT_NO_THROW(Value::Money(".5"));
    EXPECT_NO_THROW(Value::Money("+5."));
}

} // namespace
} // namespace parktotals::standin
