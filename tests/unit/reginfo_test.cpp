#include "text/errors.h"
#include "db/reginfo.h"
#include "support/temp_dir.h"
#include "support/utf16_files.h"

#include <gtest/gtest.h>

#include <sstream>

namespace parktotals {
namespace {

std::string FirstLine(const std::string& bytes) {
    std::istringstream in(bytes);
    return ReadFirstLine(in);
}

TEST(RegInfoLineTest, EndsAtLineFeedOrCrLf) {
    EXPECT_EQ(FirstLine("Provider=SQLOLEDB.1;Data Source=a\nsecond line"), "Provider=SQLOLEDB.1;Data Source=a");
    EXPECT_EQ(FirstLine("first\r\nsecond\r\n"), "first");
    EXPECT_EQ(FirstLine("only line, no end"), "only line, no end");
    EXPECT_EQ(FirstLine(""), "");
    EXPECT_EQ(FirstLine("\nsecond"), "");
}

TEST(RegInfoLineTest, KeepsBlanksAndTabs) {
    EXPECT_EQ(FirstLine("  Server=x; \t \r\nnext"), "  Server=x; \t ");
}

TEST(RegInfoLineTest, DropsLoneCarriageReturn) {
    EXPECT_EQ(FirstLine("Data Source=a\rUser ID=b\r\nnext"), "Data Source=aUser ID=b");
    EXPECT_EQ(FirstLine("abc\r"), "abc");
}

TEST(RegInfoLineTest, EndsAtCtrlZ) {
    EXPECT_EQ(FirstLine(std::string("abc\x1A" "def\n")), "abc");
}

TEST(RegInfoLineTest, TakesLinesOfAnyLength) {
    const std::string long_line(100000, 'x');
    EXPECT_EQ(FirstLine(long_line + "\r\nrest"), long_line);
}

TEST(RegInfoFileTest, ReadsFirstLineOfFile) {
    testing::TempDir dir;
    const std::string file = dir.Write("RegInfo.INI", "Provider=SQLOLEDB.1;Data Source=(local)  \r\nignored\r\n");
    EXPECT_EQ(ReadRegInfoLine(file), "Provider=SQLOLEDB.1;Data Source=(local)  ");
}

TEST(RegInfoFileTest, DropsUtf8ByteOrderMarkOnlyAtStart) {
    testing::TempDir dir;
    EXPECT_EQ(ReadRegInfoLine(dir.Write("a", "\xEF\xBB\xBFServer=x\r\n")), "Server=x");
    EXPECT_EQ(ReadRegInfoLine(dir.Write("b", "\xEF\xBB" "x")), "\xEF\xBB" "x");
    EXPECT_EQ(ReadRegInfoLine(dir.Write("c", "a\xEF\xBB\xBF")), "a\xEF\xBB\xBF");
}

// Notepad's "Unicode" and "Unicode big endian": the mark selects UTF-16,
// and the line rules apply to its characters.
TEST(RegInfoFileTest, ReadsUtf16WithEitherByteOrderMark) {
    testing::TempDir dir;
    const std::string line = "Provider=SQLOLEDB.1;Data Source=.;User ID=sa;Password=\xE5\xAF\x86\xE7\xA0\x81 \t";
    for (const bool big_endian : {false, true}) {
        const auto file = [&](const std::string& text) {
            return ReadRegInfoLine(dir.Write("RegInfo.INI", testing::Utf16File(text, big_endian)));
        };
        EXPECT_EQ(file(line + "\r\nsecond\r\n"), line) << big_endian;
        EXPECT_EQ(file(line), line);
        EXPECT_EQ(file("a\rb\nc"), "ab");
        EXPECT_EQ(file("a\x1A" "b\n"), "a");
        EXPECT_EQ(file(""), "");
        // U+0A0D holds the bytes of a line end in either order: it is a
        // character, not one.
        EXPECT_EQ(file("\xE0\xA8\x8D\xE0\xB4\x8A"), "\xE0\xA8\x8D\xE0\xB4\x8A");
    }
    // Half a code unit at the end is shown, not lost.
    EXPECT_EQ(ReadRegInfoLine(dir.Write("odd", std::string("\xFF\xFE" "a\0b", 5))), "a\xEF\xBF\xBD");
    // Without a whole mark the bytes are as they stand.
    EXPECT_EQ(ReadRegInfoLine(dir.Write("short", "\xFF")), "\xFF");
    EXPECT_EQ(ReadRegInfoLine(dir.Write("lone", "\xFEx\r\n")), "\xFEx");
}

// The installer's rewrite: only the first line changes, in the file's own
// encoding; its line end and the lines after it keep their bytes.
TEST(RegInfoFileTest, ReplacingTheFirstLineKeepsTheEncodingAndTheRest) {
    using testing::Utf16File;
    const std::string chinese = "Password=\xE5\xAF\x86";
    const struct {
        std::string before, after;
    } cases[] = {
        {Utf16File("old\r\n[x]\r\n", true), Utf16File(chinese + "\r\n[x]\r\n", true)},
        {Utf16File("old\x1A" "rest", false), Utf16File(chinese + "\x1A" "rest", false)},
        {Utf16File("old", false), Utf16File(chinese, false)},
        {"\xEF\xBB\xBFold\r\n\xFF\n", "\xEF\xBB\xBF" + chinese + "\r\n\xFF\n"},
        {"o\rld\nrest", chinese + "\nrest"},
        {"", chinese + "\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(ReplaceRegInfoLine(c.before, chinese), c.after) << c.before;
}

TEST(RegInfoFileTest, LooksInTheWorkingDirectory) {
    testing::TempDir dir;
    dir.Write("RegInfo.INI", "Server=here\n");
    testing::WorkingDirectory cd(dir.path());
    EXPECT_EQ(ReadRegInfoLine(), "Server=here");
}

TEST(RegInfoFileTest, MissingOrUnreadableFileIsReported) {
    testing::TempDir dir;
    EXPECT_THROW(ReadRegInfoLine(dir / "RegInfo.INI"), UserError);
    std::filesystem::create_directory(dir.path() / "RegInfo.INI");
    EXPECT_THROW(ReadRegInfoLine(dir / "RegInfo.INI"), UserError);
}

} // namespace
} // namespace parktotals
