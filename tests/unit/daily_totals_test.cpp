#include "support/daily_totals_shortcuts.h"
#include "support/fake_gateway.h"
#include "support/temp_dir.h"
#include "text/errors.h"
#include "totals/figures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>


namespace parktotals {
namespace {

using testing::FakeGateway;

// The C library's reason for opening a folder as a file, trimmed the
// program's way.
std::string IsADirectory() { return TrimMessageTail(std::strerror(EISDIR)); }

class DailyTotalsTest : public ::testing::Test {
protected:
    DailyTotalsTest() {
        settings.park_config_path = dir / "weixinconfig.ini";
        settings.memo_path = dir / "memo1.txt";
        settings.nights_path = dir / "transferred-nights.txt";
        settings.today = [] { return LocalDate{2026, 3, 1}; };
        dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=42\r\n");
        memo.AppendLine("Memo1");
    }

    std::string Expected(int figure, const std::string& value) const {
        return BuildUpdateStatement(figure, value, "42", "20260228");
    }
    std::string MemoFile() const { return testing::ReadBytes(settings.memo_path); }
    bool MemoFileExists() const { return std::filesystem::exists(settings.memo_path); }
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    testing::TempDir dir;
    JobSettings settings;
    FakeGateway gateway;
    Memo memo;
};

TEST_F(DailyTotalsTest, NormalRunSendsLogsAndSavesAllFive) {
    gateway.local[1] = {true, "1234.5"};
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings), Outcome::AllTransferred);

    const std::vector<std::string> expected = {Expected(0, "10"), Expected(1, "1234.5"), Expected(2, "10"),
                                               Expected(3, "10"), Expected(4, "10")};
    EXPECT_EQ(gateway.executed, expected);
    EXPECT_EQ(memo.Lines(), expected);
    EXPECT_EQ(MemoFile(), expected[0] + "\r\n" + expected[1] + "\r\n" + expected[2] + "\r\n" + expected[3] +
                              "\r\n" + expected[4] + "\r\n");
    EXPECT_EQ(gateway.calls, (std::vector<std::string>{"open", "query 1", "exec 1", "query 2", "exec 2",
                                                        "query 3", "exec 3", "query 4", "exec 4", "query 5",
                                                        "exec 5", "close"}));
}

TEST_F(DailyTotalsTest, NullAggregateSendsZero) {
    gateway.local[2] = {true, ""};
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings), Outcome::AllTransferred);
    EXPECT_EQ(gateway.executed[2], Expected(2, "0"));
}

TEST_F(DailyTotalsTest, FailedLocalQuerySkipsOnlyThatFigure) {
    gateway.local[0] = {false, ""};
    gateway.local[3] = {false, ""};
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings), Outcome::Incomplete);
    const std::vector<std::string> expected = {Expected(1, "10"), Expected(2, "10"), Expected(4, "10")};
    EXPECT_EQ(gateway.executed, expected);
    EXPECT_EQ(memo.Lines(), expected);
}

TEST_F(DailyTotalsTest, LocalDatabaseUnreachableSendsNothingAndWritesEmptyFile) {
    for (int i = 0; i < kFigureCount; ++i) gateway.local[i] = {false, ""};
    dir.Write("memo1.txt", "yesterday's statements\r\n");
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings), Outcome::Incomplete);
    EXPECT_TRUE(gateway.executed.empty());
    EXPECT_TRUE(memo.Lines().empty());
    EXPECT_TRUE(MemoFileExists());
    EXPECT_EQ(MemoFile(), "");
}

TEST_F(DailyTotalsTest, RejectedUpdateIsNotLoggedAndTheOthersGoOn) {
    gateway.reject[2] = "Invalid column name 'weixin_money_lishi'";
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings), Outcome::Incomplete);
    EXPECT_EQ(gateway.executed.size(), 5u);
    const std::vector<std::string> expected = {Expected(0, "10"), Expected(1, "10"), Expected(3, "10"),
                                               Expected(4, "10")};
    EXPECT_EQ(memo.Lines(), expected);
    EXPECT_EQ(MemoFile(), expected[0] + "\r\n" + expected[1] + "\r\n" + expected[2] + "\r\n" + expected[3] + "\r\n");
}

// A window that cannot show a line (out of memory, say) must not turn an
// update the central server accepted into one that counts as skipped.
TEST_F(DailyTotalsTest, AcceptedUpdateCountsAndIsSavedEvenWhenTheMemoViewFails) {
    struct FailingView : Memo::View {
        void MemoCleared() override {}
        void MemoLineAppended(const std::string&) override { throw std::runtime_error("view failed"); }
    } view;
    memo.SetView(&view);
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings), Outcome::AllTransferred);
    const std::vector<std::string> expected = {Expected(0, "10"), Expected(1, "10"), Expected(2, "10"),
                                               Expected(3, "10"), Expected(4, "10")};
    EXPECT_EQ(memo.Lines(), expected);
    EXPECT_EQ(MemoFile(), expected[0] + "\r\n" + expected[1] + "\r\n" + expected[2] + "\r\n" + expected[3] +
                              "\r\n" + expected[4] + "\r\n");
}

TEST_F(DailyTotalsTest, QuoteInParkNumberIsDoubledNotFatal) {
    dir.Write("weixinconfig.ini", "[code]\njov_park_id=O'Brien\n");
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings), Outcome::AllTransferred);
    ASSERT_EQ(gateway.executed.size(), 5u);
    EXPECT_NE(gateway.executed[4].find("kex_no='O''Brien'"), std::string::npos);
}

TEST_F(DailyTotalsTest, MissingConfigMeansParkOne) {
    std::filesystem::remove(settings.park_config_path);
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings), Outcome::AllTransferred);
    EXPECT_NE(gateway.executed[0].find("kex_no='1' and"), std::string::npos);
}

TEST_F(DailyTotalsTest, CentralOpenFailureAbortsBeforeAnythingIsWritten) {
    gateway.open_error = "SQL Server does not exist or access denied";
    dir.Write("memo1.txt", "older run\r\n");
    try {
        RunDailyTotals(gateway, memo, settings);
        FAIL() << "no error";
    } catch (const UserError& e) {
        EXPECT_STREQ(e.what(), "SQL Server does not exist or access denied");
    }
    EXPECT_EQ(gateway.calls, std::vector<std::string>{"open"});
    EXPECT_TRUE(memo.Lines().empty()) << "the memo is cleared first";
    EXPECT_EQ(MemoFile(), "older run\r\n");
}

TEST_F(DailyTotalsTest, CentralNotOpenEndsQuietlyWithoutFile) {
    gateway.opens = false;
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings), Outcome::Incomplete);
    EXPECT_EQ(gateway.calls, std::vector<std::string>{"open"});
    EXPECT_TRUE(memo.Lines().empty());
    EXPECT_FALSE(MemoFileExists());
}

TEST_F(DailyTotalsTest, CloseFailureAbortsWithMemoFilledButNoFile) {
    gateway.close_error = "Connection is busy";
    dir.Write("memo1.txt", "older run\r\n");
    EXPECT_THROW(RunDailyTotals(gateway, memo, settings), UserError);
    EXPECT_EQ(memo.Lines().size(), 5u);
    EXPECT_EQ(MemoFile(), "older run\r\n");
}

TEST_F(DailyTotalsTest, UnwritableMemoFileNamesFullPathAndReason) {
    std::filesystem::create_directory(settings.memo_path);
    try {
        RunDailyTotals(gateway, memo, settings);
        FAIL() << "no error";
    } catch (const UserError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + settings.memo_path + "\". " + IsADirectory());
    }
    EXPECT_EQ(gateway.calls.back(), "close");
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"memo1.txt", "parktotals.lock", "transferred-nights.txt", "weixinconfig.ini"})) << "no file left behind";
}

// The new text goes in beside the old file and replaces it in one step: a
// reader that opened the old file (or a second copy of the program) sees
// one run's text whole, never a mix, and nothing is left beside it.
TEST_F(DailyTotalsTest, MemoFileIsReplacedWholeNotRewrittenInPlace) {
    dir.Write("memo1.txt", "older run\r\n");
    std::ifstream old_reader(settings.memo_path, std::ios::binary);
    ASSERT_TRUE(old_reader);
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings), Outcome::AllTransferred);
    const std::string old_text(std::istreambuf_iterator<char>(old_reader), {});
    EXPECT_EQ(old_text, "older run\r\n");
    EXPECT_EQ(MemoFile().substr(0, Expected(0, "10").size() + 2), Expected(0, "10") + "\r\n");
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"memo1.txt", "parktotals.lock", "transferred-nights.txt", "weixinconfig.ini"}));
}

// What a run that crashed before its rename left goes with the next run;
// a file whose process still runs stays.
TEST_F(DailyTotalsTest, NewFileLeftByACrashedRunIsRemovedByTheNext) {
    // No process ever has this id; process 1 always runs.
    const std::string crashed = dir.Write("memo1.txt.2147483647.0.tmp", "half a r");
    const std::string running = dir.Write("memo1.txt.1.0.tmp", "being writ");
    for (const std::string& file : {crashed, running})
        std::filesystem::last_write_time(file, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(5));
    EXPECT_EQ(RunDailyTotals(gateway, memo, settings), Outcome::AllTransferred);
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"memo1.txt", "memo1.txt.1.0.tmp", "parktotals.lock", "transferred-nights.txt", "weixinconfig.ini"}));
}

TEST_F(DailyTotalsTest, RelativeMemoPathIsReportedInFull) {
    std::filesystem::create_directory(dir.path() / "memo1.txt");
    settings.memo_path = "memo1.txt";
    testing::WorkingDirectory cd(dir.path());
    try {
        RunDailyTotals(gateway, memo, settings);
        FAIL() << "no error";
    } catch (const UserError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + std::filesystem::current_path().string() + "/memo1.txt\". " +
                      IsADirectory());
    }
}

TEST_F(DailyTotalsTest, FullDiskIsAStreamWriteError) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "needs /dev/full";
    settings.memo_path = "/dev/full";
    try {
        RunDailyTotals(gateway, memo, settings);
        FAIL() << "no error";
    } catch (const UserError& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
}

} // namespace
} // namespace parktotals
