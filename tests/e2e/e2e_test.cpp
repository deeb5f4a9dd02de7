// The built program run as a car park's scheduler would run it: a working
// folder holding RegInfo.INI, the program with weixinconfig.ini beside it,
// and stand-ins for the local and the central database.

#include "standin/standin.h"
#include "support/network.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "totals/date_key.h"
#include "totals/figures.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <thread>


namespace parktotals {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using standin::Answer;
using standin::Rule;
using standin::Script;
using standin::Value;
using testing::ChildProcess;
using testing::ClosedPort;
using testing::ProcessOptions;

constexpr std::uint16_t kCentralPort = PARKTOTALS_E2E_CENTRAL_PORT;

// The local database of a car park with a day of figures.
Script LocalScript() {
    Script script;
    const Answer answers[kFigureCount] = {
        Answer::Scalar(Value::Int(17)), Answer::Scalar(Value::Money("5400")),
        Answer::Scalar(Value::Money("1234.5")), Answer::Scalar(Value::Null(standin::SqlType::Money)),
        Answer::Scalar(Value::Money("86.25"))};
    for (int i = 0; i < kFigureCount; ++i)
        script.rules.push_back(Rule::Exact(std::string(kFigures[i].query) + "\r\n", answers[i]));
    script.fallback = Answer::Error(208, "Invalid object name 'x'.");
    return script;
}
const char* const kLocalValues[kFigureCount] = {"17", "5400", "1234.5", "0", "86.25"};

Script CentralScript() {
    Script script;
    script.accounts[PARKTOTALS_E2E_USER] = PARKTOTALS_E2E_PASSWORD;
    script.rules.push_back(Rule::Regex("update T_kextotal set [\\s\\S]*", Answer::RowCount(1)));
    script.fallback = Answer::Error(208, "Invalid object name 'x'.");
    return script;
}

std::vector<std::string> Updates(const standin::Server& server) {
    std::vector<std::string> texts;
    for (const standin::Batch& b : server.batches()) texts.push_back(b.text);
    return texts;
}

std::string Yesterday() { return YesterdayKey(TodayOnLocalClock()); }

// A car park's folder: the working directory with RegInfo.INI, and bin/ with
// the program and weixinconfig.ini.
class ProgramRunTest : public ::testing::Test {
protected:
    ProgramRunTest() {
        fs::create_directory(dir.path() / "bin");
        SetProgramName("parktotals");
        SetParkNumber("208");
        SetLocalPort(local.port());
    }

    void SetProgramName(const std::string& name) {
        if (!program.empty()) fs::remove(program);
        program = (dir.path() / "bin" / name).string();
        fs::copy_file(PARKTOTALS_E2E_PROGRAM, program, fs::copy_options::overwrite_existing);
    }
    void SetParkNumber(const std::string& number) {
        dir.Write("bin/weixinconfig.ini", "[code]\r\njov_park_id=" + number + "\r\n");
    }
    void SetLocalPort(std::uint16_t port) {
        dir.Write("RegInfo.INI", "Provider=SQLOLEDB.1;Password=pw;Persist Security Info=True;User ID=sa;"
                                 "Initial Catalog=parking;Data Source=127.0.0.1," +
                                     std::to_string(port) + "\r\n");
    }
    std::vector<std::string> ExpectedStatements(const std::string& park = "208") const {
        std::vector<std::string> s;
        for (int i = 0; i < kFigureCount; ++i) s.push_back(BuildUpdateStatement(i, kLocalValues[i], park, Yesterday()));
        return s;
    }
    ProcessOptions Options(std::optional<std::string> display = std::nullopt) const {
        ProcessOptions o;
        o.working_directory = dir.path().string();
        o.environment["DISPLAY"] = display;
        return o;
    }
    testing::ProcessResult RunHeadless() const { return testing::RunProcess({program}, Options(), 30s); }
    std::string MemoFile() const { return testing::ReadBytes(dir / "memo1.txt"); }

    testing::TempDir dir;
    std::string program;
    standin::Server local{LocalScript()};
};

class HeadlessRunTest : public ProgramRunTest {
protected:
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
    std::vector<std::string> sent;
    for (const std::string& s : expected) {
        memo += s + "\r\n";
        printed += s + "\n";
        sent.push_back(s + "\r\n");
    }
    EXPECT_EQ(Updates(central), sent);
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
    SetLocalPort(ClosedPort());
    const testing::ProcessResult run = RunHeadless();
    EXPECT_EQ(run.exit_code, 2) << run.err;
    EXPECT_TRUE(Updates(central).empty());
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
    for (const std::string& s : Updates(central)) EXPECT_NE(s.find("kex_no='1' and"), std::string::npos) << s;
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
    EXPECT_EQ(Updates(central).size(), 5u);
}

TEST_F(HeadlessRunTest, UncreatableMemoFileAbortsWithItsPath) {
    fs::create_directory(dir.path() / "memo1.txt");
    const testing::ProcessResult run = RunHeadless();
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "parktotals: Cannot create file \"" + (dir / "memo1.txt") + "\". Is a directory.\n");
    EXPECT_EQ(Updates(central).size(), 5u) << "the figures went through before the file failed";
}

TEST_F(HeadlessRunTest, DateKeyOnFirstOfJanuaryNamesNewYearsEve) {
    if (!fs::exists("/usr/bin/faketime")) GTEST_SKIP() << "needs faketime (scripts/test installs it)";
    const testing::ProcessResult run =
        testing::RunProcess({"/usr/bin/faketime", "2027-01-01 00:00:10", program}, Options(), 30s);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> sent = Updates(central);
    ASSERT_EQ(sent.size(), 5u);
    for (const std::string& s : sent) EXPECT_NE(s.find("day(siji)='20261231'"), std::string::npos) << s;
}

// No central stand-in at all: its port is closed.
using CentralDownTest = ProgramRunTest;

TEST_F(CentralDownTest, HeadlessRunReportsFailureAndKeepsOlderMemo) {
    SetProgramName("MyJob.Daily.EXE");
    dir.Write("memo1.txt", "yesterday's run\r\n");
    const testing::ProcessResult run = RunHeadless();
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "Myjob: Unable to connect: Adaptive Server is unavailable or does not exist.\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(MemoFile(), "yesterday's run\r\n");
    EXPECT_TRUE(local.batches().empty()) << "no figure is computed";
}

// A virtual display for the window tests, with no window manager.
class Xvfb {
public:
    // Xvfb picks a free display itself (-displayfd) and says which.
    Xvfb()
        : server_({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1600x1000x24", "-nolisten", "tcp"},
                  ProcessOptions{}) {
        for (int i = 0; i < 200 && server_.Running(); ++i) {
            const std::string out = server_.Stdout();
            if (!out.empty() && out.back() == '\n') {
                display_ = ":" + out.substr(0, out.size() - 1);
                return;
            }
            std::this_thread::sleep_for(25ms);
        }
    }
    // A killed Xvfb leaves its socket and lock file behind; a terminated
    // one cleans up.
    ~Xvfb() {
        server_.Signal(SIGTERM);
        server_.Wait(5s);
    }
    bool ok() const { return !display_.empty(); }
    const std::string& display() const { return display_; }
    std::string Errors() const { return server_.Stderr(); }

    // xwininfo's report on the first window with this exact name, or "".
    std::string WindowInfo(const std::string& name) const {
        ProcessOptions o;
        o.environment["DISPLAY"] = display_;
        const auto found = testing::RunProcess({"/usr/bin/xdotool", "search", "--name", "^" + name + "$"}, o, 5s);
        if (found.exit_code != 0 || found.out.empty()) return "";
        const std::string id = found.out.substr(0, found.out.find('\n'));
        return testing::RunProcess({"/usr/bin/xwininfo", "-id", id}, o, 5s).out;
    }
    std::string WaitForWindow(const std::string& name, std::chrono::milliseconds timeout) const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const std::string info = WindowInfo(name);
            if (!info.empty() || std::chrono::steady_clock::now() > deadline) return info;
            std::this_thread::sleep_for(50ms);
        }
    }
    void Run(const std::vector<std::string>& argv) const {
        ProcessOptions o;
        o.environment["DISPLAY"] = display_;
        testing::RunProcess(argv, o, 10s);
    }

private:
    std::string display_;
    ChildProcess server_;
};

int Field(const std::string& xwininfo, const std::string& label) {
    std::smatch m;
    if (!std::regex_search(xwininfo, m, std::regex(label + ":\\s*(-?\\d+)"))) return -1;
    return std::stoi(m[1]);
}

class WindowRunTest : public ProgramRunTest {
protected:
    void SetUp() override {
        if (!fs::exists("/usr/bin/Xvfb")) GTEST_SKIP() << "needs Xvfb (scripts/test installs it)";
        ASSERT_TRUE(xvfb.ok()) << "Xvfb did not start: " << xvfb.Errors();
        fs::create_directories(PARKTOTALS_E2E_ARTEFACTS);
    }
    Xvfb xvfb;
};

TEST_F(WindowRunTest, WindowShowsAtItsPlaceThenClosesByItself) {
    standin::Server central{CentralScript(), kCentralPort};
    ChildProcess run({program}, Options(xvfb.display()));
    const std::string info = xvfb.WaitForWindow("formmaindalventis", 5s);
    ASSERT_FALSE(info.empty()) << "no window";
    EXPECT_EQ(Field(info, "Absolute upper-left X"), 1213);
    EXPECT_EQ(Field(info, "Absolute upper-left Y"), 437);
    EXPECT_EQ(Field(info, "Width"), 116);
    EXPECT_EQ(Field(info, "Height"), 9);
    xvfb.Run({"/usr/bin/import", "-window", "root", "-crop", "400x200+1100+350",
              std::string(PARKTOTALS_E2E_ARTEFACTS) + "/window.png"});

    EXPECT_EQ(run.Wait(10s), 0) << run.Stderr();
    EXPECT_EQ(Updates(central).size(), 5u);
    EXPECT_EQ(MemoFile().size(), [&] {
        std::size_t n = 0;
        for (const std::string& s : ExpectedStatements()) n += s.size() + 2;
        return n;
    }());
}

TEST_F(WindowRunTest, CentralFailureShowsErrorBoxAndWindowStays) {
    ChildProcess run({program}, Options(xvfb.display()));
    const std::string box = xvfb.WaitForWindow("parktotals", 10s);
    ASSERT_FALSE(box.empty()) << "no error box titled with the program's name";
    xvfb.Run({"/usr/bin/import", "-window", "root", std::string(PARKTOTALS_E2E_ARTEFACTS) + "/error-box.png"});

    // Dismiss it with the keyboard, as a person at the machine would.
    xvfb.Run({"/usr/bin/xdotool", "search", "--name", "^parktotals$", "windowfocus", "--sync", "key", "Return"});
    for (int i = 0; i < 100 && !xvfb.WindowInfo("parktotals").empty(); ++i) std::this_thread::sleep_for(50ms);
    EXPECT_EQ(xvfb.WindowInfo("parktotals"), "") << "the box is gone";

    std::this_thread::sleep_for(700ms);
    EXPECT_TRUE(run.Running()) << "the program waits to be closed";
    EXPECT_NE(xvfb.WindowInfo("formmaindalventis"), "") << "the main window stays";
    EXPECT_FALSE(fs::exists(dir / "memo1.txt"));
    run.Kill();
}

} // namespace
} // namespace parktotals
