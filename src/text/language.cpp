#include "text/language.h"

#include "text/ascii.h"

#include <atomic>
#include <string>

namespace parktotals {
namespace {

std::atomic<int> current{-1};

// "zh_CN.UTF-8", "zh_SG", "zh_Hans_CN", "zh-CN" (Windows' spelling too).
bool NamesSimplifiedChinese(std::string_view locale) {
    std::string name(locale.substr(0, locale.find_first_of(".@")));
    for (char& c : name) {
        if (c == '-') c = '_';
    }
    name = AsciiLower(name);
    return name == "zh_cn" || name == "zh_sg" || name.rfind("zh_cn_", 0) == 0 || name == "zh_hans" ||
           name.rfind("zh_hans_", 0) == 0;
}

} // namespace

Language LanguageOfLocaleVariables(const char* language, const char* lc_all, const char* lc_messages,
                                   const char* lang) {
    for (const char* value : {language, lc_all, lc_messages, lang}) {
        if (value == nullptr || *value == '\0') continue;
        std::string_view first(value);
        first = first.substr(0, first.find(':'));
        return NamesSimplifiedChinese(first) ? Language::Chinese : Language::English;
    }
    return Language::English;
}

Language LanguageOfWindowsId(unsigned short language_id) {
    // zh-CN (0x0804) and zh-SG (0x1004); zh-TW, zh-HK and zh-MO are
    // Traditional Chinese.
    return language_id == 0x0804 || language_id == 0x1004 ? Language::Chinese : Language::English;
}

std::optional<Language> ParseLanguageName(std::string_view name) {
    const std::string lower = AsciiLower(std::string(name));
    if (lower == "en") return Language::English;
    if (lower == "zh-cn") return Language::Chinese;
    return std::nullopt;
}

Language CurrentLanguage() {
    int language = current.load();
    if (language < 0) {
        language = static_cast<int>(DisplayLanguage());
        current.store(language);
    }
    return static_cast<Language>(language);
}

void SetCurrentLanguage(Language language) { current.store(static_cast<int>(language)); }

} // namespace parktotals
