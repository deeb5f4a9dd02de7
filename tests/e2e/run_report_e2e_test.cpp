// The run report of the built program, headless: what parktotals.log holds
// after a run, and that a report that cannot be written changes nothing
// else about the run.

#include "car_park_folder.h"
#include "standin/standin.h"
#include "support/odbc_drivers.h"
#include "support/process.h"
#include "support/standin_scripts.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "support/xvfb.h"
#include "text/errors.h"
#include "totals/date_key.h"
#include "totals/figures.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <regex>

namespace parktotals {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using standin::Answer;
using standin::Rule;
using standin::Script;
using standin::Value;

Script CentralScript() { return testing::CentralScript(PARKTOTALS_E2E_USER, PARKTOTALS_E2E_PASSWORD); }

// glibc's text for a folder where a file was expected, as the program shows it.
std::string IsADirectory() { return TrimMessageTail(std::strerror(EISDIR)); }

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

class RunReportProgramTest : public ::testing::Test, protected testing::CarParkFolder {
protected:
    RunReportProgramTest() {
        SetRegInfo("Provider=SQLOLEDB.1;Password=pw;User ID=sa;Initial Catalog=parking;"
                   "Data Source=127.0.0.1," + std::to_string(local.port()));
    }
    testing::ProcessResult Run() const { return RunHeadless(); }
    std::string Report() const { return Read("parktotals.log"); }
    std::string Statement(int figure) const {
        return BuildUpdateStatement(figure, testing::kLocalFigureValues[static_cast<std::size_t>(figure)], "208",
                                    YesterdayKey(TodayOnLocalClock()));
    }

    standin::Server local{testing::LocalFiguresScript()};
};

TEST_F(RunReportProgramTest, NormalRunAppendsOneBlockToTheReport) {
    standin::Server central(CentralScript(), PARKTOTALS_E2E_CENTRAL_PORT);
    dir.Write("parktotals.log", "==== an earlier run\n\n");
    const testing::ProcessResult run = Run();
    ASSERT_EQ(run.exit_code, 0) << run.err;

    const std::vector<std::string> lines = SplitLines(Report());
    ASSERT_EQ(lines.size(), 14u) << Report();
    EXPECT_EQ(lines[0], "==== an earlier run");
    EXPECT_TRUE(std::regex_match(lines[2], std::regex("==== Run of \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d, "
                                                      "parktotals \\d+\\.\\d+\\.\\d+ ====")))
        << lines[2];
    const std::vector<std::string> middle(lines.begin() + 3, lines.begin() + 12);
    EXPECT_EQ(middle, (std::vector<std::string>{
                          "Car park number: 208 (from " + (dir / "bin/weixinconfig.ini") + ")",
                          "Date key: " + YesterdayKey(TodayOnLocalClock()),
                          "Local database: server 127.0.0.1," + std::to_string(local.port()) + ", database parking",
                          "Central database: server 127.0.0.1," + std::to_string(PARKTOTALS_E2E_CENTRAL_PORT) +
                              ", database " PARKTOTALS_E2E_USER "_db",
                          "Figure 1 (day_count_qinfei): sent 17, 1 row changed",
                          "Figure 2 (month_money_yushou): sent 5400, 1 row changed",
                          "Figure 3 (weixin_money_lishi): sent 1234.5, 1 row changed",
                          "Figure 4 (xinjin_money_lishi): sent 0, 1 row changed",
                          "Figure 5 (yichan_money_lishi): sent 86.25, 1 row changed",
                      }));
    EXPECT_TRUE(std::regex_match(lines[12], std::regex("End: exit code 0, all five figures were transferred; "
                                                       "5 of 5 transferred; took \\d+\\.\\d\\d s")))
        << lines[12];
    EXPECT_EQ(lines[13], "");
}

TEST_F(RunReportProgramTest, AbortedRunsReportTheErrorBoxText) {
    // No central server: the run stops at once.
    testing::ProcessResult run = Run();
    EXPECT_EQ(run.exit_code, 1);
    std::vector<std::string> lines = SplitLines(Report());
    ASSERT_EQ(lines.size(), 9u) << Report();
    EXPECT_EQ(lines[5], "Figures: none tried, the central database was not reached");
    EXPECT_EQ(lines[6].substr(0, 62), "End: exit code 1, the run stopped with an error; 0 of 5 transf");
    // The box's text is the driver's message; only its frame is the program's.
    EXPECT_TRUE(std::regex_match(lines[7], std::regex("Error box: .+\\."))) << lines[7];
    EXPECT_FALSE(fs::exists(dir / "memo1.txt"));

    // The figures went, then memo1.txt could not be written.
    standin::Server central(CentralScript(), PARKTOTALS_E2E_CENTRAL_PORT);
    fs::create_directory(dir.path() / "memo1.txt");
    run = Run();
    EXPECT_EQ(run.exit_code, 1);
    lines = SplitLines(Report());
    ASSERT_EQ(lines.size(), 9u + 13u) << Report();
    EXPECT_EQ(lines[9 + 9], "Figure 5 (yichan_money_lishi): sent 86.25, 1 row changed");
    EXPECT_EQ(lines[9 + 10].substr(0, 73), "End: exit code 1, the run stopped with an error; 5 of 5 transferred; took");
    EXPECT_EQ(lines[9 + 11], "Error box: Cannot create file \"" + (dir / "memo1.txt") + "\". " + IsADirectory() + ".");
}

TEST_F(RunReportProgramTest, HeadlessRunNamesWhatWasNotTransferredOnStderr) {
    Script script = CentralScript();
    script.rules.insert(script.rules.begin(),
                        {Rule::Regex("update T_kextotal set weixin_money_lishi[\\s\\S]*",
                                     Answer::Error(245, "Conversion failed when converting the varchar value.")),
                         Rule::Regex("update T_kextotal set yichan_money_lishi[\\s\\S]*", Answer::RowCount(0))});
    standin::Server central(script, PARKTOTALS_E2E_CENTRAL_PORT);
    fs::remove(dir.path() / "bin" / "weixinconfig.ini");
    const testing::ProcessResult run = Run();
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "parktotals: car park number 1 is only the default: " + (dir / "bin/weixinconfig.ini") +
                           " not found; the figures went to car park 1's row at head office\n"
                           "parktotals: figure 3 (weixin_money_lishi) not transferred: refused by the central "
                           "server: Conversion failed when converting the varchar value (SQLSTATE 22018, error 245)\n"
                           "parktotals: figure 5 (yichan_money_lishi) not transferred: matched no row\n");
    // Standard output carries the accepted statements only.
    std::string printed;
    for (const int i : {0, 1, 3, 4})
        printed += BuildUpdateStatement(i, testing::kLocalFigureValues[static_cast<std::size_t>(i)], "1",
                                        YesterdayKey(TodayOnLocalClock())) + "\n";
    EXPECT_EQ(run.out, printed);
}

// Under a Chinese display language the program's own words are Chinese;
// column names, numbers and what the server said stay as they came. Under
// English none of its own words are.
TEST_F(RunReportProgramTest, ReportAndNoticesSpeakTheDisplayLanguage) {
    const auto run_with = [&](const std::string& lang, const std::string& server_says) {
        Script script = CentralScript();
        script.rules.insert(script.rules.begin(), Rule::Regex("update T_kextotal set weixin_money_lishi[\\s\\S]*",
                                                              Answer::Error(245, server_says)));
        standin::Server central(script, PARKTOTALS_E2E_CENTRAL_PORT);
        fs::remove(dir.path() / "parktotals.log");
        testing::ProcessOptions options = Options();
        options.environment["LANG"] = lang;
        const testing::ProcessResult run = testing::RunProcess({program}, options, testing::kGenerousTimeout);
        EXPECT_EQ(run.exit_code, 2);
        return run;
    };
    const auto has_cjk = [](const std::string& text) {
        return text.find("\xE6") != std::string::npos || text.find("\xE7") != std::string::npos ||
               text.find("\xE5") != std::string::npos || text.find("\xE4") != std::string::npos;
    };
    const auto without = [](std::string text, const std::string& part) {
        for (std::size_t at; (at = text.find(part)) != std::string::npos;) text.erase(at, part.size());
        return text;
    };

    const std::string english_server = "Conversion failed when converting the varchar value";
    testing::ProcessResult run = run_with("zh_CN.UTF-8", english_server + ".");
    std::vector<std::string> lines = SplitLines(Report());
    ASSERT_EQ(lines.size(), 12u) << Report();
    for (const std::string& line : lines) {
        if (!line.empty()) EXPECT_TRUE(has_cjk(line)) << "not Chinese: " << line;
    }
    EXPECT_NE(lines[7].find("weixin_money_lishi"), std::string::npos) << lines[7];
    EXPECT_NE(lines[7].find(english_server), std::string::npos) << lines[7];
    EXPECT_NE(lines[7].find("SQLSTATE 22018"), std::string::npos) << lines[7];
    EXPECT_NE(lines[2].find("208"), std::string::npos) << "the car park number stays";
    ASSERT_EQ(SplitLines(run.err).size(), 1u) << run.err;
    EXPECT_TRUE(has_cjk(without(run.err, english_server))) << run.err;
    EXPECT_NE(run.err.find("weixin_money_lishi"), std::string::npos) << run.err;

    const std::string chinese_server = "从数据类型 varchar 转换为 money 时出错";
    run = run_with("en_US.UTF-8", chinese_server + "。");
    EXPECT_FALSE(has_cjk(without(Report(), chinese_server))) << Report();
    EXPECT_NE(Report().find(chinese_server), std::string::npos) << "the server's words pass unchanged";
    EXPECT_FALSE(has_cjk(without(run.err, chinese_server))) << run.err;
}

TEST_F(RunReportProgramTest, UnwritableReportChangesNothingElse) {
    standin::Server central(CentralScript(), PARKTOTALS_E2E_CENTRAL_PORT);
    fs::create_directory(dir.path() / "parktotals.log");
    const testing::ProcessResult run = Run();
    EXPECT_EQ(run.exit_code, 0);
    std::string memo, printed;
    for (int i = 0; i < kFigureCount; ++i) {
        memo += Statement(i) + "\r\n";
        printed += Statement(i) + "\n";
    }
    EXPECT_EQ(testing::ReadBytes(dir / "memo1.txt"), memo);
    EXPECT_EQ(run.out, printed);
    EXPECT_EQ(run.err, "parktotals: the run report parktotals.log could not be written: " + IsADirectory() + "\n");
    EXPECT_EQ(central.batches().size(), 6u);
}

// A server's message that tries to end the block and start one of its own
// stays on its figure's line, in the report and on stderr, and its escape
// codes never reach the terminal.
TEST_F(RunReportProgramTest, ForgedServerMessageCannotStartALine) {
    Script script = CentralScript();
    script.rules.insert(script.rules.begin(),
                        Rule::Regex("update T_kextotal set weixin_money_lishi[\\s\\S]*",
                                    Answer::Error(50000, "Deadlock\n==== Run of 2099-01-01 00:00:00, parktotals "
                                                         "9.9.9 ====\r\nEnd: exit code 0\x1b[2J\x07 retry")));
    standin::Server central(script, PARKTOTALS_E2E_CENTRAL_PORT);
    const testing::ProcessResult run = Run();
    EXPECT_EQ(run.exit_code, 2);
    const std::string escaped = "Deadlock\\n==== Run of 2099-01-01 00:00:00, parktotals 9.9.9 ====\\r\\nEnd: exit "
                                "code 0\\x1b[2J\\x07 retry (SQLSTATE 42000, error 50000)";
    const std::vector<std::string> lines = SplitLines(Report());
    ASSERT_EQ(lines.size(), 12u) << Report();
    EXPECT_EQ(lines[7], "Figure 3 (weixin_money_lishi): sent 1234.5, refused by the central server: " + escaped);
    EXPECT_EQ(run.err, "parktotals: figure 3 (weixin_money_lishi) not transferred: refused by the central server: " +
                           escaped + "\n");
}

TEST_F(RunReportProgramTest, FullReportDropsItsOldestRunsAndKeepsTheNewest) {
    standin::Server central(CentralScript(), PARKTOTALS_E2E_CENTRAL_PORT);
    // 1 MiB of earlier runs, 100 KiB each but the last.
    std::string earlier;
    for (int i = 0; earlier.size() < 1024 * 1024; ++i)
        earlier += "==== run " + std::to_string(i) + "\n" + std::string(100 * 1024, 'x') + "\n\n";
    earlier.resize(1024 * 1024 - 2);
    earlier += "\n\n";
    dir.Write("parktotals.log", earlier);

    const testing::ProcessResult run = Run();
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::string report = Report();
    EXPECT_LE(report.size(), 1024u * 1024);
    EXPECT_GT(report.size(), 900u * 1024);
    EXPECT_EQ(report.rfind("==== run 1\n", 0), 0u) << "run 0 went, whole";
    const std::size_t newest = report.rfind("==== Run of ");
    ASSERT_NE(newest, std::string::npos);
    EXPECT_EQ(report.substr(report.size() - 2), "\n\n");
    EXPECT_NE(report.find("Figure 5 (yichan_money_lishi): sent 86.25, 1 row changed", newest), std::string::npos);
}

// With a window nobody reads a notice: a report that cannot be written is
// told in the error box, and the run does not count as a good one.
TEST_F(RunReportProgramTest, WindowedRunThatCannotWriteItsReportSaysSoAndEndsWith2) {
    const std::string missing = testing::Xvfb::MissingTools();
    if (!missing.empty()) GTEST_SKIP() << "needs on PATH: " << missing << " (scripts/test installs them)";
    const testing::Xvfb xvfb;
    ASSERT_TRUE(xvfb.ok()) << "Xvfb did not start: " << xvfb.Errors();
    standin::Server central(CentralScript(), PARKTOTALS_E2E_CENTRAL_PORT);
    fs::create_directory(dir.path() / "parktotals.log");
    testing::ChildProcess run({program}, Options(xvfb.display()));
    ASSERT_FALSE(xvfb.WaitForWindow("parktotals").empty())
        << "no error box; the program said: " << run.Stderr() << "; Xvfb said: " << xvfb.Errors();
    EXPECT_TRUE(xvfb.WindowInfo("formmaindalventis").empty()) << "the run's own window has closed";
    xvfb.Run({"xdotool", "search", "--name", "^parktotals$", "windowfocus", "--sync", "key", "Return"});
    EXPECT_EQ(run.Wait(testing::kGenerousTimeout), 2) << run.Stderr();
    EXPECT_EQ(central.batches().size(), 6u) << "the session's set-up and the five updates";
}

} // namespace
} // namespace parktotals
