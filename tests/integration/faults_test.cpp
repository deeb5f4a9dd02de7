// Faults and unusual answers through the real client stack (unixODBC +
// FreeTDS) against stand-ins: each must cost only what it touches, and no
// figure may be sent with a value the server did not fully give.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "integration/gateway_support.h"
#include "support/daily_totals_shortcuts.h"
#include "support/temp_dir.h"
#include "totals/figures.h"
#include "totals/memo.h"

namespace parktotals {
namespace {

using namespace std::chrono_literals;
using standin::Answer;
using standin::Column;
using standin::ResultSet;
using standin::Rule;
using standin::Script;
using standin::Server;
using standin::SqlType;
using standin::Value;
using testing::kLocalFigureValues;
using testing::Line;
using testing::Rules;
using testing::Texts;

// A gateway over a local stand-in answering one query, "q", in the given
// way, and "next" with 1.
class LocalAnswerTest : public ::testing::Test {
protected:
    void Serve(const Answer& answer) {
        local.SetScript(Rules({Rule::Exact("q\r\n", answer), Rule::Exact("next\r\n", Answer::Scalar(Value::Int(1)))}));
    }
    // The text QueryLocalScalar gives, or "<failed>" with `value` untouched.
    std::string Ask(const std::string& query = "q") {
        std::string value = "as it was";
        if (!form.gateway.QueryLocalScalar(query, value)) return value == "as it was" ? "<failed>" : "<changed>";
        return value;
    }
    // The connection still works, on the same login.
    void ExpectStillUsable() {
        EXPECT_EQ(Ask("next"), "1");
        EXPECT_EQ(local.logins().size(), 1u);
    }

    Server local{Rules({Rule::Exact("next\r\n", Answer::Scalar(Value::Int(1)))})};
    Server central{Rules({})};
    testing::FormComponents form{testing::CentralString(central.port())};

    void SetUp() override { form.Conn.SetConnectionString(testing::LocalConnectionString(local.port())); }
};

TEST_F(LocalAnswerTest, SeveralColumnsOrRowsGiveTheFirstColumnOfTheFirstRow) {
    const ResultSet set{{Column{"total", Value::Null(SqlType::Money)}, Column{"n", Value::Null(SqlType::Int)}},
                        {{Value::Money("12.5"), Value::Int(7)}, {Value::Money("99"), Value::Int(8)}}};
    Serve(Answer::Results({set}));
    EXPECT_EQ(Ask(), "12.5");
    ExpectStillUsable();
}

// Whatever sets follow the first must be read off the link, or the next
// query would get them; and reading them costs no cancel.
TEST_F(LocalAnswerTest, SeveralResultSetsGiveTheFirstSetsValueAndLeaveNothingBehind) {
    Serve(Answer::Results({ResultSet{{Column{"", Value::Null(SqlType::Int)}}, {{Value::Int(3)}}},
                           ResultSet{{Column{"", Value::Null(SqlType::NVarChar)}}, {{Value::NVarChar("later")}}},
                           ResultSet{{Column{"", Value::Null(SqlType::Money)}}, {}}}));
    EXPECT_EQ(Ask(), "3");
    ExpectStillUsable();
    EXPECT_EQ(local.attentions(), 0);
}

TEST_F(LocalAnswerTest, ZeroRowsFailAndLeaveTheValueAsItWas) {
    Serve(Answer::Results({ResultSet{{Column{"", Value::Null(SqlType::Money)}}, {}}}));
    EXPECT_EQ(Ask(), "<failed>");
    ExpectStillUsable();
}

// Beyond money's 19 digits the text keeps 19 significant ones in
// scientific notation rather than a string of 38 digits.
TEST_F(LocalAnswerTest, DecimalsBeyondTheMoneyRangeComeOutInScientificNotation) {
    Serve(Answer::Scalar(Value::Decimal(38, 0, "12345678901234567890123456789012345678")));
    EXPECT_EQ(Ask(), "1.234567890123456789E37");
    Serve(Answer::Scalar(Value::Decimal(38, 0, "-99999999999999999999999999999999999999")));
    EXPECT_EQ(Ask(), "-1E38");
    Serve(Answer::Scalar(Value::Decimal(38, 4, "9999999999999999999999999999999999.9999")));
    EXPECT_EQ(Ask(), "1E34");
    ExpectStillUsable();
}

// The row is whole, but the server then said the statement failed: the
// value cannot be trusted.
TEST_F(LocalAnswerTest, ServerErrorAfterAPartialResultFailsTheQueryAndKeepsTheConnection) {
    Serve(Answer::Scalar(Value::Money("88")).ThenError(8134, "Divide by zero error encountered."));
    EXPECT_EQ(Ask(), "<failed>");
    ExpectStillUsable();

    const ResultSet two_rows{{Column{"", Value::Null(SqlType::Int)}}, {{Value::Int(1)}, {Value::Int(2)}}};
    Serve(Answer::Results({two_rows}).ThenError(245, "Conversion failed when converting the varchar value."));
    EXPECT_EQ(Ask(), "<failed>");
    ExpectStillUsable();
}

TEST_F(LocalAnswerTest, ConnectionLostInTheMiddleOfAResultFailsTheQueryAndTheNextReconnects) {
    const ResultSet two_rows{{Column{"", Value::Null(SqlType::Int)}}, {{Value::Int(1)}, {Value::Int(2)}}};
    // After the columns, after a whole row (the value is in, its end is not),
    // and after all rows but before the final DONE.
    ASSERT_EQ(Ask("next"), "1");
    for (const std::size_t rows : {0, 1, 2}) {
        SCOPED_TRACE("cut after " + std::to_string(rows) + " rows");
        Serve(Answer::Results({two_rows}).DropAfterRows(rows));
        const std::size_t logins = local.logins().size();
        EXPECT_EQ(Ask(), "<failed>");
        EXPECT_EQ(Ask("next"), "1");
        EXPECT_EQ(local.logins().size(), logins + 1);
    }
}

TEST_F(LocalAnswerTest, ServerSlowerThanUsualButWithinItsTimeOutsStillAnswers) {
    Script slow = Rules({Rule::Exact("q\r\n", Answer::Scalar(Value::Money("1234.5")).After(1000ms))});
    slow.login_delay = 1000ms;
    local.SetScript(slow);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Ask(), "1234.5");
    EXPECT_GE(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_EQ(local.attentions(), 0) << "nothing was cancelled";
}

// The nightly job with one figure's answer cut short by a lost connection.
class FaultyRunTest : public ::testing::Test {
protected:
    FaultyRunTest() {
        settings.park_config_path = dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=42\r\n");
        settings.memo_path = dir / "memo1.txt";
        settings.nights_path = dir / "transferred-nights.txt";
        settings.today = [] { return LocalDate{2026, 3, 1}; };
    }

    // The day of figures, with the answer of figure `cut` cut short.
    static Script LocalScript(int cut, std::size_t rows) {
        Script script = testing::LocalFiguresScript();
        const std::string query = Line(kFigures[cut].query);
        script.rules.insert(script.rules.begin(), Rule::Exact(query, script.AnswerFor(query).DropAfterRows(rows)));
        return script;
    }

    static std::string Expected(int figure) {
        return BuildUpdateStatement(figure, kLocalFigureValues[figure], "42", "20260228");
    }

    Outcome Run(const Server& local) {
        form.gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", testing::LocalConnectionString(local.port())));
        return RunDailyTotals(form.gateway, memo, settings);
    }

    testing::TempDir dir;
    JobSettings settings;
    Memo memo;
    Server central{testing::CentralScript()};
    testing::FormComponents form{testing::CentralString(central.port())};
};

TEST_F(FaultyRunTest, LocalConnectionLostInTheMiddleOfAResultCostsOnlyThatFigure) {
    for (const std::size_t rows : {0, 1}) {
        SCOPED_TRACE("cut after " + std::to_string(rows) + " rows");
        Server local(LocalScript(1, rows));
        const std::size_t sent_before = central.batches().size();
        EXPECT_EQ(Run(local), Outcome::Incomplete);

        const std::vector<std::string> accepted = {Expected(0), Expected(2), Expected(3), Expected(4)};
        EXPECT_EQ(memo.Lines(), accepted);
        const auto all_sent = Texts(central.batches());
        const std::vector<std::string> sent(all_sent.begin() + static_cast<long>(sent_before), all_sent.end());
        EXPECT_EQ(sent, (std::vector<std::string>{testing::kSetNoCountOff, Line(accepted[0]), Line(accepted[1]),
                                                  Line(accepted[2]), Line(accepted[3])}));
        std::string file;
        for (const std::string& s : accepted) file += Line(s);
        EXPECT_EQ(testing::ReadBytes(settings.memo_path), file);

        // Figures 3 to 5 went over a second local connection.
        const auto logins = local.logins();
        const auto batches = local.batches();
        ASSERT_EQ(logins.size(), 2u);
        ASSERT_EQ(batches.size(), 5u);
        EXPECT_EQ(batches[1].connection, logins[0].connection);
        EXPECT_EQ(batches[2].connection, logins[1].connection);
        EXPECT_EQ(batches[4].connection, logins[1].connection);
        form.Conn.Close();
    }
}

} // namespace
} // namespace parktotals
