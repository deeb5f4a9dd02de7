#include "app/app_title.h"

#include "text/ascii.h"
#include "text/language.h"

#include <algorithm>

namespace parktotals {
namespace {

// "。", "）", "”", "！", "？", "」" and the like: a sentence's end, or a
// bracket or quote after it.
bool EndsWithClosing(std::string_view text) {
    for (const std::string_view end : {"\xE3\x80\x82", "\xEF\xBC\x89", "\xE2\x80\x9D", "\xEF\xBC\x81",
                                       "\xEF\xBC\x9F", "\xE3\x80\x8D"}) {
        if (text.size() >= end.size() && text.substr(text.size() - end.size()) == end) return true;
    }
    return false;
}

} // namespace

std::string ApplicationTitle(std::string_view executable_path) {
    const std::size_t slash = executable_path.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? executable_path : executable_path.substr(slash + 1);
    name = name.substr(0, name.find('.'));
    std::string title(name);
    // Only ASCII letters change case; bytes of other UTF-8 characters pass as they are.
    for (std::size_t i = 1; i < title.size(); ++i) title[i] = AsciiLower(title[i]);
    return title;
}

std::string ErrorBoxText(std::string message) {
    // A Chinese text ends in its own full stop, also after a last word in
    // Latin letters or a quoted value; one that already has it, ends in a
    // closing bracket or quote, or in a sentence of a server's own, takes
    // none. A text without Chinese in it is English, whatever the language.
    constexpr std::string_view kFullStop = "\xE3\x80\x82";
    if (message.empty()) return message;
    const unsigned char last = static_cast<unsigned char>(message.back());
    const bool chinese = CurrentLanguage() == Language::Chinese &&
                         std::any_of(message.begin(), message.end(), [](char c) { return c & 0x80; });
    if (chinese) {
        if (!EndsWithClosing(message) && last != '.' && last != '!' && last != '?') message += kFullStop;
    } else if (last > '.') {
        message += '.';
    }
    return message;
}

} // namespace parktotals
