// What a run leaves to say how it went, through unixODBC + FreeTDS against
// stand-ins: the rows each update changed, and the reasons kept for what
// was not transferred.

#include <gtest/gtest.h>

#include "app/application.h"
#include "integration/gateway_support.h"
#include "support/network.h"
#include "support/temp_dir.h"
#include "totals/daily_totals.h"
#include "totals/figures.h"

namespace parktotals {
namespace {

using standin::Answer;
using standin::Rule;
using standin::Server;
using testing::Rules;

std::string Line(std::string_view statement) { return std::string(statement) + "\r\n"; }

// The nightly job on the real gateway: a local stand-in with the car park's
// day of figures, a central one answering each update as a test says.
class ReportedRunTest : public ::testing::Test {
protected:
    ReportedRunTest() {
        settings.park_config_path = dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=42\r\n");
        settings.memo_path = dir / "memo1.txt";
        settings.nights_path = dir / "transferred-nights.txt";
        settings.today = [] { return LocalDate{2026, 3, 1}; };
    }

    static standin::Script LocalScript() {
        std::vector<Rule> rules;
        for (int i = 0; i < kFigureCount; ++i)
            rules.push_back(Rule::Exact(Line(kFigures[i].query), Answer::Scalar(standin::Value::Int(10 + i))));
        return Rules(std::move(rules));
    }

    // Figure i's update answered by answers[i], by a server whose default
    // is NOCOUNT ON when `nocount` says so.
    void AnswerUpdates(const std::vector<Answer>& answers, bool nocount = false) {
        std::vector<Rule> rules;
        for (int i = 0; i < kFigureCount; ++i)
            rules.push_back(Rule::Regex("update T_kextotal set " + std::string(kFigures[i].column) + "=[\\s\\S]*",
                                        answers[static_cast<std::size_t>(i)]));
        standin::Script script = Rules(std::move(rules));
        script.nocount_by_default = nocount;
        central.SetScript(std::move(script));
    }

    std::string Expected(int figure) const {
        return BuildUpdateStatement(figure, std::to_string(10 + figure), "42", "20260228");
    }
    std::string AllFiveLines() const {
        std::string text;
        for (int i = 0; i < kFigureCount; ++i) text += Line(Expected(i));
        return text;
    }

    Outcome Run(const std::string& reginfo) {
        form.gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", reginfo));
        return RunDailyTotals(form.gateway, memo, settings, record);
    }
    Outcome Run() { return Run(testing::LocalConnectionString(local.port()) + "\r\n"); }

    testing::TempDir dir;
    JobSettings settings;
    Memo memo;
    JobRecord record;
    Server local{LocalScript()};
    Server central{Rules({})};
    testing::FormComponents form{testing::CentralString(central.port())};
};

// "No limit" would keep a night waiting on a silent server for ever: the
// login waits a bounded time, and the set-up says so for the report.
TEST_F(ReportedRunTest, AnUnboundedLoginTimeOutIsCappedAndSaid) {
    const LocalSetUp set_up = form.gateway.SetUpLocalConnection(
        dir.Write("RegInfo.INI", testing::LocalConnectionString(local.port()) + ";Connect Timeout=0\r\n"));
    EXPECT_EQ(set_up.status, LocalSetUp::Status::Open);
    ASSERT_EQ(set_up.adjustments.size(), 1u);
    EXPECT_NE(set_up.adjustments[0].find("\"Connect Timeout\""), std::string::npos) << set_up.adjustments[0];
}

// An update the server accepted goes into the memo and memo1.txt whatever
// it changed; only one that changed rows as the server counted them is
// transferred.
TEST_F(ReportedRunTest, UpdatesChangingNoneOneTwoOrUncountedRows) {
    AnswerUpdates({Answer::RowCount(1), Answer::RowCount(0), Answer::RowCount(2), Answer::Ok(), Answer::RowCount(1)});
    EXPECT_EQ(Run(), Outcome::Incomplete);
    EXPECT_EQ(memo.Lines(),
              (std::vector<std::string>{Expected(0), Expected(1), Expected(2), Expected(3), Expected(4)}));
    EXPECT_EQ(testing::ReadBytes(settings.memo_path), AllFiveLines());

    const auto& f = record.nights.at(0).figures;
    EXPECT_EQ(f[0].status, FigureStatus::Transferred);
    EXPECT_EQ(f[1].status, FigureStatus::MatchedNoRow);
    EXPECT_EQ(f[2].status, FigureStatus::Transferred);
    EXPECT_EQ(f[2].rows, ChangedRows(2));
    EXPECT_EQ(f[3].status, FigureStatus::Uncounted);
    EXPECT_EQ(f[3].rows, std::nullopt);
    EXPECT_EQ(record.TransferredCount(), 3);
}

// A head office server whose "user options" set NOCOUNT counts only for a
// session that asks: the program asks, so a missing row still shows.
TEST_F(ReportedRunTest, ServerWhoseDefaultIsNoCountStillCountsEachUpdate) {
    AnswerUpdates({Answer::RowCount(1), Answer::RowCount(0), Answer::RowCount(1), Answer::RowCount(1),
                   Answer::RowCount(1)},
                  true);
    EXPECT_EQ(Run(), Outcome::Incomplete);
    EXPECT_EQ(record.nights.at(0).figures[1].status, FigureStatus::MatchedNoRow);
    EXPECT_EQ(record.TransferredCount(), 4);
    EXPECT_EQ(testing::ReadBytes(settings.memo_path), AllFiveLines());
}

// Each failure keeps the server's own words, its SQLSTATE and its number.
TEST_F(ReportedRunTest, LocalErrorRefusalAndLostLinkKeepTheirReasons) {
    std::vector<Rule> rules;
    for (int i = 0; i < kFigureCount; ++i)
        rules.push_back(Rule::Exact(Line(kFigures[i].query),
                                    i == 1 ? Answer::Error(207, "Invalid column name 'Deposit'.")
                                           : Answer::Scalar(standin::Value::Int(10 + i))));
    local.SetScript(Rules(std::move(rules)));
    AnswerUpdates({Answer::RowCount(1), Answer::RowCount(1),
                   Answer::Error(515, "Cannot insert the value NULL into column 'weixin_money_lishi'."),
                   Answer::Drop(), Answer::RowCount(1)});
    EXPECT_EQ(Run(), Outcome::Incomplete);

    const auto& f = record.nights.at(0).figures;
    EXPECT_EQ(f[1].status, FigureStatus::NotSent);
    EXPECT_EQ(f[1].failure.message, "Invalid column name 'Deposit'");
    EXPECT_EQ(f[1].failure.sqlstate, "42S22");
    EXPECT_EQ(f[1].failure.native_code, 207);
    EXPECT_EQ(f[2].status, FigureStatus::Refused);
    EXPECT_EQ(f[2].value, "12");
    EXPECT_EQ(f[2].failure.message, "Cannot insert the value NULL into column 'weixin_money_lishi'");
    EXPECT_EQ(f[2].failure.sqlstate, "23000");
    EXPECT_EQ(f[2].failure.native_code, 515);
    EXPECT_EQ(f[3].status, FigureStatus::LinkLost);
    EXPECT_EQ(f[3].failure.message, "Unexpected EOF from the server");
    EXPECT_EQ(f[4].status, FigureStatus::Transferred) << "the next update reconnects";
    EXPECT_EQ(memo.Lines(), (std::vector<std::string>{Expected(0), Expected(4)}));
}

// How often the central server received each figure's update.
std::array<int, kFigureCount> UpdatesReceived(const Server& server) {
    std::array<int, kFigureCount> received{};
    for (const standin::Batch& batch : server.batches()) {
        for (int i = 0; i < kFigureCount; ++i)
            received[static_cast<std::size_t>(i)] +=
                batch.text.rfind("update T_kextotal set " + std::string(kFigures[i].column) + "=", 0) == 0;
    }
    return received;
}

// The link drops on one update and comes back before the retry; a refusal
// in the same run goes out once only.
TEST_F(ReportedRunTest, LinkLostOnOneUpdateIsMendedByARetry) {
    const Answer refusal = Answer::Error(207, "Invalid column name 'xinjin_money_lishi'.");
    AnswerUpdates({Answer::RowCount(1), Answer::Drop(), Answer::RowCount(1), refusal, Answer::RowCount(1)});
    settings.options.retries = 3;
    int waits = 0;
    settings.wait_before_retry = [&](const RetryRound&) {
        ++waits;
        AnswerUpdates({Answer::RowCount(1), Answer::RowCount(1), Answer::RowCount(1), refusal, Answer::RowCount(1)});
        return true;
    };
    EXPECT_EQ(Run(), Outcome::Incomplete);
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(UpdatesReceived(central), (std::array<int, kFigureCount>{1, 2, 1, 1, 1}));
    EXPECT_EQ(record.nights.at(0).figures[1].status, FigureStatus::Transferred);
    EXPECT_EQ(record.nights.at(0).figures[3].failure.native_code, 207);
    EXPECT_EQ(memo.Lines(), (std::vector<std::string>{Expected(0), Expected(2), Expected(4), Expected(1)}));
}

// Head office is down at the start of the night and up by the retry.
TEST_F(ReportedRunTest, CentralServerListeningOnlyAfterTheFirstTry) {
    std::optional<testing::ClosedPort> closed(std::in_place);
    const std::uint16_t port = closed->port();
    testing::FormComponents late_form(testing::CentralString(port));
    std::unique_ptr<Server> late;
    settings.options.retries = 1;
    settings.options.retry_wait = std::chrono::seconds(1);
    settings.wait_before_retry = [&](const RetryRound& round) {
        EXPECT_TRUE(round.central_unreached);
        closed.reset();
        late = std::make_unique<Server>(Rules({}), port);
        return true;
    };
    late_form.gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", testing::LocalConnectionString(local.port())));
    EXPECT_EQ(RunDailyTotals(late_form.gateway, memo, settings, record), Outcome::Incomplete)
        << "the stand-in's updates match no row";
    ASSERT_TRUE(late);
    EXPECT_EQ(UpdatesReceived(*late), (std::array<int, kFigureCount>{1, 1, 1, 1, 1}));
    ASSERT_EQ(record.rounds.size(), 1u);
    EXPECT_EQ(record.rounds[0].central_unreached->sqlstate.substr(0, 2), "08");
}

// A past day: figures 3 to 5 from that day's records into that day's row.
TEST_F(ReportedRunTest, PastDaysAreQueriedAndSentForTheirOwnDay) {
    std::vector<Rule> rules;
    for (int day = 26; day <= 27; ++day) {
        for (int i = 2; i < kFigureCount; ++i)
            rules.push_back(Rule::Exact(Line(FigureQuery(i, LocalDate{2026, 2, static_cast<unsigned>(day)})),
                                        Answer::Scalar(standin::Value::Int(day * 100 + i))));
    }
    local.SetScript(Rules(std::move(rules)));
    AnswerUpdates(std::vector<Answer>(kFigureCount, Answer::RowCount(1)));
    settings.options.dates = DayRange{{2026, 2, 26}, {2026, 2, 27}};
    EXPECT_EQ(Run(), Outcome::AllTransferred);
    std::vector<std::string> updates;
    for (const standin::Batch& batch : central.batches()) {
        if (batch.text.rfind("update", 0) == 0) updates.push_back(batch.text);
    }
    EXPECT_EQ(updates, (std::vector<std::string>{
                           Line(BuildUpdateStatement(2, "2602", "42", "20260226")),
                           Line(BuildUpdateStatement(3, "2603", "42", "20260226")),
                           Line(BuildUpdateStatement(4, "2604", "42", "20260226")),
                           Line(BuildUpdateStatement(2, "2702", "42", "20260227")),
                           Line(BuildUpdateStatement(3, "2703", "42", "20260227")),
                           Line(BuildUpdateStatement(4, "2704", "42", "20260227")),
                       }));
    EXPECT_EQ(local.batches().size(), 6u) << "figures 1 and 2 are not queried for a past day";
}

// Why the local connection's start-up set-up failed, in the driver's words.
TEST(LocalSetUpTest, SaysWhyThereIsNoLocalDatabase) {
    testing::TempDir dir;
    standin::Script refusing = Rules({});
    refusing.accounts = {{"sa", "another password"}};
    Server local(refusing);
    Server central(Rules({}));
    testing::FormComponents form(testing::CentralString(central.port()));
    const std::string reginfo = dir / "RegInfo.INI";
    const auto set_up = [&](const std::string* line) {
        if (line) dir.Write("RegInfo.INI", *line + "\r\nsecond line\r\n");
        return form.gateway.SetUpLocalConnection(reginfo);
    };

    LocalSetUp result = set_up(nullptr);
    EXPECT_EQ(result.status, LocalSetUp::Status::FileMissing);
    EXPECT_EQ(result.failure.message, "Cannot open file \"" + reginfo + "\"");

    const std::string empty;
    result = set_up(&empty);
    EXPECT_EQ(result.status, LocalSetUp::Status::FirstLineEmpty);

    const std::string jet = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=park.mdb;Password=Pw-9";
    result = set_up(&jet);
    EXPECT_EQ(result.status, LocalSetUp::Status::NotUnderstood);
    EXPECT_EQ(result.failure.message, "The connection string names a provider this program cannot use (it takes "
                                      "SQLOLEDB, SQLNCLI, MSOLEDBSQL or MSDASQL)");
    EXPECT_EQ(result.target.server, "park.mdb");

    const std::string refused = testing::LocalConnectionString(local.port());
    result = set_up(&refused);
    EXPECT_EQ(result.status, LocalSetUp::Status::LoginRefused);
    EXPECT_EQ(result.failure.message, "Login failed for user 'sa'");
    EXPECT_EQ(result.failure.native_code, 18456);
    EXPECT_EQ(result.target.server, testing::StandinHost(local.port()));
    EXPECT_EQ(result.target.database, "park");

    const testing::ClosedPort closed;
    const std::string unreachable = testing::LocalConnectionString(closed.port());
    result = set_up(&unreachable);
    EXPECT_EQ(result.status, LocalSetUp::Status::Unreachable);
    EXPECT_FALSE(result.failure.message.empty()) << "the driver's own words go to the report";
    EXPECT_EQ(result.failure.sqlstate, "08S01");

    local.SetScript(Rules({}));
    result = set_up(&refused);
    EXPECT_EQ(result.status, LocalSetUp::Status::Open);
    EXPECT_TRUE(form.Conn.IsOpen());
}

// A shell that records what the form and the application ask of it.
class RecordingShell : public Shell {
public:
    void CloseForm() override { ++closed; }
    void ShowErrorBox(const std::string& caption, const std::string& text) override {
        boxes.push_back(caption + "|" + text);
    }
    std::optional<std::string> WriteEvent(const RunEvent&) noexcept override { return event_problem; }
    int closed = 0;
    std::vector<std::string> boxes;
    std::optional<std::string> event_problem;
};

// The form and the application over the form's own database components,
// as the program runs them.
class RunControlTest : public ReportedRunTest {
protected:
    RunControlTest() {
        form_settings.job = settings;
        form_settings.central_connection_string = testing::CentralString(central.port());
        form_settings.reginfo_path = dir.Write("RegInfo.INI", testing::LocalConnectionString(local.port()) + "\r\n");
        form_settings.report_path = dir / "parktotals.log";
        AnswerUpdates(std::vector<Answer>(kFigureCount, Answer::RowCount(1)));
    }
    FormSettings form_settings;
    RecordingShell shell;
};

TEST_F(RunControlTest, TickRunsTheJobOnceThenClosesTheWindow) {
    Application app(shell, "Parktotals");
    Tformmaindalventis form(shell, form_settings);
    EXPECT_TRUE(form.Timer1.enabled);
    form.FormCreate();

    app.DeliverTimerTick(form);
    EXPECT_FALSE(form.Timer1.enabled);
    EXPECT_EQ(shell.closed, 1);
    EXPECT_TRUE(shell.boxes.empty());
    EXPECT_EQ(form.Memo1.Lines().size(), 5u);
    EXPECT_EQ(app.ExitCode(form), 0);

    const std::size_t batches = central.batches().size();
    app.DeliverTimerTick(form); // a late tick finds the timer disabled
    EXPECT_EQ(central.batches().size(), batches);
    EXPECT_EQ(shell.closed, 1);
}

TEST_F(RunControlTest, ErrorFromTheJobShowsBoxAndKeepsWindowOpen) {
    const testing::ClosedPort closed;
    form_settings.central_connection_string = testing::CentralString(closed.port());
    Application app(shell, "Myjob");
    Tformmaindalventis form(shell, form_settings);
    form.FormCreate();
    app.DeliverTimerTick(form);
    ASSERT_EQ(shell.boxes.size(), 1u);
    EXPECT_EQ(shell.boxes[0].rfind("Myjob|Unable to connect", 0), 0u) << shell.boxes[0];
    EXPECT_EQ(shell.closed, 0);
    EXPECT_FALSE(form.Timer1.enabled);
    EXPECT_EQ(app.ExitCode(form), 1);
    app.DeliverTimerTick(form);
    EXPECT_EQ(shell.boxes.size(), 1u);
}

TEST_F(RunControlTest, PartialRunAndEarlyCloseAreReportedAsIncomplete) {
    Application app(shell, "Parktotals");
    {
        Tformmaindalventis form(shell, form_settings);
        EXPECT_EQ(app.ExitCode(form), 2) << "closed before the first tick";
    }
    std::vector<Answer> answers(kFigureCount, Answer::RowCount(1));
    answers[4] = Answer::Error(245, "Conversion failed");
    AnswerUpdates(answers);
    Tformmaindalventis form(shell, form_settings);
    form.FormCreate();
    app.DeliverTimerTick(form);
    EXPECT_EQ(shell.closed, 1);
    EXPECT_EQ(app.ExitCode(form), 2);
}

TEST_F(RunControlTest, EventThatCannotBeWrittenOnlyAddsItsReasonToTheReport) {
    shell.event_problem = "The event log is full";
    Application app(shell, "Parktotals");
    Tformmaindalventis form(shell, form_settings);
    form.FormCreate();
    app.DeliverTimerTick(form);
    EXPECT_TRUE(shell.boxes.empty());
    EXPECT_EQ(app.ExitCode(form), 0);
    const std::string report = testing::ReadBytes(form_settings.report_path);
    // The block as ever, with the reason in one line at its end.
    EXPECT_NE(report.find("\nEnd: exit code 0, "), std::string::npos) << report;
    EXPECT_TRUE(report.ends_with(": The event log is full\n\n")) << report;
}

} // namespace
} // namespace parktotals
