#include "support/daily_totals_shortcuts.h"
#include "support/temp_dir.h"
#include "support/utf16_files.h"
#include "totals/profile.h"

#include <gtest/gtest.h>

namespace parktotals {
namespace {

std::string ParkId(const std::string& text) { return ProfileValue(text, "code", "jov_park_id", "1"); }

TEST(ProfileValueTest, FindsKeyInSection) {
    EXPECT_EQ(ParkId("[code]\r\njov_park_id=12\r\n"), "12");
    EXPECT_EQ(ParkId("[other]\njov_park_id=9\n[code]\nfoo=bar\njov_park_id=12\n"), "12");
}

TEST(ProfileValueTest, NamesAreCaseInsensitive) {
    EXPECT_EQ(ParkId("[CODE]\nJOV_Park_ID=33\n"), "33");
}

TEST(ProfileValueTest, TrimsBlanksAroundNamesAndValues) {
    EXPECT_EQ(ParkId("  [ code ]  \n\t jov_park_id \t=  4 5 \t\n"), "4 5");
}

TEST(ProfileValueTest, RemovesOnePairOfMatchingQuotes) {
    EXPECT_EQ(ParkId("[code]\njov_park_id=\"77\"\n"), "77");
    EXPECT_EQ(ParkId("[code]\njov_park_id='77'\n"), "77");
    EXPECT_EQ(ParkId("[code]\njov_park_id=\"'77'\"\n"), "'77'");
    EXPECT_EQ(ParkId("[code]\njov_park_id=\"77'\n"), "\"77'");
    EXPECT_EQ(ParkId("[code]\njov_park_id=O'Brien\n"), "O'Brien");
    EXPECT_EQ(ParkId("[code]\njov_park_id=\"\n"), "\"");
}

TEST(ProfileValueTest, IgnoresCommentLines) {
    EXPECT_EQ(ParkId("[code]\n;jov_park_id=5\n  ; jov_park_id=6\njov_park_id=7\n"), "7");
    EXPECT_EQ(ParkId(";[code]\njov_park_id=5\n"), "1");
}

TEST(ProfileValueTest, FirstMatchingSectionAndKeyWin) {
    EXPECT_EQ(ParkId("[code]\njov_park_id=1st\njov_park_id=2nd\n"), "1st");
    EXPECT_EQ(ParkId("[code]\njov_park_id=1st\n[code]\njov_park_id=2nd\n"), "1st");
}

TEST(ProfileValueTest, KeyMustBeInTheSection) {
    EXPECT_EQ(ParkId("jov_park_id=5\n[code]\nother=1\n[more]\njov_park_id=6\n"), "1");
    EXPECT_EQ(ParkId(""), "1");
    EXPECT_EQ(ParkId("[code]\njov_park_id\n"), "1");
    EXPECT_EQ(ParkId("[codex]\njov_park_id=5\n"), "1");
}

TEST(ProfileValueTest, EmptyValueIsAValue) {
    EXPECT_EQ(ParkId("[code]\njov_park_id=\n"), "");
}

TEST(ProfileValueTest, KeepsEqualsSignsAndUtf8InValue) {
    EXPECT_EQ(ParkId("\xEF\xBB\xBF[code]\njov_park_id=a=b\n"), "a=b");
    EXPECT_EQ(ParkId("[code]\njov_park_id=\xE5\x8C\x97\xE4\xBA\xAC\n"), "\xE5\x8C\x97\xE4\xBA\xAC");
}

TEST(ProfileValueTest, CutsLongValuesToTheBuffer) {
    const std::string long_value(3000, '9');
    EXPECT_EQ(ParkId("[code]\njov_park_id=" + long_value + "\n"), std::string(2047, '9'));
    std::string chinese;
    for (int i = 0; i < 2100; ++i) chinese += "\xE5\x8C\x97";
    EXPECT_EQ(ParkId("[code]\njov_park_id=" + chinese + "\n").size(), 2047u * 3);
}

// Each byte that is no UTF-8 reaches the server as a character of its own,
// so the cut counts it as one.
TEST(ProfileValueTest, CutsInvalidUtf8ByTheCharactersItBecomes) {
    EXPECT_EQ(ParkId("[code]\njov_park_id=" + std::string(5000, '\x80') + "\n"), std::string(2047, '\x80'));
    std::string overlong; // each "\xE0\x80" is two characters: neither byte starts a valid sequence
    for (int i = 0; i < 2000; ++i) overlong += "\xE0\x80";
    EXPECT_EQ(ParkId("[code]\njov_park_id=" + overlong + "\n"), overlong.substr(0, 2047));
    EXPECT_EQ(ParkId("[code]\njov_park_id=" + std::string(2046, '9') + "\xE5\x8C\x97\x80\n"),
              std::string(2046, '9') + "\xE5\x8C\x97");
}

// Saved by Notepad as "Unicode" (LE) or "Unicode big endian" (BE), as the
// Windows reader takes it.
TEST(ProfileValueTest, ReadsUtf16WithEitherByteOrderMark) {
    const std::string text = "[other]\r\njov_park_id=9\r\n[Code]\r\n jov_park_id = \"\xE5\x8D\x97\xE9\x97\xA8 7\"\r\n";
    EXPECT_EQ(ParkId(testing::Utf16LeFile(text)), "\xE5\x8D\x97\xE9\x97\xA8 7");
    EXPECT_EQ(ParkId(testing::Utf16BeFile(text)), "\xE5\x8D\x97\xE9\x97\xA8 7");
    EXPECT_EQ(ParkId(testing::Utf16LeFile("[code]\r\nother=3\r\n")), "1");
}

TEST(ParkNumberTest, ReadsTheFileOrFallsBackToOne) {
    testing::TempDir dir;
    EXPECT_EQ(ReadParkNumber(dir / "weixinconfig.ini"), "1");
    dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=208\r\n");
    EXPECT_EQ(ReadParkNumber(dir / "weixinconfig.ini"), "208");
    dir.Write("weixinconfig.ini", testing::Utf16LeFile("[code]\r\njov_park_id=209\r\n"));
    EXPECT_EQ(ReadParkNumber(dir / "weixinconfig.ini"), "209");
    dir.Write("weixinconfig.ini", testing::Utf16BeFile("[code]\r\njov_park_id=210\r\n"));
    EXPECT_EQ(ReadParkNumber(dir / "weixinconfig.ini"), "210");
    dir.Write("weixinconfig.ini", "[code]\r\nother=208\r\n");
    EXPECT_EQ(ReadParkNumber(dir / "weixinconfig.ini"), "1");
    // A folder where the file should be is as good as no file.
    std::filesystem::create_directory(dir.path() / "sub" );
    std::filesystem::create_directory(dir.path() / "sub" / "weixinconfig.ini");
    EXPECT_EQ(ReadParkNumber((dir.path() / "sub" / "weixinconfig.ini").string()), "1");
}

} // namespace
} // namespace parktotals
