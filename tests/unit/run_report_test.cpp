// What a run keeps to say how it went: each figure's outcome with its
// reason, and where the car park number came from.

#include "support/fake_gateway.h"
#include "support/temp_dir.h"
#include "text/utf16.h"
#include "totals/daily_totals.h"
#include "totals/figures.h"
#include "totals/nights_record.h"
#include "totals/run_event.h"
#include "totals/run_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace parktotals {
namespace {

using testing::FakeGateway;

class JobRecordTest : public ::testing::Test {
protected:
    JobRecordTest() {
        settings.park_config_path = dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=42\r\n");
        settings.memo_path = dir / "memo1.txt";
        settings.nights_path = dir / "transferred-nights.txt";
        settings.today = [] { return LocalDate{2026, 3, 1}; };
    }
    std::string Statement(int figure) const { return BuildUpdateStatement(figure, "10", "42", "20260228"); }

    testing::TempDir dir;
    JobSettings settings;
    FakeGateway gateway;
    Memo memo;
    JobRecord record;
};

TEST_F(JobRecordTest, EachFigureKeepsItsOutcomeAndReason) {
    gateway.rows[0] = std::nullopt;
    gateway.local[1] = {false, "", "Invalid column name 'Deposit'", "42S22"};
    gateway.reject[2] = "Arithmetic overflow error converting numeric to data type money";
    gateway.rows[3] = 0;
    gateway.rows[4] = 2;
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::Incomplete);

    EXPECT_TRUE(record.figures_started);
    EXPECT_EQ(record.date_key, "20260228");
    EXPECT_EQ(record.park.number, "42");
    const auto& f = record.nights.at(0).figures;
    EXPECT_EQ(f[0].status, FigureStatus::Uncounted);
    EXPECT_EQ(f[0].value, "10");
    EXPECT_EQ(f[0].rows, std::nullopt);
    EXPECT_EQ(f[1].status, FigureStatus::NotSent);
    EXPECT_EQ(f[1].value, "") << "nothing was sent";
    EXPECT_EQ(f[1].failure.message, "Invalid column name 'Deposit'");
    EXPECT_EQ(f[1].failure.sqlstate, "42S22");
    EXPECT_EQ(f[2].status, FigureStatus::Refused);
    EXPECT_EQ(f[2].value, "10");
    EXPECT_EQ(f[2].failure.message, "Arithmetic overflow error converting numeric to data type money");
    EXPECT_EQ(f[2].failure.native_code, 50000);
    EXPECT_EQ(f[3].status, FigureStatus::MatchedNoRow);
    EXPECT_EQ(f[3].rows, ChangedRows(0));
    EXPECT_EQ(f[4].status, FigureStatus::Transferred);
    EXPECT_EQ(f[4].rows, ChangedRows(2));
    EXPECT_EQ(record.TransferredCount(), 1);

    // The uncounted update and the one that matched no row were accepted,
    // so they are logged.
    const std::vector<std::string> logged = {Statement(0), Statement(3), Statement(4)};
    EXPECT_EQ(memo.Lines(), logged);
    EXPECT_EQ(testing::ReadBytes(settings.memo_path), logged[0] + "\r\n" + logged[1] + "\r\n" + logged[2] + "\r\n");
}

TEST_F(JobRecordTest, AllFiveMatchingNoRowIsNotASuccess) {
    for (int i = 0; i < kFigureCount; ++i) gateway.rows[i] = 0;
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::Incomplete);
    EXPECT_EQ(record.TransferredCount(), 0);
    EXPECT_EQ(memo.Lines().size(), 5u);
}

// The server may still apply an update it did not answer in time.
TEST_F(JobRecordTest, UpdateThatTimedOutMayHaveArrivedAndWasNotRefused) {
    gateway.time_out.insert(1);
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::Incomplete);
    EXPECT_EQ(record.nights.at(0).figures[1].status, FigureStatus::TimedOut);
    EXPECT_NE(FigureProblem(record.nights.at(0).figures[1]).find("may not have arrived"), std::string::npos);
    EXPECT_EQ(memo.Lines().size(), 4u);
}

TEST_F(JobRecordTest, AbortedRunTellsHowFarItGot) {
    gateway.open_error = "Unable to connect";
    EXPECT_THROW(RunDailyTotals(gateway, memo, settings, record), UserError);
    EXPECT_FALSE(record.figures_started);
    for (const FigureRecord& figure : record.nights.at(0).figures) EXPECT_EQ(figure.status, FigureStatus::NotTried);

    gateway.open_error.reset();
    std::filesystem::create_directory(settings.memo_path);
    EXPECT_THROW(RunDailyTotals(gateway, memo, settings, record), UserError);
    EXPECT_EQ(record.TransferredCount(), 5) << "the figures went before memo1.txt failed";
}

TEST_F(JobRecordTest, CentralConnectionFoundClosedTriesNoFigure) {
    gateway.opens = false;
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::Incomplete);
    EXPECT_FALSE(record.figures_started);
    EXPECT_TRUE(gateway.executed.empty());
}

RunRecord RunOf(const JobRecord& job) {
    RunRecord run;
    run.job = job;
    return run;
}

// Retries, past days and catch-up, on a fake clock: the waits are only
// recorded.
class RetryTest : public JobRecordTest {
protected:
    RetryTest() {
        settings.wait_before_retry = [this](const RetryRound& round) {
            waits.push_back(round);
            return keep_waiting;
        };
    }
    // How often each figure's update went out.
    std::array<int, kFigureCount> Sent() const {
        std::array<int, kFigureCount> sent{};
        for (const std::string& statement : gateway.executed) {
            for (int i = 0; i < kFigureCount; ++i) sent[static_cast<std::size_t>(i)] += statement == Statement(i);
        }
        return sent;
    }
    // Fails each figure's first update with its error.
    void FailFirstTry(std::map<int, DatabaseError> errors) {
        gateway.before_exec = [this, errors](int figure) mutable {
            const auto it = errors.find(figure);
            if (it == errors.end()) return;
            const DatabaseError error = it->second;
            errors.erase(it);
            throw error;
        };
    }

    std::vector<RetryRound> waits;
    bool keep_waiting = true;
};

TEST_F(RetryTest, WhatPassesIsTriedAgainAndNothingAcceptedTwice) {
    settings.options.retries = 2;
    FailFirstTry({{1, {"Communication link failure", "08S01", 20017, true}},
                  {3, {"Transaction was deadlocked and has been chosen as the deadlock victim", "40001", 1205, false}}});
    gateway.reject[2] = "Invalid column name 'weixin_money_lishi'";
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::Incomplete);

    ASSERT_EQ(waits.size(), 1u) << "one round mends both; the refusal is never tried again";
    EXPECT_EQ(waits[0].number, 1);
    EXPECT_EQ(waits[0].retries, 2);
    EXPECT_EQ(waits[0].wait, kDefaultRetryWait);
    ASSERT_EQ(waits[0].pending.size(), 2u);
    EXPECT_EQ(waits[0].pending[0].figure, 1);
    EXPECT_EQ(waits[0].pending[0].last_try.status, FigureStatus::LinkLost);
    EXPECT_EQ(waits[0].pending[1].figure, 3);
    EXPECT_EQ(waits[0].pending[1].date_key, "20260228");
    EXPECT_EQ(Sent(), (std::array<int, kFigureCount>{1, 2, 1, 2, 1}));
    const auto& f = record.nights.at(0).figures;
    EXPECT_EQ(f[1].status, FigureStatus::Transferred);
    EXPECT_EQ(f[1].tries, 2);
    EXPECT_EQ(f[2].status, FigureStatus::Refused);
    EXPECT_EQ(f[2].tries, 1);
    // In the order the server accepted them.
    EXPECT_EQ(memo.Lines(), (std::vector<std::string>{Statement(0), Statement(4), Statement(1), Statement(3)}));
    const std::vector<std::string> lines = RunReportLines(RunOf(record));
    EXPECT_EQ(lines[6], "Figure 2 (month_money_yushou): sent 10, 1 row changed (on try 2)");
    EXPECT_EQ(lines[10], "Retry 1 of 2 in 300 s: Figure 2 (month_money_yushou) of 20260228: lost with the central "
                         "connection, may not have arrived: Communication link failure (SQLSTATE 08S01, error 20017)");

    // Without --retries nothing is tried again.
    settings.options.retries = 0;
    gateway = FakeGateway();
    waits.clear();
    FailFirstTry({{1, {"Communication link failure", "08S01", 20017, true}}});
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::Incomplete);
    EXPECT_TRUE(waits.empty());
    EXPECT_EQ(Sent(), (std::array<int, kFigureCount>{1, 1, 1, 1, 1}));
}

TEST_F(RetryTest, CentralDatabaseNotReachedIsTriedAgainWholeThenIsTheError) {
    const DatabaseError unreachable("Unable to connect: Adaptive Server is unavailable", "08001", 20009, false);
    settings.options.retries = 2;
    gateway.open_errors = {unreachable, unreachable};
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::AllTransferred);
    ASSERT_EQ(waits.size(), 2u);
    EXPECT_EQ(waits[1].central_unreached->native_code, 20009);
    EXPECT_EQ(Sent(), (std::array<int, kFigureCount>{1, 1, 1, 1, 1}));

    // After the last try it is the run's error.
    gateway = FakeGateway();
    gateway.open_errors = {unreachable, unreachable, unreachable};
    waits.clear();
    EXPECT_THROW(RunDailyTotals(gateway, memo, settings, record), DatabaseError);
    EXPECT_EQ(waits.size(), 2u);
    EXPECT_EQ(record.rounds.size(), 2u) << "the report still tells of each try";

    // A refused login is not tried again.
    gateway = FakeGateway();
    gateway.open_errors = {DatabaseError("Login failed for user 'sa'", "28000", 18456, false)};
    waits.clear();
    EXPECT_THROW(RunDailyTotals(gateway, memo, settings, record), DatabaseError);
    EXPECT_TRUE(waits.empty());
}

TEST_F(RetryTest, ClosingTheWindowDuringAWaitEndsTheRunThere) {
    settings.options.retries = 3;
    keep_waiting = false;
    FailFirstTry({{1, {"Timeout expired", "HYT00", 0, false}}});
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::Incomplete);
    EXPECT_EQ(waits.size(), 1u);
    EXPECT_TRUE(record.rounds.at(0).interrupted);
    EXPECT_EQ(record.nights.at(0).figures[1].status, FigureStatus::TimedOut);
    EXPECT_EQ(MemoText(memo.Lines()), testing::ReadBytes(settings.memo_path)) << "what was accepted is kept";
}

// A run that starts before midnight and tries figure 3 again after it: the
// tries after midnight add up the run's night, under its key.
TEST_F(RetryTest, TriesAfterMidnightAddUpTheRunsNight) {
    LocalDate now{2026, 12, 31};
    settings.today = [&now] { return now; };
    settings.options.retries = 1;
    gateway.before_exec = [&now](int figure) {
        if (figure != 2 || now.year == 2027) return;
        now = {2027, 1, 1};
        throw DatabaseError("Communication link failure", "08S01", 20017, true);
    };
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::AllTransferred);
    const LocalDate night{2026, 12, 30};
    ASSERT_EQ(gateway.queried.size(), 6u);
    EXPECT_EQ(gateway.queried[2], FigureQuery(2)) << "before midnight: the nightly text as it always was";
    EXPECT_EQ(gateway.queried[3], FigureQuery(3, night));
    EXPECT_EQ(gateway.queried[5], FigureQuery(2, night)) << "the retry";
    EXPECT_EQ(gateway.queried[0], FigureQuery(0)) << "figures 1 and 2 count what is there now";
    for (const std::string& s : gateway.executed) EXPECT_NE(s.find("='20261230'"), std::string::npos) << s;
}

// --retries N is N waits in the whole run, whatever failed; a stop asked
// for ends the run between figures and before a wait, and it still ends
// as every run does.
TEST_F(RetryTest, OneBudgetOfWaitsAndAStopBetweenFigures) {
    settings.options.retries = 2;
    gateway.open_errors = {DatabaseError("Unable to connect", "08001", 20009, false)};
    gateway.time_out = {2};
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::Incomplete);
    ASSERT_EQ(waits.size(), 2u) << "the central login's wait and one for figure 3";
    EXPECT_TRUE(waits[0].central_unreached);
    EXPECT_EQ(waits[1].number, 2);
    EXPECT_EQ(record.nights[0].figures[2].tries, 2);

    StopFlag stop;
    settings.stop = &stop;
    gateway = FakeGateway();
    waits.clear();
    gateway.before_exec = [&stop](int figure) {
        if (figure == 1) stop.Request(StopCause::Signal, 15);
    };
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::Incomplete);
    EXPECT_EQ(gateway.executed.size(), 2u) << "the statement under way finishes, no other starts";
    EXPECT_EQ(record.nights[0].figures[2].status, FigureStatus::NotTried);
    ASSERT_TRUE(record.stopped);
    EXPECT_EQ(record.stopped->signal, 15);
    EXPECT_EQ(MemoText(memo.Lines()), testing::ReadBytes(settings.memo_path));
    const std::vector<std::string> lines = RunReportLines(RunOf(record));
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& line) { return line.rfind("Stopped before its end: SIGTERM", 0) == 0; }),
              lines.end());

    // Asked for during a wait: the wait ends, nothing more is tried.
    StopFlag later;
    settings.stop = &later;
    gateway = FakeGateway();
    gateway.time_out = {2};
    settings.wait_before_retry = [&later](const RetryRound&) {
        later.Request(StopCause::SessionEnding);
        return false;
    };
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::Incomplete);
    EXPECT_EQ(gateway.executed.size(), 5u);
    EXPECT_TRUE(record.rounds.at(0).interrupted);
    EXPECT_EQ(record.stopped->cause, StopCause::SessionEnding);
}

// The longest run: every login and every statement runs into its time-out
// on every pass. A fake clock adds up what each call would cost; the run
// must stay within the bound the service's limit is set from.
TEST_F(RetryTest, WorstCaseRunStaysWithinItsBound) {
    using std::chrono::seconds;
    const seconds login{120}, statement{30};
    seconds spent{0};
    settings.options = {3, seconds{300}, std::nullopt, 7};
    dir.Write("transferred-nights.txt", "first 20260101\n");
    settings.wait_before_retry = [&](const RetryRound& round) {
        spent += round.wait;
        return true;
    };
    struct Case {
        const char* what;
        bool central_login, local_login, local_query, central_statement;
    } cases[] = {
        {"the central login", true, false, false, false},
        {"the local login", false, true, false, false},
        {"the local queries", false, false, true, false},
        {"the central statements", false, false, false, true},
    };
    const int figures = 5 + 3 * 7, passes = 4;
    const seconds bound = passes * (login + login + figures * 2 * statement) + 3 * seconds{300};
    for (const Case& c : cases) {
        spent = seconds{0};
        struct TimingOut : FakeGateway {
            seconds* spent;
            Case c;
            seconds login, statement;
            void OpenCentral() override {
                if (c.central_login) {
                    *spent += login;
                    throw DatabaseError("Login timeout expired", "HYT00", 0, false);
                }
                FakeGateway::OpenCentral();
            }
            QueryResult QueryLocalScalar(const std::string& query, std::string& value) override {
                FakeGateway::QueryLocalScalar(query, value);
                if (c.local_login) {
                    *spent += login;
                    return QueryResult(FailureReason{"Login timeout expired", "HYT00", 0, true, true});
                }
                if (!c.local_query) return {};
                *spent += statement;
                return QueryResult(FailureReason{"Query timeout expired", "HYT00", 0, true});
            }
            ChangedRows ExecCentral(const std::string& update) override {
                FakeGateway::ExecCentral(update);
                if (!c.central_statement) return 1;
                *spent += statement;
                throw DatabaseError("Query timeout expired", "HYT00", 0, false);
            }
        } slow;
        slow.spent = &spent;
        slow.c = c;
        slow.login = login;
        slow.statement = statement;
        try {
            RunDailyTotals(slow, memo, settings, record);
        } catch (const DatabaseError&) {
            EXPECT_TRUE(c.central_login) << c.what;
        }
        EXPECT_LE(spent, bound) << c.what;
        EXPECT_EQ(record.rounds.size(), 3u) << c.what;
        if (c.local_login) {
            EXPECT_EQ(spent, 4 * login + 3 * seconds{300}) << "one login a pass";
        }
    }
}

TEST_F(RetryTest, PastDaysSendFiguresThreeToFiveForTheirOwnDay) {
    settings.options.dates = DayRange{{2026, 2, 26}, {2026, 2, 28}}; // yesterday included
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::AllTransferred);
    ASSERT_EQ(record.nights.size(), 3u);
    EXPECT_EQ(record.nights[0].kind, NightKind::Yesterday);
    EXPECT_EQ(record.nights[1].date_key, "20260226");
    EXPECT_EQ(record.nights[2].kind, NightKind::Resent);
    EXPECT_EQ(record.AskedCount(), 11);
    EXPECT_EQ(record.nights[1].figures[0].status, FigureStatus::NotAsked);
    ASSERT_EQ(gateway.queried.size(), 11u);
    EXPECT_EQ(gateway.queried[5], FigureQuery(2, LocalDate{2026, 2, 26}));
    EXPECT_NE(gateway.queried[5].find("DAY(opdate)=20260226"), std::string::npos);
    EXPECT_EQ(gateway.executed[5], BuildUpdateStatement(2, "10", "42", "20260226"));
    EXPECT_EQ(gateway.executed[10], BuildUpdateStatement(4, "10", "42", "20260227"));

    // Without yesterday, figures 1 and 2 are not sent at all.
    settings.options.dates = DayRange{{2026, 2, 26}, {2026, 2, 26}};
    gateway = FakeGateway();
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::AllTransferred);
    EXPECT_EQ(gateway.executed.size(), 3u);
    EXPECT_EQ(RunReportLines(RunOf(record))[2],
              "Date key: 20260226 (a past day asked for with --date: figures 3 to 5)");
}

// Two runs, days apart: the second catches up the nights in between, but
// never one before the first night the record holds.
TEST_F(RetryTest, CatchUpSendsOnlyTheNightsThisInstallationMissed) {
    // A --date run alone does not start the record's history.
    settings.options.dates = DayRange{{2026, 2, 20}, {2026, 2, 20}};
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::AllTransferred);
    settings.options.dates.reset();
    gateway.reject[3] = "Arithmetic overflow"; // the night of 2026-02-28 is not all there
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::Incomplete);
    settings.today = [] { return LocalDate{2026, 3, 2}; };
    gateway = FakeGateway();
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::AllTransferred);
    const std::string nights = testing::ReadBytes(settings.nights_path);
    EXPECT_EQ(nights.substr(nights.find("\nfirst ") + 1), "first 20260301\n20260220\n20260301\n");

    settings.today = [] { return LocalDate{2026, 3, 6}; };
    settings.options.catch_up = 7;
    gateway = FakeGateway();
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::AllTransferred);
    std::vector<std::string> keys;
    for (const NightRecord& night : record.nights) keys.push_back(night.date_key);
    EXPECT_EQ(keys, (std::vector<std::string>{"20260305", "20260302", "20260303", "20260304"}))
        << "not 2026-02-28, which lies before the first night recorded";
    EXPECT_EQ(record.catch_up.missed, (std::vector<std::string>{"20260302", "20260303", "20260304"}));
    EXPECT_EQ(record.nights[1].kind, NightKind::CaughtUp);
    EXPECT_EQ(gateway.executed.size(), 5u + 9u);

    // Caught up now: the next run finds nothing missed.
    gateway = FakeGateway();
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::AllTransferred);
    EXPECT_EQ(record.nights.size(), 1u);

    // A line it cannot read is named and left out; the rest still counts,
    // and the run records its own night.
    dir.Write("transferred-nights.txt", "\xEF\xBB\xBF# saved by Notepad\r\nfirst 20260301\r\n2026-03-02\r\n20260305\r\n");
    settings.today = [] { return LocalDate{2026, 3, 7}; };
    gateway = FakeGateway();
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::AllTransferred);
    EXPECT_EQ(record.catch_up.missed, (std::vector<std::string>{"20260302", "20260303", "20260304"}));
    ASSERT_EQ(record.nights_record_skipped.size(), 1u);
    EXPECT_NE(record.nights_record_skipped[0].find("line 3"), std::string::npos);
    const std::string mended = testing::ReadBytes(settings.nights_path);
    EXPECT_EQ(mended.substr(mended.find("\nfirst ") + 1),
              "first 20260301\n20260302\n20260303\n20260304\n20260305\n20260306\n");

    // A folder in its place: catch-up cannot work, and the exit code says so.
    std::filesystem::remove(settings.nights_path);
    std::filesystem::create_directory(settings.nights_path);
    gateway = FakeGateway();
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings, record), Outcome::Incomplete);
    EXPECT_TRUE(record.catch_up.problem);
    EXPECT_TRUE(record.nights_record_problem);
}

// What a person's editor or a wrong clock leaves in the record.
TEST(NightsRecordTest, ReadsWhatEditorsAndClocksLeave) {
    const LocalDate today{2026, 3, 10}; // yesterday 20260309
    const struct {
        const char* text;
        const char* first;
        std::vector<std::string> sent;
        std::size_t skipped;
    } cases[] = {
        {"\xEF\xBB\xBF" "first 20260301\r\n20260302\r\n\x1A", "20260301", {"20260302"}, 0},
        {"# note\n\n  20260302  \nfirst 20260301", "20260301", {"20260302"}, 0},
        {"first 20260301\n2026-03-02\n20260230\nfirst\n20260303\n", "20260301", {"20260303"}, 3},
        {"first 20260301\n20260309\n20260310\n20270101\n", "20260301", {"20260309"}, 2},
        // A "first" after yesterday: the earliest night kept starts it.
        {"first 20270101\n20260305\n20260307\n", "20260305", {"20260305", "20260307"}, 1},
        {"first 20270101\n", "20260309", {}, 1},
    };
    for (const auto& c : cases) {
        const NightsRecord record = ParseNightsRecord(c.text, today);
        EXPECT_EQ(record.first.value_or("none"), c.first) << c.text;
        EXPECT_EQ(std::vector<std::string>(record.sent.begin(), record.sent.end()), c.sent) << c.text;
        EXPECT_EQ(record.skipped.size(), c.skipped) << c.text;
    }
    // The window counts back from yesterday: no future night pushes out a
    // real one.
    NightsRecord full;
    for (int back = 1; back <= 80; ++back) full.sent.insert(DateKey(AddDays(today, -back)));
    for (int ahead = 0; ahead < 80; ++ahead) full.sent.insert(DateKey(AddDays(today, 300 + ahead)));
    const std::string text = NightsRecordText(full, today, "\n");
    EXPECT_NE(text.find("20260309\n"), std::string::npos);
    EXPECT_EQ(text.find("2027"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + static_cast<long>(kNightsKept));
}

TEST(ParkNumberSourceTest, SaysWhetherTheNumberIsTheFilesOrTheDefault) {
    testing::TempDir dir;
    const std::string path = dir / "weixinconfig.ini";
    ParkNumber park = LookUpParkNumber(path);
    EXPECT_EQ(park.number, "1");
    EXPECT_EQ(park.source, ParkNumber::Source::DefaultNoFile);
    EXPECT_EQ(park.config_path, path);

    dir.Write("weixinconfig.ini", "[code]\r\nother=208\r\n[park]\r\njov_park_id=208\r\n");
    park = LookUpParkNumber(path);
    EXPECT_EQ(park.number, "1");
    EXPECT_EQ(park.source, ParkNumber::Source::DefaultNoKey);

    // "1" written in the file is the file's number, not the default.
    dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=1\r\n");
    EXPECT_EQ(LookUpParkNumber(path).source, ParkNumber::Source::File);
    dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=\r\n");
    park = LookUpParkNumber(path);
    EXPECT_EQ(park.number, "");
    EXPECT_EQ(park.source, ParkNumber::Source::File);

    std::filesystem::create_directory(dir.path() / "sub");
    std::filesystem::create_directory(dir.path() / "sub" / "weixinconfig.ini");
    EXPECT_EQ(LookUpParkNumber((dir.path() / "sub" / "weixinconfig.ini").string()).source,
              ParkNumber::Source::DefaultNoFile);
}

// A run of car park 208 that transferred all five figures.
RunRecord NormalRun() {
    RunRecord run;
    run.started = {{2026, 3, 1}, 2, 30, 5};
    run.version = "1.2.3";
    run.local.status = LocalSetUp::Status::Open;
    run.local.target = {"192.168.1.20", "park"};
    run.central = {"db.example.net,1433", "hq_db"};
    run.job.figures_started = true;
    run.job.park = {"208", ParkNumber::Source::File, "C:\\parktotals\\weixinconfig.ini"};
    run.job.date_key = "20260228";
    run.job.nights = {NightRecord{{2026, 2, 28}, "20260228", NightKind::Yesterday, {}}};
    const char* const values[kFigureCount] = {"17", "5400", "1234.5", "0", "86.25"};
    for (int i = 0; i < kFigureCount; ++i)
        run.job.nights[0].figures[static_cast<std::size_t>(i)] = {FigureStatus::Transferred, values[i], 1, {}};
    run.exit_code = 0;
    run.duration = std::chrono::milliseconds(534);
    return run;
}

TEST(RunReportTest, NormalRunReadsLikeThis) {
    EXPECT_EQ(RunReportLines(NormalRun()),
              (std::vector<std::string>{
                  "==== Run of 2026-03-01 02:30:05, parktotals 1.2.3 ====",
                  "Car park number: 208 (from C:\\parktotals\\weixinconfig.ini)",
                  "Date key: 20260228",
                  "Local database: server 192.168.1.20, database park",
                  "Central database: server db.example.net,1433, database hq_db",
                  "Figure 1 (day_count_qinfei): sent 17, 1 row changed",
                  "Figure 2 (month_money_yushou): sent 5400, 1 row changed",
                  "Figure 3 (weixin_money_lishi): sent 1234.5, 1 row changed",
                  "Figure 4 (xinjin_money_lishi): sent 0, 1 row changed",
                  "Figure 5 (yichan_money_lishi): sent 86.25, 1 row changed",
                  "End: exit code 0, all five figures were transferred; 5 of 5 transferred; took 0.53 s",
              }));
}

TEST(RunReportTest, EachFigureProblemSaysWhy) {
    RunRecord run = NormalRun();
    auto& f = run.job.nights[0].figures;
    f[0] = {FigureStatus::NotSent, "", std::nullopt, {"Invalid column name 'Deposit'", "42S22", 207}};
    f[1] = {FigureStatus::Refused, "5400", std::nullopt, {"Arithmetic overflow", "22003", 8115}};
    f[2] = {FigureStatus::MatchedNoRow, "1234.5", 0, {}};
    f[3] = {FigureStatus::Transferred, "0", 3, {}};
    f[4] = {FigureStatus::Uncounted, "86.25", std::nullopt, {}};
    run.exit_code = 2;
    const std::vector<std::string> lines = RunReportLines(run);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[5],
              "Figure 1 (day_count_qinfei): not sent: Invalid column name 'Deposit' (SQLSTATE 42S22, error 207)");
    EXPECT_EQ(lines[6], "Figure 2 (month_money_yushou): sent 5400, refused by the central server: Arithmetic overflow "
                        "(SQLSTATE 22003, error 8115)");
    EXPECT_EQ(lines[7], "Figure 3 (weixin_money_lishi): sent 1234.5, matched no row");
    EXPECT_EQ(lines[8], "Figure 4 (xinjin_money_lishi): sent 0, 3 rows changed (more than one row matched)");
    EXPECT_EQ(lines[9], "Figure 5 (yichan_money_lishi): sent 86.25, accepted, but the server sent no row count: whether "
                        "it changed a row is not known");
    EXPECT_EQ(lines[10], "End: exit code 2, at least one figure was not transferred; 1 of 5 transferred; took 0.53 s");

    f[0] = {FigureStatus::LinkLost, "17", std::nullopt, {"Unexpected EOF from the server", "08S01", 20017}};
    f[1] = {FigureStatus::NotSent, "", std::nullopt,
            {"The statement cannot be sent to the database: it contains a NUL character", "", 0}};
    EXPECT_EQ(RunReportLines(run)[5], "Figure 1 (day_count_qinfei): sent 17, lost with the central connection, may not "
                                      "have arrived: Unexpected EOF from the server (SQLSTATE 08S01, error 20017)");
    EXPECT_EQ(RunReportLines(run)[6], "Figure 2 (month_money_yushou): not sent: The statement cannot be sent to the "
                                      "database: it contains a NUL character");
}

TEST(RunReportTest, LocalDatabaseAndCarParkSayWhereTheyCameFrom) {
    RunRecord run = NormalRun();
    const auto local_line = [&](LocalSetUp::Status status, FailureReason failure) {
        run.local.status = status;
        run.local.failure = std::move(failure);
        return RunReportLines(run)[3];
    };
    EXPECT_EQ(local_line(LocalSetUp::Status::FileMissing, {"Cannot open file \"RegInfo.INI\"", "", 0}),
              "Local database: none: RegInfo.INI is missing or cannot be read: Cannot open file \"RegInfo.INI\"");
    EXPECT_EQ(local_line(LocalSetUp::Status::FirstLineEmpty, {"The first line of RegInfo.INI is empty", "", 0}),
              "Local database: none: the first line of RegInfo.INI is empty");
    EXPECT_EQ(local_line(LocalSetUp::Status::NotUnderstood, {"The connection string is empty", "", 0}),
              "Local database: none: the connection string in RegInfo.INI is not understood: "
              "The connection string is empty");
    EXPECT_EQ(local_line(LocalSetUp::Status::LoginRefused, {"Login failed for user 'sa'", "42000", 18456}),
              "Local database: server 192.168.1.20, database park: login refused: Login failed for user 'sa' "
              "(SQLSTATE 42000, error 18456)");
    EXPECT_EQ(local_line(LocalSetUp::Status::Unreachable, {"Unable to connect", "08S01", 20009}),
              "Local database: server 192.168.1.20, database park: server unreachable: Unable to connect "
              "(SQLSTATE 08S01, error 20009)");
    run.local.target = {};
    EXPECT_EQ(local_line(LocalSetUp::Status::Failed, {"Cannot open database \"x\"", "42000", 4060}),
              "Local database: server (not given), database (not given): cannot connect: "
              "Cannot open database \"x\" (SQLSTATE 42000, error 4060)");

    run.job.park = {"1", ParkNumber::Source::DefaultNoFile, "/opt/parktotals/weixinconfig.ini"};
    EXPECT_EQ(RunReportLines(run)[1], "Car park number: 1 (default: /opt/parktotals/weixinconfig.ini not found)");
    run.job.park.source = ParkNumber::Source::DefaultNoKey;
    EXPECT_EQ(RunReportLines(run)[1],
              "Car park number: 1 (default: no jov_park_id in the [code] section of /opt/parktotals/weixinconfig.ini)");
}

TEST(RunReportTest, AbortedRunEndsWithTheErrorBox) {
    RunRecord run = NormalRun();
    run.job.figures_started = false;
    for (FigureRecord& figure : run.job.nights[0].figures) figure = FigureRecord();
    run.exit_code = 1;
    run.error_box = "Unable to connect: Adaptive Server is unavailable or does not exist.";
    const std::vector<std::string> lines = RunReportLines(run);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[5], "Figures: none tried, the central database was not reached");
    EXPECT_EQ(lines[6], "End: exit code 1, the run stopped with an error; 0 of 5 transferred; took 0.53 s");
    EXPECT_EQ(lines[7], "Error box: Unable to connect: Adaptive Server is unavailable or does not exist.");
}

TEST(HeadlessNoticesTest, NameTheDefaultCarParkAndEachFigureNotTransferred) {
    RunRecord run = NormalRun();
    EXPECT_TRUE(HeadlessNotices(run).empty());

    run.job.park = {"1", ParkNumber::Source::DefaultNoFile, "/opt/parktotals/weixinconfig.ini"};
    run.job.nights[0].figures[1] = {FigureStatus::NotSent, "", std::nullopt, {"Invalid column name 'Deposit'", "42S22", 207}};
    run.job.nights[0].figures[3] = {FigureStatus::MatchedNoRow, "0", 0, {}};
    EXPECT_EQ(HeadlessNotices(run),
              (std::vector<std::string>{
                  "car park number 1 is only the default: /opt/parktotals/weixinconfig.ini not found; the figures "
                  "went to car park 1's row at head office",
                  "figure 2 (month_money_yushou) not transferred: not sent: Invalid column name 'Deposit' "
                  "(SQLSTATE 42S22, error 207)",
                  "figure 4 (xinjin_money_lishi) not transferred: matched no row",
              }));
    run.job.park.source = ParkNumber::Source::DefaultNoKey;
    EXPECT_EQ(HeadlessNotices(run)[0], "car park number 1 is only the default: no jov_park_id in the [code] section "
                                       "of /opt/parktotals/weixinconfig.ini; the figures went to car park 1's row at "
                                       "head office");

    // An error box says why nothing was tried; a connection found closed
    // says nothing by itself.
    run.job.figures_started = false;
    run.error_box = "Unable to connect.";
    EXPECT_TRUE(HeadlessNotices(run).empty());
    run.error_box.reset();
    EXPECT_EQ(HeadlessNotices(run),
              std::vector<std::string>{"no figure was transferred: the central database was not reached"});
}

TEST(RunReportTest, ServerTextCannotStartALineOrSteerATerminal) {
    RunRecord run = NormalRun();
    run.job.nights[0].figures[2] = {FigureStatus::Refused, "1234.5", std::nullopt,
                          {"Deadlock\r\n==== Run of 2099-01-01 00:00:00 ====\nEnd: exit code 0\x1b[2J\x07\x7f"
                           "\xC2\x9B\xE2\x80\xA8 \xE5\x88\x97\xE5\x90\x8D \xFF\xE5\x88 \xE2\x80\xAE\xE2\x81\xA6",
                           "40001", 1205}};
    // The box's text went through an exception, whose what() a NUL would end.
    run.error_box = UserError(std::string("Unable to connect\n==== Run of 2099\0 (PC)", 40)).what();
    const std::vector<std::string> lines = RunReportLines(run);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[7], "Figure 3 (weixin_money_lishi): sent 1234.5, refused by the central server: Deadlock\\r\\n"
                        "==== Run of 2099-01-01 00:00:00 ====\\nEnd: exit code 0\\x1b[2J\\x07\\x7f\\u009b\\u2028 "
                        "\xE5\x88\x97\xE5\x90\x8D \\xff\\xe5\\x88 \\u202e\\u2066 (SQLSTATE 40001, error 1205)");
    EXPECT_EQ(lines[11], "Error box: Unable to connect\\n==== Run of 2099\\x00 (PC)");
}

// What a monitoring rule reads without parsing the text (the ID and type
// of each exit code: the wine tests). With past days: the first of them,
// and every figure asked for on each.
TEST(RunEventTest, StringsNameTheFirstNightAndCountWhatEachNightAsked) {
    RunRecord run = NormalRun();
    run.job.nights[0].kind = NightKind::Resent;
    for (int i : {0, 1}) run.job.nights[0].figures[static_cast<std::size_t>(i)] = {FigureStatus::NotAsked, "", {}, {}};
    run.job.nights.push_back(run.job.nights[0]);
    run.job.nights[1].date_key = "20260301";
    run.job.nights[1].figures[4] = {FigureStatus::Refused, "86.25", std::nullopt, {"Arithmetic overflow", "22003", 8115}};
    run.exit_code = 2;
    const std::vector<std::string> lines = RunReportLines(run);
    const RunEvent event = RunEventFor(run, lines);
    EXPECT_EQ(event.strings, (std::vector<std::string>{"208", "20260228", "5", "6", EventText(lines, 99999)}));
}

TEST(RunEventTest, TextLongerThanAnEventKeepsWholeLinesAndNamesTheLog) {
    const std::vector<std::string> lines = {"==== Run ====", std::string(100, 'a'), std::string(100, 'b')};
    EXPECT_EQ(EventText(lines, 250), "==== Run ====\r\n" + lines[1] + "\r\n" + lines[2]);
    const std::string cut = EventText(lines, 200);
    const std::string note = cut.substr(cut.rfind("\r\n") + 2);
    EXPECT_NE(note.find("parktotals.log"), std::string::npos);
    EXPECT_EQ(cut, "==== Run ====\r\n" + lines[1] + "\r\n" + note);
    EXPECT_LE(Utf8ToUtf16(cut).size(), 200u);

    // A first line longer than an event: its start, in UTF-16 characters,
    // never half of a pair (U+1F697 is one).
    const std::string car = "\xF0\x9F\x9A\x97";
    std::string wide_line;
    for (int i = 0; i < 100; ++i) wide_line += car;
    for (std::size_t limit : {note.size() + 12, note.size() + 13}) {
        const std::string start = EventText({wide_line}, limit);
        EXPECT_EQ(start.substr(0, start.find("\r\n")), car + car + car + car + car);
        EXPECT_LE(Utf8ToUtf16(start).size(), limit);
    }
}

std::string Block(const std::string& name, std::size_t size) {
    std::string block = "==== Run " + name + " ====\n";
    block += std::string(size - block.size() - 1, 'x') + "\n";
    return block;
}

TEST(BoundedReportTest, DropsTheOldestWholeRunsAndKeepsTheNewest) {
    const std::string old_text = Block("a", 300) + Block("b", 300) + Block("c", 300);
    EXPECT_EQ(BoundedReport(old_text, Block("d", 100), 1000), old_text + Block("d", 100)) << "fits";
    EXPECT_EQ(BoundedReport(old_text, Block("d", 101), 1000), Block("b", 300) + Block("c", 300) + Block("d", 101));
    EXPECT_EQ(BoundedReport(old_text, Block("d", 500), 1000), Block("c", 300) + Block("d", 500));
    EXPECT_EQ(BoundedReport(old_text, Block("d", 1500), 1000), Block("d", 1500)) << "the newest run stays";
    // Text before the first run (from an older program) goes first.
    EXPECT_EQ(BoundedReport("cron output\n" + old_text, Block("d", 100), 1000), old_text + Block("d", 100));
    // A run's first line only counts at the start of a line.
    const std::string inner = "==== Run a ====\nsays ==== here\n" + std::string(280, 'x') + "\n";
    EXPECT_EQ(BoundedReport(inner + Block("b", 300), Block("c", 800), 1200), Block("b", 300) + Block("c", 800));
}

class ReportFileTest : public ::testing::Test {
protected:
    std::string Report() const { return testing::ReadBytes(path); }
    testing::TempDir dir;
    std::string path = dir / "parktotals.log";
};

TEST_F(ReportFileTest, WindowsFileStartsWithOneByteOrderMarkAndUsesCrLf) {
    const TextFormat windows{true, "\r\n"};
    EXPECT_EQ(AppendRunReport(path, {"==== one", "a"}, windows), std::nullopt);
    EXPECT_EQ(AppendRunReport(path, {"==== two", "\xE5\xA4\xB1\xE8\xB4\xA5"}, windows), std::nullopt);
    EXPECT_EQ(Report(), "\xEF\xBB\xBF==== one\r\na\r\n\r\n==== two\r\n\xE5\xA4\xB1\xE8\xB4\xA5\r\n\r\n");
}

TEST_F(ReportFileTest, LinuxFileIsPlainUtf8WithLf) {
    const TextFormat linux_format{false, "\n"};
    EXPECT_EQ(AppendRunReport(path, {"==== one", "a"}, linux_format), std::nullopt);
    EXPECT_EQ(AppendRunReport(path, {"==== two"}, linux_format), std::nullopt);
    EXPECT_EQ(Report(), "==== one\na\n\n==== two\n\n");
    EXPECT_EQ(NativeTextFormat().line_end, "\n");
}

TEST_F(ReportFileTest, FileAtItsBoundLosesItsOldestRunsAndKeepsItsMark) {
    const TextFormat windows{true, "\r\n"};
    const std::vector<std::string> run(40, std::string(20, 'x'));
    std::vector<std::string> lines = run;
    for (int i = 0; i < 12; ++i) {
        lines[0] = "==== run " + std::to_string(i);
        ASSERT_EQ(AppendRunReport(path, lines, windows, 5000), std::nullopt);
    }
    const std::string report = Report();
    EXPECT_LE(report.size(), 5000u);
    EXPECT_EQ(report.rfind("\xEF\xBB\xBF==== run ", 0), 0u) << "starts with the mark and a whole run";
    EXPECT_NE(report.find("==== run 11\r\n"), std::string::npos);
    EXPECT_EQ(report.find("==== run 0\r\n"), std::string::npos);
    EXPECT_EQ(report.substr(report.size() - 24), std::string(20, 'x') + "\r\n\r\n");
}

TEST_F(ReportFileTest, BlockCutShortDoesNotHideTheNextRunFromTrimming) {
    const TextFormat windows{true, "\r\n"};
    dir.Write("parktotals.log", "\xEF\xBB\xBF==== one\r\nFigure 1 (day_co");
    ASSERT_EQ(AppendRunReport(path, {"==== two", std::string(20, 'x')}, windows, 100), std::nullopt);
    EXPECT_EQ(Report(), "\xEF\xBB\xBF==== one\r\nFigure 1 (day_co\r\n==== two\r\n" + std::string(20, 'x') + "\r\n\r\n");
    ASSERT_EQ(AppendRunReport(path, {"==== three", std::string(20, 'x')}, windows, 100), std::nullopt);
    EXPECT_EQ(Report().rfind("\xEF\xBB\xBF==== two\r\n", 0), 0u) << Report();
}

// Ten runs started together in one folder each read, trim and replace the
// file: without a lock between them, some blocks were lost.
TEST_F(ReportFileTest, TenRunsAtOnceNearTheLimitKeepTenWholeBlocks) {
    std::string earlier;
    for (int i = 0; earlier.size() < kRunReportLimit - 4000; ++i)
        earlier += "==== earlier " + std::to_string(i) + "\n" + std::string(1000, 'x') + "\n\n";
    dir.Write("parktotals.log", earlier);
    const auto lines = [](int run) {
        std::vector<std::string> block(30, "line of run " + std::to_string(run));
        block[0] = "==== run " + std::to_string(run);
        return block;
    };
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> runs;
    for (int run = 0; run < 10; ++run) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(start[1]);
            char byte;
            // Each waits until all are there; the pipe's close starts them.
            if (::read(start[0], &byte, 1) != 0) ::_exit(3);
            ::_exit(AppendRunReport(path, lines(run), {false, "\n"}) ? 1 : 0);
        }
        ASSERT_GT(pid, 0);
        runs.push_back(pid);
    }
    ::close(start[0]);
    ::close(start[1]);
    for (const pid_t pid : runs) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a run could not write its block";
    }
    const std::string report = Report();
    EXPECT_LE(report.size(), kRunReportLimit);
    EXPECT_EQ(report.rfind("==== earlier ", 0), 0u);
    for (int run = 0; run < 10; ++run) {
        std::string block;
        for (const std::string& line : lines(run)) block += line + "\n";
        EXPECT_NE(report.find(block + "\n"), std::string::npos) << "run " << run << "'s block is lost or cut";
    }
}

// A link (to a file of another program) and a FIFO are neither written
// through nor waited on.
TEST_F(ReportFileTest, LinkOrFifoInTheReportsPlaceIsLeftAlone) {
    const std::string target = dir.Write("other.dat", "another program's data\n");
    std::filesystem::create_symlink(target, path);
    EXPECT_EQ(AppendRunReport(path, {"==== one"}), "it is a symbolic link, not a plain file");
    EXPECT_EQ(testing::ReadBytes(target), "another program's data\n");
    EXPECT_TRUE(std::filesystem::is_symlink(path));

    std::filesystem::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(AppendRunReport(path, {"==== one"}), "it is a named pipe (FIFO), not a plain file");
    EXPECT_TRUE(std::filesystem::is_fifo(path));
}

TEST_F(ReportFileTest, UnwritableReportSaysWhyAndThrowsNothing) {
    std::filesystem::create_directory(path);
    const std::optional<std::string> failure = AppendRunReport(path, {"==== one"});
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(*failure, "Is a directory");
}

} // namespace
} // namespace parktotals
