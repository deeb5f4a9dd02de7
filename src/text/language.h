#pragma once

#include <optional>
#include <string_view>

// The language the program speaks to the person reading it: English, or
// Simplified Chinese for technicians whose display language is Chinese.
namespace parktotals {

enum class Language {
    English,
    Chinese, // Simplified Chinese
};

// The user's display language: on Windows the user interface language
// (Chinese for zh-CN and zh-SG), on Linux the first of LANGUAGE, LC_ALL,
// LC_MESSAGES and LANG that is set (Chinese for zh_CN, zh_SG and zh_Hans);
// English for anything else. The locale itself need not be installed.
Language DisplayLanguage();

// The same decision from the variables' values, in that order (empty or
// null when unset). LANGUAGE is a list: its first entry counts.
Language LanguageOfLocaleVariables(const char* language, const char* lc_all, const char* lc_messages,
                                   const char* lang);
// From a Windows language id (LANGID).
Language LanguageOfWindowsId(unsigned short language_id);

// "--language" takes "en" or "zh-CN" (case aside); nullopt for anything else.
std::optional<Language> ParseLanguageName(std::string_view name);

// The language of this run: the display language until the command line
// says otherwise.
Language CurrentLanguage();
void SetCurrentLanguage(Language language);

} // namespace parktotals
