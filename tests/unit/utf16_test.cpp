#include "text/language.h"
#include "text/messages.h"
#include "text/utf16.h"

#include <gtest/gtest.h>

namespace parktotals {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(Utf16Test, RoundTripsText) {
    for (const std::string text : {"", "SELECT 1", "微信", "确认放行 and 免费放行", "\xF0\x9F\x98\x80 car park",
                                   "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBF", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80"}) {
        EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text) << text;
    }
}

TEST(Utf16Test, EncodesBeyondTheBasicPlaneAsSurrogatePairs) {
    EXPECT_EQ(Utf8ToUtf16("微信"), u"\u5FAE\u4FE1");
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), std::u16string({0xD83D, 0xDE00}));
    EXPECT_EQ(Utf8ToUtf16("\xF4\x8F\xBF\xBF"), std::u16string({0xDBFF, 0xDFFF}));
    EXPECT_EQ(Utf16ToUtf8(std::u16string({0xD83D, 0xDE00})), "\xF0\x9F\x98\x80");
}

TEST(Utf16Test, InvalidUtf8BecomesReplacementCharacters) {
    const auto decoded = [](const std::string& bytes) { return Utf16ToUtf8(Utf8ToUtf16(bytes)); };
    EXPECT_EQ(decoded("a\xFF" "b"), "a" + kReplacement + "b");
    EXPECT_EQ(decoded("\x80"), kReplacement);
    EXPECT_EQ(decoded("a\xC3"), "a" + kReplacement);                          // cut short at the end
    EXPECT_EQ(decoded("\xE5\xBE" "x"), kReplacement + "x");                   // cut short before ASCII
    EXPECT_EQ(decoded("\xC0\xAF"), kReplacement + kReplacement);              // overlong '/'
    EXPECT_EQ(decoded("\xE0\x80\xAF"), kReplacement + kReplacement + kReplacement);
    EXPECT_EQ(decoded("\xED\xA0\x80"), kReplacement + kReplacement + kReplacement); // a surrogate
    EXPECT_EQ(decoded("\xF4\x90\x80\x80"), kReplacement + kReplacement + kReplacement + kReplacement);
    EXPECT_EQ(decoded("\xF0\x9F\x98" "\xE5\xBE\xAE"), kReplacement + "微");
}

TEST(Utf16Test, UnpairedSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf16ToUtf8(std::u16string({0xD800, u'x'})), kReplacement + "x");
    EXPECT_EQ(Utf16ToUtf8(std::u16string({u'x', 0xDC00})), "x" + kReplacement);
    EXPECT_EQ(Utf16ToUtf8(std::u16string({0xD83D})), kReplacement);
    EXPECT_EQ(Utf16ToUtf8(std::u16string({0xDE00, 0xD83D})), kReplacement + kReplacement);
}

// The display language, from what each platform says of it.
TEST(LanguageTest, SimplifiedChineseOnlyForItsOwnLocales) {
    const struct {
        const char *language, *lc_all, *lc_messages, *lang;
        Language expected;
    } cases[] = {
        {nullptr, nullptr, nullptr, "zh_CN.UTF-8", Language::Chinese},
        {nullptr, nullptr, nullptr, "zh_SG.GB2312", Language::Chinese},
        {nullptr, nullptr, "zh_Hans_CN.UTF-8", "en_GB.UTF-8", Language::Chinese},
        {nullptr, nullptr, nullptr, "zh_TW.UTF-8", Language::English}, // Traditional
        {nullptr, nullptr, nullptr, "zh_HK", Language::English},
        {nullptr, "en_US.UTF-8", nullptr, "zh_CN.UTF-8", Language::English}, // LC_ALL wins over LANG
        {"zh_CN:en", "en_US.UTF-8", nullptr, nullptr, Language::Chinese},    // LANGUAGE's first entry
        {"en_US:zh_CN", nullptr, nullptr, "zh_CN.UTF-8", Language::English},
        {"", "", "", "zh_CN@euro", Language::Chinese}, // empty is unset
        {nullptr, nullptr, nullptr, "C.UTF-8", Language::English},
        {nullptr, nullptr, nullptr, nullptr, Language::English},
        {nullptr, nullptr, nullptr, "zh", Language::English},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LanguageOfLocaleVariables(c.language, c.lc_all, c.lc_messages, c.lang), c.expected)
            << (c.language ? c.language : "-") << " " << (c.lc_all ? c.lc_all : "-") << " "
            << (c.lc_messages ? c.lc_messages : "-") << " " << (c.lang ? c.lang : "-");
    }
    EXPECT_EQ(LanguageOfWindowsId(0x0804), Language::Chinese);
    EXPECT_EQ(LanguageOfWindowsId(0x1004), Language::Chinese);
    EXPECT_EQ(LanguageOfWindowsId(0x0404), Language::English); // zh-TW
    EXPECT_EQ(LanguageOfWindowsId(0x0409), Language::English);
    EXPECT_EQ(ParseLanguageName("zh-cn"), Language::Chinese);
    EXPECT_EQ(ParseLanguageName("zh"), std::nullopt);
}

TEST(MessageTest, ArgumentsGoWhereEachLanguagePutsThem) {
    constexpr Message kMoved("{0} of {1}", "{1}的{0}");
    EXPECT_EQ(Say(Language::English, kMoved, {"figure 3", "20261201"}), "figure 3 of 20261201");
    EXPECT_EQ(Say(Language::Chinese, kMoved, {"图3", "20261201"}), "20261201的图3");
    // An argument's own braces are not read again.
    EXPECT_EQ(Say(Language::English, kMoved, {"{1}", "x"}), "{1} of x");
}

} // namespace
} // namespace parktotals
