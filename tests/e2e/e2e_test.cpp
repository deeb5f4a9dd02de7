// The built program run as a car park's scheduler would run it: a working
// folder holding RegInfo.INI, the program with weixinconfig.ini beside it,
// and stand-ins for the local and the central database.

#include "app/app_title.h"
#include "app/command_line.h"
#include "text/errors.h"
#include "car_park_folder.h"
#include "standin/standin.h"
#include "support/network.h"
#include "support/odbc_drivers.h"
#include "support/process.h"
#include "support/standin_scripts.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "support/xvfb.h"
#include "totals/date_key.h"
#include "totals/figures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <regex>

namespace parktotals {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using standin::Answer;
using standin::Rule;
using standin::Script;
using testing::ChildProcess;
using testing::kGenerousTimeout;
using testing::kLocalFigureValues;
using testing::Line;
using testing::ProcessOptions;
using testing::Texts;

constexpr std::uint16_t kCentralPort = PARKTOTALS_E2E_CENTRAL_PORT;

Script CentralScript(const Answer& update = Answer::RowCount(1)) {
    return testing::CentralScript(PARKTOTALS_E2E_USER, PARKTOTALS_E2E_PASSWORD, update);
}

std::string Yesterday() { return YesterdayKey(TodayOnLocalClock()); }

// The program in a car park's folder, with a local database that has a day
// of figures.
class ProgramRunTest : public ::testing::Test, protected testing::CarParkFolder {
protected:
    ProgramRunTest() { SetLocalPort(local.port()); }

    void SetLocalPort(std::uint16_t port) const {
        SetRegInfo("Provider=SQLOLEDB.1;Password=pw;Persist Security Info=True;User ID=sa;"
                   "Initial Catalog=parking;Data Source=127.0.0.1," + std::to_string(port));
    }
    std::vector<std::string> ExpectedStatements(const std::string& park = "208") const {
        std::vector<std::string> s;
        for (int i = 0; i < kFigureCount; ++i)
            s.push_back(BuildUpdateStatement(i, kLocalFigureValues[i], park, Yesterday()));
        return s;
    }
    std::string MemoFile() const { return Read("memo1.txt"); }

    standin::Server local{testing::LocalFiguresScript()};
};

class HeadlessRunTest : public ProgramRunTest {
protected:
    // The central server drops its link on figure 2's update.
    static Script DroppingFigureTwo() {
        Script dropping = CentralScript();
        dropping.rules.insert(dropping.rules.begin(),
                              Rule::Regex("update T_kextotal set month_money_yushou[\\s\\S]*", Answer::Drop()));
        return dropping;
    }

    standin::Server central{CentralScript(), kCentralPort};
};

TEST_F(HeadlessRunTest, NormalRunTransfersAllFiveAndEndsByItself) {
    const auto started = std::chrono::steady_clock::now();
    const testing::ProcessResult run = RunHeadless();
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_GE(took, 500ms) << "the job waits for the start timer";

    const std::vector<std::string> expected = ExpectedStatements();
    std::string memo, printed;
    std::vector<std::string> sent = {testing::kSetNoCountOff};
    for (const std::string& s : expected) {
        memo += Line(s);
        printed += s + "\n";
        sent.push_back(Line(s));
    }
    EXPECT_EQ(Texts(central.batches()), sent);
    EXPECT_EQ(MemoFile(), memo);
    EXPECT_EQ(run.out, printed);
    EXPECT_EQ(run.err, "");

    ASSERT_EQ(central.logins().size(), 1u);
    EXPECT_EQ(central.logins()[0].user, PARKTOTALS_E2E_USER);
    EXPECT_EQ(central.logins()[0].database, std::string(PARKTOTALS_E2E_USER) + "_db");
    ASSERT_EQ(local.logins().size(), 1u);
    EXPECT_EQ(local.logins()[0].database, "parking");
}

TEST_F(HeadlessRunTest, UnreachableLocalServerSendsNothingAndWritesEmptyMemo) {
    const testing::ClosedPort closed;
    SetLocalPort(closed.port());
    const testing::ProcessResult run = RunHeadless();
    EXPECT_EQ(run.exit_code, 2) << run.err;
    EXPECT_EQ(Texts(central.batches()), std::vector<std::string>{testing::kSetNoCountOff});
    EXPECT_TRUE(fs::exists(dir / "memo1.txt"));
    EXPECT_EQ(MemoFile(), "");
}

TEST_F(HeadlessRunTest, QuoteInParkNumberIsDoubled) {
    SetParkNumber("O'Brien");
    const testing::ProcessResult run = RunHeadless();
    EXPECT_EQ(run.exit_code, 0) << run.err;
    std::string memo;
    for (const std::string& s : ExpectedStatements("O'Brien")) memo += s + "\r\n";
    EXPECT_EQ(MemoFile(), memo);
    EXPECT_NE(memo.find("kex_no='O''Brien' and"), std::string::npos);
}

TEST_F(HeadlessRunTest, MissingWeixinConfigMeansParkOne) {
    fs::remove(dir.path() / "bin" / "weixinconfig.ini");
    // Beside the program, not in the working directory.
    dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=999\r\n");
    const testing::ProcessResult run = RunHeadless();
    EXPECT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> sent = Texts(central.batches());
    ASSERT_EQ(sent.size(), 6u);
    for (auto s = sent.begin() + 1; s != sent.end(); ++s) EXPECT_NE(s->find("kex_no='1' and"), std::string::npos) << *s;
}

TEST_F(HeadlessRunTest, RejectedFigureIsLeftOutAndReported) {
    Script script = CentralScript();
    script.rules.insert(script.rules.begin(),
                        Rule::Regex("update T_kextotal set weixin_money_lishi[\\s\\S]*",
                                    Answer::Error(245, "Conversion failed when converting the varchar value.")));
    central.SetScript(script);
    const testing::ProcessResult run = RunHeadless();
    EXPECT_EQ(run.exit_code, 2) << run.err;
    std::vector<std::string> expected = ExpectedStatements();
    expected.erase(expected.begin() + 2);
    std::string memo;
    for (const std::string& s : expected) memo += s + "\r\n";
    EXPECT_EQ(MemoFile(), memo);
    EXPECT_EQ(central.batches().size(), 6u);
}

TEST_F(HeadlessRunTest, UncreatableMemoFileAbortsWithItsPath) {
    fs::create_directory(dir.path() / "memo1.txt");
    const testing::ProcessResult run = RunHeadless();
    EXPECT_EQ(run.exit_code, 1);
    // The reason is the C library's text, trimmed and closed the program's way.
    const std::string reason = TrimMessageTail(std::strerror(EISDIR));
    EXPECT_EQ(run.err, "parktotals: " + ErrorBoxText("Cannot create file \"" + (dir / "memo1.txt") + "\". " + reason) +
                           "\n");
    EXPECT_EQ(central.batches().size(), 6u) << "the figures went through before the file failed";
}

TEST_F(HeadlessRunTest, RefusedCommandLineTouchesNothingAndHelpGoesToStandardOutput) {
    const std::vector<std::string> wrong = {"--retries", "11"};
    std::string message;
    try {
        ParseCommandLine(wrong, TodayOnLocalClock());
    } catch (const UserError& error) {
        message = error.what();
    }
    ASSERT_FALSE(message.empty()) << "the line is taken";
    std::vector<std::string> command = {program};
    command.insert(command.end(), wrong.begin(), wrong.end());

    testing::ProcessResult run = testing::RunProcess(command, Options(), kGenerousTimeout);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "parktotals: " + ErrorBoxText(message) + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(fs::exists(dir / "memo1.txt"));
    EXPECT_FALSE(fs::exists(dir / "parktotals.log"));

    dir.Write("memo1.txt", "last night's run\r\n");
    dir.Write("parktotals.log", "==== last night's block ====\n");
    run = testing::RunProcess(command, Options(), kGenerousTimeout);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(MemoFile(), "last night's run\r\n");
    EXPECT_EQ(Read("parktotals.log"), "==== last night's block ====\n");
    EXPECT_TRUE(central.logins().empty());
    EXPECT_TRUE(local.logins().empty());

    run = testing::RunProcess({program, "--help"}, Options(), kGenerousTimeout);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, UsageText("parktotals", 79));
    EXPECT_EQ(run.err, "");

    // In Chinese under a Chinese display language, or when the line asks.
    SetCurrentLanguage(Language::Chinese);
    std::string chinese;
    try {
        ParseCommandLine(wrong, TodayOnLocalClock());
    } catch (const UserError& error) {
        chinese = "parktotals: " + ErrorBoxText(error.what()) + "\n";
    }
    SetCurrentLanguage(Language::English);
    ProcessOptions zh = Options();
    zh.environment["LANG"] = "zh_CN.UTF-8";
    EXPECT_EQ(testing::RunProcess(command, zh, kGenerousTimeout).err, chinese);
    command.insert(command.begin() + 1, {"--language", "zh-CN"});
    EXPECT_EQ(testing::RunProcess(command, Options(), kGenerousTimeout).err, chinese);
    EXPECT_NE(chinese.find("0 到 10"), std::string::npos) << chinese;
}

TEST_F(HeadlessRunTest, DateKeyOnFirstOfJanuaryNamesNewYearsEve) {
    const std::string faketime = testing::FindOnPath("faketime");
    if (faketime.empty()) GTEST_SKIP() << "needs faketime on PATH (scripts/test installs it)";
    const testing::ProcessResult run =
        testing::RunProcess({faketime, "2027-01-01 00:00:10", program}, Options(), kGenerousTimeout);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> sent = Texts(central.batches());
    ASSERT_EQ(sent.size(), 6u);
    for (auto s = sent.begin() + 1; s != sent.end(); ++s)
        EXPECT_NE(s->find("day(siji)='20261231'"), std::string::npos) << *s;
}

// Runs shortly after midnight on the nights around the clock changes, in
// zones that change them. Each date is the day before on the local
// calendar: a run reading the date in UTC, or going back 24 hours, names
// the wrong day on some of these nights. The zones' rules are spelled out
// as POSIX TZ values, so the test needs no time zone data on the machine.
TEST_F(HeadlessRunTest, DateKeyAroundDaylightSavingChangesIsTheLocalDayBefore) {
    const std::string faketime = testing::FindOnPath("faketime");
    if (faketime.empty()) GTEST_SKIP() << "needs faketime on PATH (scripts/test installs it)";
    const std::string london = "GMT0BST,M3.5.0/1,M10.5.0";  // Europe/London
    const std::string new_york = "EST5EDT,M3.2.0,M11.1.0";  // America/New_York
    struct Night {
        std::string zone, local_time, key;
    };
    const Night nights[] = {
        {london, "2026-03-29 00:30:00", "20260328"},    // the clocks go forward at 01:00
        {london, "2026-03-30 00:30:00", "20260329"},    // after a 23-hour day; still 29 March in UTC
        {london, "2026-10-25 00:30:00", "20261024"},    // the clocks go back at 02:00; 24 October in UTC
        {london, "2026-10-26 00:30:00", "20261025"},    // after a 25-hour day
        {new_york, "2026-03-08 23:30:00", "20260307"},  // already 9 March in UTC
        {new_york, "2026-03-09 00:30:00", "20260308"},  // after a 23-hour day
        {new_york, "2026-11-01 23:30:00", "20261031"},  // already 2 November in UTC
        {new_york, "2026-11-02 00:30:00", "20261101"},  // after a 25-hour day
    };
    for (const Night& night : nights) {
        SCOPED_TRACE("TZ=" + night.zone + ", " + night.local_time);
        ProcessOptions options = Options();
        options.environment["TZ"] = night.zone;
        const std::size_t before = central.batches().size();
        const testing::ProcessResult run =
            testing::RunProcess({faketime, night.local_time, program}, options, kGenerousTimeout);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        const std::vector<std::string> all = Texts(central.batches());
        // The session set-up, then the five updates.
        const std::vector<std::string> sent(all.begin() + static_cast<long>(before) + 1, all.end());
        ASSERT_EQ(sent.size(), 5u);
        for (const std::string& s : sent)
            EXPECT_NE(s.find("day(siji)='" + night.key + "'\r\n"), std::string::npos) << s;
    }
}

// The central link drops on one update; the retry a second later gets it
// through, and every figure is accepted once.
TEST_F(HeadlessRunTest, NightWhoseLinkDropsOnceEndsWithAllFiveOnRetry) {
    central.SetScript(DroppingFigureTwo());
    ChildProcess run({program, "--retries", "2", "--retry-wait", "1"}, Options());
    // The new session's set-up after the drop: the dropped update has been
    // answered, and the retry is a second away.
    ASSERT_TRUE(central.WaitForBatches(4, kGenerousTimeout));
    central.SetScript(CentralScript());
    ASSERT_EQ(run.Wait(kGenerousTimeout), 0) << run.Stderr();

    const std::vector<std::string> expected = ExpectedStatements();
    EXPECT_EQ(MemoFile(), Line(expected[0]) + Line(expected[2]) + Line(expected[3]) + Line(expected[4]) +
                              Line(expected[1]));
    std::vector<std::string> updates;
    for (const std::string& batch : Texts(central.batches()))
        if (batch != testing::kSetNoCountOff) updates.push_back(batch);
    EXPECT_EQ(updates, (std::vector<std::string>{Line(expected[0]), Line(expected[1]), Line(expected[2]),
                                                 Line(expected[3]), Line(expected[4]), Line(expected[1])}))
        << "the dropped update went again, no other";
    EXPECT_NE(run.Stderr().find("Retry 1 of 2 in 1 s: Figure 2 (month_money_yushou) of " + Yesterday()),
              std::string::npos)
        << run.Stderr();
    EXPECT_NE(Read("parktotals.log").find("Figure 2 (month_money_yushou): sent 5400, 1 row changed (on try 2)"),
              std::string::npos);
}

// Stopped by the service manager while it waits to try again: the run ends
// at once as every run ends, with what head office accepted in memo1.txt,
// its report block and exit code 2.
TEST_F(HeadlessRunTest, SigtermDuringARetryWaitEndsTheRunWithItsFiles) {
    central.SetScript(DroppingFigureTwo());
    ChildProcess run({program, "--retries", "2", "--retry-wait", "3600"}, Options());
    ASSERT_TRUE(testing::WaitUntil([&] { return run.Stderr().find("Retry 1 of 2") != std::string::npos; },
                                   kGenerousTimeout))
        << run.Stderr();
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(2s), 2) << run.Stderr();
    const std::vector<std::string> expected = ExpectedStatements();
    EXPECT_EQ(MemoFile(), Line(expected[0]) + Line(expected[2]) + Line(expected[3]) + Line(expected[4]));
    const std::string report = Read("parktotals.log");
    EXPECT_NE(report.find("Stopped before its end: SIGTERM"), std::string::npos) << report;
    EXPECT_NE(Read("transferred-nights.txt").find("\n" + Yesterday() + "\n"), std::string::npos);
}

// A local database that takes connections and never answers: its login
// time-out is paid at start-up and once a pass, not once a figure.
TEST_F(HeadlessRunTest, SilentLocalServerCostsOneLoginTimeOutAPass) {
    std::atomic<int> connections{0};
    Script silent;
    silent.login_delay = Script::kNeverAnswer;
    standin::Server hanging(silent, 0, standin::Observer{[&](int) { ++connections; }, {}, {}, {}, {}});
    SetRegInfo("Provider=SQLOLEDB.1;Password=pw;User ID=sa;Initial Catalog=parking;Connect Timeout=2;"
               "Data Source=127.0.0.1," + std::to_string(hanging.port()));
    const testing::ProcessResult run =
        testing::RunProcess({program, "--retries", "1", "--retry-wait", "1"}, Options(), kGenerousTimeout);
    EXPECT_EQ(run.exit_code, 2) << run.err;
    EXPECT_EQ(connections.load(), 3) << "start-up, the first pass, the retry";
    hanging.Stop();
}

std::string RegexEscaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// Two nightly runs days apart, as the installed task runs them: the second
// sends the nights in between, and nothing from before the first.
TEST_F(HeadlessRunTest, CatchUpAcrossTwoRunsSendsOnlyTheNightsMissed) {
    const std::string faketime = testing::FindOnPath("faketime");
    if (faketime.empty()) GTEST_SKIP() << "needs faketime on PATH (scripts/test installs it)";
    // Figures 3 to 5 of any past day: 7, 8 and 9.
    Script figures = testing::LocalFiguresScript();
    for (int i = 2; i < kFigureCount; ++i) {
        const std::string query = FigureQuery(i, LocalDate{2000, 1, 1});
        const std::size_t day = query.find("20000101");
        figures.rules.push_back(Rule::Regex(RegexEscaped(query.substr(0, day)) + "[0-9]{8}" +
                                                RegexEscaped(query.substr(day + 8)) + "\r\n",
                                            Answer::Scalar(standin::Value::Int(5 + i))));
    }
    local.SetScript(figures);
    const auto run_on = [&](const std::string& time) {
        const testing::ProcessResult run =
            testing::RunProcess({faketime, time, program, "--catch-up", "7"}, Options(), kGenerousTimeout);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        std::vector<std::string> keys;
        for (const std::string& batch : Texts(central.batches())) {
            const std::size_t at = batch.find("day(siji)='");
            if (at != std::string::npos) keys.push_back(batch.substr(at + 11, 8));
        }
        return keys;
    };
    EXPECT_EQ(run_on("2026-03-02 02:30:00"), std::vector<std::string>(5, "20260301"))
        << "a first run has nothing to catch up";
    const std::vector<std::string> second = run_on("2026-03-06 02:30:00");
    EXPECT_EQ(std::vector<std::string>(second.begin() + 5, second.end()),
              (std::vector<std::string>{"20260305", "20260305", "20260305", "20260305", "20260305", "20260302",
                                        "20260302", "20260302", "20260303", "20260303", "20260303", "20260304",
                                        "20260304", "20260304"}));
    EXPECT_NE(MemoFile().find("xinjin_money_lishi='8'  from  T_kextotal ,T_kexbase where  T_kextotal.kex_name = "
                              "T_kexbase.kex_name and T_kexbase.kex_no='208' and "
                              "YEAR(siji)*10000+month(siji)*100+day(siji)='20260303'"),
              std::string::npos);
    const std::string record = Read("transferred-nights.txt");
    EXPECT_NE(record.find("first 20260301\n20260301\n20260302\n20260303\n20260304\n20260305\n"), std::string::npos)
        << record;
}

// No central stand-in at all: its port is closed.
using CentralDownTest = ProgramRunTest;

TEST_F(CentralDownTest, HeadlessRunReportsFailureAndKeepsOlderMemo) {
    SetProgramName("MyJob.Daily.EXE");
    dir.Write("memo1.txt", "yesterday's run\r\n");
    const testing::ProcessResult run = RunHeadless();
    EXPECT_EQ(run.exit_code, 1);
    // The reason is the driver's own text; the program's part is one line
    // with its title in front, the driver's [...] tags gone, a full stop at
    // the end, and no password.
    const std::string title = "Myjob: ";
    ASSERT_TRUE(run.err.starts_with(title)) << run.err;
    ASSERT_TRUE(run.err.ends_with(".\n")) << run.err;
    EXPECT_GT(run.err.size(), title.size() + 2) << "no reason given";
    EXPECT_NE(run.err[title.size()], '[') << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_EQ(run.err.find(PARKTOTALS_E2E_PASSWORD), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(MemoFile(), "yesterday's run\r\n");
    EXPECT_TRUE(local.batches().empty()) << "no figure is computed";
}

int Field(const std::string& xwininfo, const std::string& label) {
    std::smatch m;
    if (!std::regex_search(xwininfo, m, std::regex(label + ":\\s*(-?\\d+)"))) return -1;
    return std::stoi(m[1]);
}

class WindowRunTest : public ProgramRunTest {
protected:
    void SetUp() override {
        const std::string missing = testing::Xvfb::MissingTools();
        if (!missing.empty()) GTEST_SKIP() << "needs on PATH: " << missing << " (scripts/test installs them)";
        xvfb.emplace();
        ASSERT_TRUE(xvfb->ok()) << "Xvfb did not start: " << xvfb->Errors();
        fs::create_directories(PARKTOTALS_E2E_ARTEFACTS);
    }
    std::optional<testing::Xvfb> xvfb;
};

TEST_F(WindowRunTest, WindowShowsAtItsPlaceThenClosesByItself) {
    // The central server holds its answer to the first update, so the
    // window stays up in the middle of the run for as long as the checks
    // take, however slow the machine.
    standin::Server central{CentralScript(Answer::RowCount(1).Held()), kCentralPort};
    ChildProcess run({program}, Options(xvfb->display()));
    ASSERT_TRUE(central.WaitForBatches(1, kGenerousTimeout))
        << "no update came; the program said: " << run.Stderr() << "; Xvfb said: " << xvfb->Errors();
    const std::string info = xvfb->WaitForWindow("formmaindalventis");
    ASSERT_FALSE(info.empty()) << "no window on " << xvfb->display() << "; the program said: " << run.Stderr();
    EXPECT_EQ(Field(info, "Absolute upper-left X"), 1213);
    EXPECT_EQ(Field(info, "Absolute upper-left Y"), 437);
    EXPECT_EQ(Field(info, "Width"), 116);
    EXPECT_EQ(Field(info, "Height"), 9);
    xvfb->Run({"import", "-window", "root", "-crop", "400x200+1100+350",
               std::string(PARKTOTALS_E2E_ARTEFACTS) + "/window.png"});
    EXPECT_TRUE(run.Running()) << "the program ended while its update was held";

    central.Release();
    EXPECT_EQ(run.Wait(kGenerousTimeout), 0) << run.Stderr();
    std::vector<std::string> sent = {testing::kSetNoCountOff};
    std::string memo;
    for (const std::string& s : ExpectedStatements()) {
        sent.push_back(Line(s));
        memo += Line(s);
    }
    EXPECT_EQ(Texts(central.batches()), sent);
    EXPECT_EQ(MemoFile(), memo);
}

TEST_F(WindowRunTest, CentralFailureShowsErrorBoxAndWindowStays) {
    ChildProcess run({program}, Options(xvfb->display()));
    const std::string box = xvfb->WaitForWindow("parktotals");
    ASSERT_FALSE(box.empty()) << "no error box titled with the program's name on " << xvfb->display()
                              << "; the program said: " << run.Stderr() << "; Xvfb said: " << xvfb->Errors();
    xvfb->Run({"import", "-window", "root", std::string(PARKTOTALS_E2E_ARTEFACTS) + "/error-box.png"});

    // Dismiss it with the keyboard, as a person at the machine would.
    xvfb->Run({"xdotool", "search", "--name", "^parktotals$", "windowfocus", "--sync", "key", "Return"});
    EXPECT_TRUE(xvfb->WaitForNoWindow("parktotals")) << "the box is still there";

    // The timer fires once. A second tick would come within 500 ms and put
    // up a second box, or end the program: three times that passes quietly.
    EXPECT_TRUE(testing::StaysTrueFor([&] { return run.Running() && xvfb->WindowInfo("parktotals").empty(); },
                                      1500ms))
        << "the program ended or showed another box";
    EXPECT_NE(xvfb->WindowInfo("formmaindalventis"), "") << "the main window stays";
    EXPECT_FALSE(fs::exists(dir / "memo1.txt"));
    run.Kill();
}

// Head office is down and the run waits to try again: closing the window
// ends the run at once, and the report says so.
TEST_F(WindowRunTest, ClosingTheWindowDuringARetryWaitEndsTheRun) {
    ChildProcess run({program, "--retries", "2", "--retry-wait", "3600"}, Options(xvfb->display()));
    ASSERT_FALSE(xvfb->WaitForWindow("formmaindalventis").empty()) << run.Stderr();
    // The first try fails at once on the closed port; give it that moment.
    EXPECT_TRUE(testing::StaysTrueFor([&] { return run.Running(); }, 1500ms)) << run.Stderr();
    ASSERT_TRUE(xvfb->CloseWindow("formmaindalventis"));
    EXPECT_EQ(run.Wait(std::chrono::seconds(10)), 2) << "still waiting, or ended otherwise: " << run.Stderr();
    const std::string report = Read("parktotals.log");
    EXPECT_NE(report.find("Retry 1 of 2 not made: the run was stopped during the wait"), std::string::npos)
        << report;
    EXPECT_NE(report.find("Stopped before its end: the window was closed"), std::string::npos) << report;
    EXPECT_EQ(report.find("Error box"), std::string::npos) << report;
}

} // namespace
} // namespace parktotals
