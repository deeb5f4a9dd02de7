#include "app/app_title.h"
#include "app/application.h"
#include "app/command_line.h"
#include "db/central_connection.h"
#include "support/fake_gateway.h"
#include "support/temp_dir.h"
#include "text/errors.h"

#include <gtest/gtest.h>

namespace parktotals {
namespace {

TEST(ApplicationTitleTest, CutsAtFirstDotAndLowersAllButFirst) {
    EXPECT_EQ(ApplicationTitle("C:\\Park\\MyJob.Daily.EXE"), "Myjob");
    EXPECT_EQ(ApplicationTitle("/opt/parktotals/bin/parktotals"), "parktotals");
    EXPECT_EQ(ApplicationTitle("PARKTOTALS.EXE"), "Parktotals");
    EXPECT_EQ(ApplicationTitle("mixed/Dir.x/jOB"), "job");
    EXPECT_EQ(ApplicationTitle(".hidden"), "");
}

TEST(CommandLineTest, NoArgumentIsTheNightlyRunAndAnythingUnknownIsNamed) {
    EXPECT_EQ(ParseCommandLine({}).task, Task::NightlyRun);
    const CommandLine read = ParseCommandLine({"--read-connection", "C:\\Temp\\ns1.tmp\\f.ini"});
    EXPECT_EQ(read.task, Task::ReadConnection);
    EXPECT_EQ(read.fields_file, "C:\\Temp\\ns1.tmp\\f.ini");
    EXPECT_EQ(ParseCommandLine({"--write-connection", "f"}).task, Task::WriteConnection);
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {"/S"}, {"--help"}, {"--write-connection"}, {"--read-connection", "f", "--now"}}) {
        try {
            ParseCommandLine(wrong);
            ADD_FAILURE() << wrong.back() << " taken";
        } catch (const UserError& error) {
            EXPECT_NE(std::string(error.what()).find(wrong.back()), std::string::npos) << error.what();
        }
    }
}

TEST(ErrorBoxTextTest, AddsFullStopOnlyAfterCharactersSortingAfterIt) {
    EXPECT_EQ(ErrorBoxText("Invalid object name T_x"), "Invalid object name T_x.");
    // A quote sorts before the full stop, so this message gets none.
    EXPECT_EQ(ErrorBoxText("Login failed for user 'x'"), "Login failed for user 'x'");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("Stream write error"), "Stream write error.");
    EXPECT_EQ(ErrorBoxText("Disk full (C:)"), "Disk full (C:)");
    EXPECT_EQ(ErrorBoxText("Stop!"), "Stop!");
    EXPECT_EQ(ErrorBoxText("code 42"), "code 42.");
    EXPECT_EQ(ErrorBoxText(""), "");
    EXPECT_EQ(ErrorBoxText("\xE5\xA4\xB1\xE8\xB4\xA5"), "\xE5\xA4\xB1\xE8\xB4\xA5.");
}

TEST(CentralConnectionStringTest, ListsTheKeysInTheirOrder) {
    EXPECT_EQ(CentralConnectionString("db.example.net", "park7", "s3cret-pass12"),
              "Provider=SQLOLEDB.1;Password=s3cret-pass12;Persist Security Info=True;User ID=park7;"
              "Initial Catalog=park7_db;Data Source=db.example.net");
}

TEST(CentralConnectionStringTest, QuotesValuesThatWouldBreakThePairs) {
    EXPECT_EQ(CentralConnectionString("h", "u", "a;b\"c"),
              "Provider=SQLOLEDB.1;Password=\"a;b\"\"c\";Persist Security Info=True;User ID=u;"
              "Initial Catalog=u_db;Data Source=h");
    // The reader trims tabs as well as spaces, so a tab at either end is quoted.
    EXPECT_EQ(CentralConnectionString("h", "\tu", "pw\t"),
              "Provider=SQLOLEDB.1;Password=\"pw\t\";Persist Security Info=True;User ID=\"\tu\";"
              "Initial Catalog=\"\tu_db\";Data Source=h");
}

TEST(CentralConnectionStringTest, AsksForEncryptionOnlyWhenBuiltTo) {
    const std::string fixed = "Provider=SQLOLEDB.1;Password=pw;Persist Security Info=True;User ID=u;"
                              "Initial Catalog=u_db;Data Source=h";
    EXPECT_EQ(CentralConnectionString("h", "u", "pw", {false, true}), fixed);
    EXPECT_EQ(CentralConnectionString("h", "u", "pw", {true, false}), fixed + ";Use Encryption for Data=True");
    EXPECT_EQ(CentralConnectionString("h", "u", "pw", {true, true}),
              fixed + ";Use Encryption for Data=True;Trust Server Certificate=True");
}

// A shell that records what the form and the application ask of it.
class RecordingShell : public Shell {
public:
    void CloseForm() override { ++closed; }
    void ShowErrorBox(const std::string& caption, const std::string& text) override {
        boxes.push_back(caption + "|" + text);
    }
    int closed = 0;
    std::vector<std::string> boxes;
};

class RunControlTest : public ::testing::Test {
protected:
    RunControlTest() {
        settings.job.park_config_path = dir / "weixinconfig.ini";
        settings.job.memo_path = dir / "memo1.txt";
        settings.job.nights_path = dir / "transferred-nights.txt";
        settings.job.today = [] { return LocalDate{2026, 12, 8}; };
        settings.reginfo_path = dir / "RegInfo.INI";
        settings.report_path = dir / "parktotals.log";
    }
    testing::TempDir dir;
    FormSettings settings;
    RecordingShell shell;
    testing::FakeGateway gateway;
};

TEST_F(RunControlTest, TickRunsTheJobOnceThenClosesTheWindow) {
    Application app(shell, "Parktotals");
    Tformmaindalventis form(shell, settings, &gateway);
    EXPECT_TRUE(form.Timer1.enabled);
    form.FormCreate(); // no RegInfo.INI: nothing happens, nothing escapes

    app.DeliverTimerTick(form);
    EXPECT_FALSE(form.Timer1.enabled);
    EXPECT_EQ(shell.closed, 1);
    EXPECT_TRUE(shell.boxes.empty());
    EXPECT_EQ(form.Memo1.Lines().size(), 5u);
    EXPECT_EQ(app.ExitCode(form), 0);

    app.DeliverTimerTick(form); // a late tick finds the timer disabled
    EXPECT_EQ(gateway.executed.size(), 5u);
    EXPECT_EQ(shell.closed, 1);
}

TEST_F(RunControlTest, ErrorFromTheJobShowsBoxAndKeepsWindowOpen) {
    gateway.open_error = "[DBNETLIB]SQL Server does not exist or access denied";
    Application app(shell, "Myjob");
    Tformmaindalventis form(shell, settings, &gateway);
    app.DeliverTimerTick(form);
    EXPECT_EQ(shell.boxes, std::vector<std::string>{"Myjob|[DBNETLIB]SQL Server does not exist or access denied."});
    EXPECT_EQ(shell.closed, 0);
    EXPECT_FALSE(form.Timer1.enabled);
    EXPECT_EQ(app.ExitCode(form), 1);
    app.DeliverTimerTick(form);
    EXPECT_EQ(shell.boxes.size(), 1u);
}

TEST_F(RunControlTest, PartialRunAndEarlyCloseAreReportedAsIncomplete) {
    Application app(shell, "Parktotals");
    {
        Tformmaindalventis form(shell, settings, &gateway);
        EXPECT_EQ(app.ExitCode(form), 2) << "closed before the first tick";
    }
    gateway.reject[4] = "Conversion failed";
    Tformmaindalventis form(shell, settings, &gateway);
    app.DeliverTimerTick(form);
    EXPECT_EQ(shell.closed, 1);
    EXPECT_EQ(app.ExitCode(form), 2);
}

} // namespace
} // namespace parktotals
