#include "app/app_title.h"
#include "app/application.h"
#include "app/command_line.h"
#include "app/connection_options.h"
#include "db/central_connection.h"
#include "support/fake_gateway.h"
#include "support/temp_dir.h"
#include "text/errors.h"
#include "text/language.h"
#include "text/text_codec.h"
#include "totals/memo.h"
#include "totals/nights_record.h"
#include "totals/profile.h"
#include "totals/run_report.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <iterator>
#include <sstream>

namespace parktotals {
namespace {

TEST(ApplicationTitleTest, CutsAtFirstDotAndLowersAllButFirst) {
    EXPECT_EQ(ApplicationTitle("C:\\Park\\MyJob.Daily.EXE"), "Myjob");
    EXPECT_EQ(ApplicationTitle("/opt/parktotals/bin/parktotals"), "parktotals");
    EXPECT_EQ(ApplicationTitle("PARKTOTALS.EXE"), "Parktotals");
    EXPECT_EQ(ApplicationTitle("mixed/Dir.x/jOB"), "job");
    EXPECT_EQ(ApplicationTitle(".hidden"), "");
}

// The parsed line in one text, so that a table can say what it expects.
std::string Described(const CommandLine& command) {
    static const char* const kTasks[] = {"run", "read", "write", "help", "version"};
    std::string text = kTasks[static_cast<int>(command.task)];
    if (!command.fields_file.empty()) text += " " + command.fields_file;
    const RunOptions& o = command.options;
    text += " retries=" + std::to_string(o.retries) + " wait=" + std::to_string(o.retry_wait.count());
    if (o.dates) text += " dates=" + FormatIsoDate(o.dates->first) + ".." + FormatIsoDate(o.dates->last);
    if (o.catch_up > 0) text += " catch-up=" + std::to_string(o.catch_up);
    if (command.language) text += command.language == Language::Chinese ? " zh-CN" : " en";
    return text;
}

// Yesterday is 2026-12-08; 2026 is no leap year, 2024 was one.
constexpr LocalDate kToday{2026, 12, 9};

TEST(CommandLineTest, TakesEachOptionUpToItsLimits) {
    const std::pair<std::vector<std::string>, std::string> lines[] = {
        {{}, "run retries=0 wait=300"},
        {{"--retries", "0"}, "run retries=0 wait=300"},
        {{"--retries=10"}, "run retries=10 wait=300"},
        {{"--retries", "007"}, "run retries=7 wait=300"},
        {{"--retry-wait", "1"}, "run retries=0 wait=1"},
        {{"--retry-wait=3600"}, "run retries=0 wait=3600"},
        {{"--catch-up", "1"}, "run retries=0 wait=300 catch-up=1"},
        {{"--catch-up=31", "--retries", "2"}, "run retries=2 wait=300 catch-up=31"},
        {{"--date", "2026-12-08"}, "run retries=0 wait=300 dates=2026-12-08..2026-12-08"},
        {{"--date=2026-11-08..2026-12-08"}, "run retries=0 wait=300 dates=2026-11-08..2026-12-08"},
        {{"--date", "2024-02-29"}, "run retries=0 wait=300 dates=2024-02-29..2024-02-29"},
        {{"--retries", "3", "--date=2026-01-01..2026-01-31", "--retry-wait", "60"},
         "run retries=3 wait=60 dates=2026-01-01..2026-01-31"},
        {{"--read-connection", "C:\\Temp\\ns1.tmp\\f.ini"}, "read C:\\Temp\\ns1.tmp\\f.ini retries=0 wait=300"},
        {{"--write-connection=f=1.ini"}, "write f=1.ini retries=0 wait=300"},
        {{"--language", "zh-CN", "--date", "2026-12-01", "--catch-up", "3"},
         "run retries=0 wait=300 dates=2026-12-01..2026-12-01 catch-up=3 zh-CN"},
        {{"--read-connection", "f.ini", "--language=EN"}, "read f.ini retries=0 wait=300 en"},
        // Help and version win over whatever else the line holds.
        {{"--retries", "x", "--help"}, "help retries=0 wait=300"},
        {{"--version", "--help"}, "help retries=0 wait=300"},
        {{"--now", "--version"}, "version retries=0 wait=300"},
    };
    for (const auto& [arguments, expected] : lines) {
        std::string line;
        for (const std::string& argument : arguments) line += " " + argument;
        try {
            EXPECT_EQ(Described(ParseCommandLine(arguments, kToday)), expected) << line;
        } catch (const UserError& error) {
            ADD_FAILURE() << line << ": " << error.what();
        }
    }
}

TEST(CommandLineTest, RefusesWithTheOptionAndWhatItTakes) {
    // Each message holds both texts.
    struct Wrong {
        std::vector<std::string> arguments;
        std::string names, says;
    };
    const Wrong lines[] = {
        {{"--retries", "11"}, "--retries \"11\"", "from 0 to 10"},
        {{"--retries", "+1"}, "--retries \"+1\"", "from 0 to 10"},
        {{"--retries", " 1"}, "--retries \" 1\"", "from 0 to 10"},
        {{"--retries=0x1"}, "--retries \"0x1\"", "from 0 to 10"},
        {{"--retries", "4294967297"}, "--retries \"4294967297\"", "from 0 to 10"},
        {{"--retries"}, "--retries needs", "from 0 to 10"},
        {{"--retries="}, "--retries needs", "from 0 to 10"},
        {{"--retries", "--date", "2026-12-01"}, "--retries needs", "from 0 to 10"},
        {{"--retries", "1", "--retries=1"}, "--retries is given twice", "once"},
        {{"--retry-wait", "0"}, "--retry-wait \"0\"", "from 1 to 3600"},
        {{"--retry-wait=3601"}, "--retry-wait \"3601\"", "from 1 to 3600"},
        {{"--catch-up", "0"}, "--catch-up \"0\"", "from 1 to 31"},
        {{"--catch-up", "32"}, "--catch-up \"32\"", "from 1 to 31"},
        {{"--date", "2026-12-09"}, "--date \"2026-12-09\"", "only past days"},
        {{"--date", "2026-12-08..2026-12-09"}, "--date \"2026-12-08..2026-12-09\"", "only past days"},
        {{"--date", "2026-11-07..2026-12-08"}, "--date \"2026-11-07..2026-12-08\"", "at most 31"},
        {{"--date", "2026-12-05..2026-12-01"}, "--date \"2026-12-05..2026-12-01\"", "first day goes before"},
        {{"--date", "0001-01-01"}, "--date \"0001-01-01\"", "lies before 2000-01-01"},
        {{"--date", "2026-02-29"}, "2026-02-29 is no day of the calendar", "yyyy-mm-dd"},
        {{"--date=2026-02-30..2026-03-01"}, "2026-02-30 is no day of the calendar", "FIRST..LAST"},
        {{"--date", "2026-12-01.."}, "--date \"2026-12-01..\"", "FIRST..LAST"},
        {{"--date", "yesterday"}, "--date \"yesterday\"", "yyyy-mm-dd"},
        {{"--now"}, "Unknown option \"--now\"", "--help"},
        {{"--language", "zh-TW"}, "--language \"zh-TW\"", "en or zh-CN"},
        {{"/S"}, "Unknown option \"/S\"", "--help"},
        {{"--help=yes"}, "--help takes no value", "\"yes\""},
        {{"--read-connection"}, "--read-connection needs", "fields file"},
        {{"--read-connection", "f", "--now"}, "Unknown option \"--now\"", "--help"},
        {{"--read-connection", "f", "--retries", "1"}, "--read-connection cannot be given with --retries",
         "installer"},
        {{"--retries", "1", "--write-connection=f"}, "--write-connection cannot be given with --retries",
         "installer"},
        // A control character is shown escaped, never sent to the terminal.
        {{"--retries", "\x1b[2J"}, "--retries \"\\x1b[2J\"", "from 0 to 10"},
        // A long one is cut, and a NUL does not end the message.
        {{"--retries", std::string(120 * 1024, '7')}, "--retries \"" + std::string(200, '7') + "\xE2\x80\xA6\"",
         "from 0 to 10"},
        {{"--retries", std::string("1\0", 2)}, "--retries \"1\\x00\"", "from 0 to 10"},
    };
    for (const Wrong& wrong : lines) {
        std::string line;
        for (const std::string& argument : wrong.arguments) line += " " + argument;
        try {
            const CommandLine taken = ParseCommandLine(wrong.arguments, kToday);
            ADD_FAILURE() << line << " taken as " << Described(taken);
        } catch (const UserError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(wrong.names), std::string::npos) << line << ": " << message;
            EXPECT_NE(message.find(wrong.says), std::string::npos) << line << ": " << message;
        }
    }
}

// In Chinese a line breaks between two characters as well, by columns (a
// Chinese character takes two), never between a number and its unit nor
// before a closing mark.
TEST(CommandLineTest, UsageWrappedForATerminalKeepsEveryWordAndParagraph) {
    const auto words = [](const std::string& text) {
        std::istringstream in(text);
        return std::vector<std::string>(std::istream_iterator<std::string>(in), {});
    };
    const auto without_blanks = [](std::string text) {
        std::erase_if(text, [](char c) { return c == ' ' || c == '\n'; });
        return text;
    };
    const auto blank_lines = [](const std::string& text) {
        std::istringstream in(text);
        int count = 0;
        for (std::string line; std::getline(in, line);) count += line.empty();
        return count;
    };
    // Lead bytes of U+3000 to U+9FFF and of the full-width forms.
    const auto wide_at = [](const std::string& text, std::size_t i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        return (byte >= 0xE3 && byte <= 0xE9) || byte == 0xEF;
    };
    const auto columns = [&](const std::string& line) {
        std::size_t count = 0;
        for (std::size_t i = 0; i < line.size(); ++i)
            count += wide_at(line, i) ? 2 : (static_cast<unsigned char>(line[i]) & 0xC0) == 0x80 ? 0 : 1;
        return count;
    };
    for (const Language language : {Language::English, Language::Chinese}) {
        SetCurrentLanguage(language);
        const std::string one_line_each = UsageText("parktotals");
        const std::string wrapped = UsageText("parktotals", 79);
        SetCurrentLanguage(Language::English);
        if (language == Language::English) {
            EXPECT_EQ(words(wrapped), words(one_line_each));
            EXPECT_TRUE(wrapped.ends_with(".\n"));
        } else {
            EXPECT_EQ(without_blanks(wrapped), without_blanks(one_line_each));
        }
        EXPECT_EQ(blank_lines(wrapped), blank_lines(one_line_each));
        std::istringstream lines(wrapped);
        std::string previous;
        for (std::string line; std::getline(lines, line); previous = line) {
            EXPECT_LE(columns(line), 79u) << line;
            EXPECT_FALSE(line.ends_with(' ')) << line;
            const std::size_t first = line.find_first_not_of(' ');
            // Only where the wrapping broke a line.
            if (first == std::string::npos || one_line_each.find("\n" + line) != std::string::npos) continue;
            const bool number_ends = std::isdigit(static_cast<unsigned char>(previous.back()));
            const bool number_starts = std::isdigit(static_cast<unsigned char>(line[first]));
            const bool wide_ends = previous.size() >= 3 && wide_at(previous, previous.size() - 3);
            EXPECT_FALSE((number_ends && wide_at(line, first)) || (wide_ends && number_starts)) << previous << "|" << line;
            for (const std::string_view mark : {"，", "。", "：", "；", "、", "）"})
                EXPECT_FALSE(line.substr(first).starts_with(mark)) << line;
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

// A Chinese text always ends in "。", unless it ends a sentence already.
TEST(ErrorBoxTextTest, ChineseEndsInItsOwnFullStop) {
    SetCurrentLanguage(Language::Chinese);
    EXPECT_EQ(ErrorBoxText("需要语言代码 en 或 zh-CN"), "需要语言代码 en 或 zh-CN。");
    EXPECT_EQ(ErrorBoxText("不带值，却给出了 \"x\""), "不带值，却给出了 \"x\"。");
    EXPECT_EQ(ErrorBoxText("拒绝：Login failed for user 'sa'."), "拒绝：Login failed for user 'sa'.");
    EXPECT_EQ(ErrorBoxText("Stream write error"), "Stream write error.");
    SetCurrentLanguage(Language::English);
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

// Every file the program writes is replaced whole; the new one keeps the
// rights the old one had, and the installer's fields file, which holds the
// password, is its owner's only whatever it was before.
TEST(FileRightsTest, EachFileKeepsItsRightsAndTheInstallerChangesOnlyWhatItIsGiven) {
    namespace fs = std::filesystem;
    testing::TempDir dir;
    const testing::WorkingDirectory here(dir.path());
    NightRecord night;
    night.date_key = "20261201";
    std::vector<std::string> skipped;
    for (FigureRecord& figure : night.figures) figure.status = FigureStatus::Transferred;
    const auto connection = [](Task task, const std::string& file) {
        CommandLine command;
        command.task = task;
        command.fields_file = file;
        return RunConnectionTask(command);
    };
    struct Case {
        std::string file;
        fs::perms before, after;
        std::function<bool()> write; // true when it was written
    };
    using enum fs::perms;
    const Case cases[] = {
        {"memo1.txt", owner_read | owner_write | group_read, owner_read | owner_write | group_read,
         [] { return SaveMemoFile("memo1.txt", {"UPDATE ..."}), true; }},
        {"parktotals.log", owner_read | owner_write, owner_read | owner_write,
         [] { return !AppendRunReport("parktotals.log", {"==== run"}); }},
        {"transferred-nights.txt", owner_read | group_read, owner_read | group_read,
         [&] { return !RecordTransferredNights("transferred-nights.txt", {night}, {2026, 12, 2}, skipped); }},
        {"RegInfo.INI", owner_read | owner_write, owner_read | owner_write,
         [&] { return connection(Task::WriteConnection, dir.Write("in.ini", "[connection]\npassword=new\n")) == 0; }},
        {"out.ini", owner_read | owner_write | group_read | others_read, owner_read | owner_write,
         [&] { return connection(Task::ReadConnection, "out.ini") == 0; }},
    };
    dir.Write("RegInfo.INI", "Provider=SQLOLEDB.1;Password=old;User ID=sa;Data Source=.\r\nmore\r\n");
    for (const Case& c : cases) {
        if (!fs::exists(c.file)) dir.Write(c.file, "");
        fs::permissions(c.file, c.before);
        ASSERT_TRUE(c.write()) << c.file;
        EXPECT_EQ(fs::status(c.file).permissions(), c.after) << c.file;
    }
    // The fields file held only the password: the rest of the login stays.
    const std::string reginfo = "Provider=SQLOLEDB.1;Password=new;User ID=sa;Data Source=.\r\nmore\r\n";
    EXPECT_EQ(testing::ReadBytes("RegInfo.INI"), reginfo);
    // A password the INI reader would cut is refused, not cut.
    const std::string long_password = "[connection]\npassword=" + std::string(3000, 'p');
    EXPECT_EQ(connection(Task::WriteConnection, dir.Write("in.ini", long_password)), 1);
    EXPECT_EQ(testing::ReadBytes("RegInfo.INI"), reginfo);
    EXPECT_EQ(ProfileValue(FileTextToUtf8(testing::ReadBytes("in.ini")), "connection", "error", ""),
              "The value of \"password\" in the fields file is too long: at most 2046 characters");
}

} // namespace
} // namespace parktotals
