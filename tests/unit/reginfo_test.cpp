#include "text/errors.h"
#include "db/reginfo.h"
#include "support/temp_dir.h"

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
