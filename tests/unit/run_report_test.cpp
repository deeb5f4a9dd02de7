// What a run keeps to say how it went: each figure's outcome with its
// reason, and where the car park number came from.

#include "support/fake_gateway.h"
#include "support/temp_dir.h"
#include "totals/daily_totals.h"
#include "totals/figures.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace parktotals {
namespace {

using testing::FakeGateway;

class JobRecordTest : public ::testing::Test {
protected:
    JobRecordTest() {
        settings.park_config_path = dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=42\r\n");
        settings.memo_path = dir / "memo1.txt";
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
    const auto& f = record.figures;
    EXPECT_EQ(f[0].status, FigureStatus::Transferred);
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
    EXPECT_EQ(record.TransferredCount(), 2);

    // The update that matched no row was accepted, so it is logged.
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

TEST_F(JobRecordTest, AbortedRunTellsHowFarItGot) {
    gateway.open_error = "Unable to connect";
    EXPECT_THROW(RunDailyTotals(gateway, memo, settings, record), UserError);
    EXPECT_FALSE(record.figures_started);
    for (const FigureRecord& figure : record.figures) EXPECT_EQ(figure.status, FigureStatus::NotTried);

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

} // namespace
} // namespace parktotals
