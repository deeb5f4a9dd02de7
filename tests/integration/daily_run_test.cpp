// The nightly job on the real gateway: unixODBC + FreeTDS against a local
// and a central stand-in.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "integration/gateway_support.h"
#include "support/daily_totals_shortcuts.h"
#include "support/temp_dir.h"
#include "totals/figures.h"
#include "totals/memo.h"

namespace parktotals {
namespace {

using standin::Answer;
using standin::Rule;
using standin::Script;
using standin::Server;
using testing::kLocalFigureValues;
using testing::Line;
using testing::Rules;
using testing::Texts;

std::string FileOf(const std::vector<std::string>& statements) {
    std::string bytes;
    for (const std::string& statement : statements) bytes += Line(statement);
    return bytes;
}

class DailyRunTest : public ::testing::Test {
protected:
    DailyRunTest() {
        settings.park_config_path = dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=42\r\n");
        settings.memo_path = dir / "memo1.txt";
        settings.nights_path = dir / "transferred-nights.txt";
        settings.today = [] { return LocalDate{2026, 3, 1}; };
        memo.AppendLine("Memo1"); // the memo's design-time text, which a run clears
    }

    // Every update accepted except where `answers` says otherwise.
    static Script CentralScript(std::map<int, Answer> answers = {}) {
        std::vector<Rule> rules;
        for (int i = 0; i < kFigureCount; ++i) {
            const auto special = answers.find(i);
            rules.push_back(Rule::Exact(Line(Expected(i)),
                                        special == answers.end() ? Answer::RowCount(1) : special->second));
        }
        Script script = Rules(std::move(rules));
        script.fallback = Answer::Error(50000, "unexpected statement");
        return script;
    }

    static std::string Expected(int figure) {
        return BuildUpdateStatement(figure, kLocalFigureValues[figure], "42", "20260228");
    }

    // The session set-up and all five updates as the central server
    // receives them.
    static std::vector<std::string> AllSent() {
        std::vector<std::string> sent = {testing::kSetNoCountOff};
        for (int i = 0; i < kFigureCount; ++i) sent.push_back(Line(Expected(i)));
        return sent;
    }

    Outcome Run(std::uint16_t local_port) {
        form.gateway.SetUpLocalConnection(
            dir.Write("RegInfo.INI", testing::LocalConnectionString(local_port) + "\r\n"));
        return RunDailyTotals(form.gateway, memo, settings);
    }

    std::string MemoFile() const { return testing::ReadBytes(settings.memo_path); }

    testing::TempDir dir;
    JobSettings settings;
    Memo memo;
    Server local{testing::LocalFiguresScript()};
    Server central{CentralScript()};
    testing::FormComponents form{testing::CentralString(central.port())};
};

TEST_F(DailyRunTest, CompleteRunSendsLogsAndSavesAllFiveUpdates) {
    EXPECT_EQ(Run(local.port()), Outcome::AllTransferred);

    EXPECT_EQ(Texts(central.batches()), AllSent());
    const std::vector<std::string> statements = {Expected(0), Expected(1), Expected(2), Expected(3), Expected(4)};
    EXPECT_EQ(memo.Lines(), statements);
    EXPECT_EQ(MemoFile(), FileOf(statements));
    EXPECT_EQ(local.batches().size(), 5u);
    EXPECT_EQ(local.logins().size(), 1u);
    EXPECT_EQ(central.logins().size(), 1u);
    EXPECT_FALSE(form.gateway.IsCentralOpen());
}

TEST_F(DailyRunTest, UpdateRefusedByTheCentralServerIsLeftOutAndTheRestStillGo) {
    central.SetScript(CentralScript({{2, Answer::Error(515, "Cannot insert the value NULL into column "
                                                            "'weixin_money_lishi'.")}}));
    EXPECT_EQ(Run(local.port()), Outcome::Incomplete);

    EXPECT_EQ(Texts(central.batches()), AllSent());
    const std::vector<std::string> accepted = {Expected(0), Expected(1), Expected(3), Expected(4)};
    EXPECT_EQ(memo.Lines(), accepted);
    EXPECT_EQ(MemoFile(), FileOf(accepted));
    EXPECT_EQ(central.logins().size(), 1u);
}

TEST_F(DailyRunTest, UnreachableLocalServerSendsNothingAndSavesAnEmptyMemo) {
    const testing::ClosedPort closed;
    EXPECT_EQ(Run(closed.port()), Outcome::Incomplete);

    EXPECT_EQ(Texts(central.batches()), std::vector<std::string>{testing::kSetNoCountOff});
    EXPECT_TRUE(memo.Lines().empty());
    ASSERT_TRUE(std::filesystem::exists(settings.memo_path));
    EXPECT_EQ(std::filesystem::file_size(settings.memo_path), 0u);
    EXPECT_EQ(central.logins().size(), 1u);
    EXPECT_FALSE(form.gateway.IsCentralOpen());
}

TEST_F(DailyRunTest, UpdateLostWithItsConnectionIsLeftOutAndTheRestReconnect) {
    central.SetScript(CentralScript({{2, Answer::Drop()}}));
    EXPECT_EQ(Run(local.port()), Outcome::Incomplete);

    // The new session asks for row counts again before the next update.
    std::vector<std::string> sent = AllSent();
    sent.insert(sent.begin() + 4, testing::kSetNoCountOff);
    const auto batches = central.batches();
    EXPECT_EQ(Texts(batches), sent);
    const auto logins = central.logins();
    ASSERT_EQ(logins.size(), 2u);
    ASSERT_EQ(batches.size(), 7u);
    EXPECT_EQ(batches[3].connection, logins[0].connection);
    EXPECT_EQ(batches[4].connection, logins[1].connection);

    const std::vector<std::string> accepted = {Expected(0), Expected(1), Expected(3), Expected(4)};
    EXPECT_EQ(memo.Lines(), accepted);
    EXPECT_EQ(MemoFile(), FileOf(accepted));
    EXPECT_FALSE(form.gateway.IsCentralOpen());
}

} // namespace
} // namespace parktotals
