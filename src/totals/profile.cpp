#include "totals/profile.h"

#include "text/ascii.h"
#include "text/text_codec.h"
#include "text/utf16.h"

namespace parktotals {
namespace {

// Cuts UTF-8 text to at most `max` characters without splitting one. Bytes
// that are no UTF-8 count as they will reach the server, one U+FFFD each.
std::string CutToCharacters(std::string_view s, std::size_t max) {
    return std::string(s.substr(0, Utf8PrefixLength(s, max)));
}

} // namespace

std::string ProfileValue(std::string_view file_text, std::string_view section,
                         std::string_view key, std::string_view fallback) {
    const std::string utf8 = FileTextToUtf8(file_text);
    std::string_view text = utf8;

    enum class Where { Before, Inside, After } where = Where::Before;
    while (!text.empty() && where != Where::After) {
        const std::size_t end = text.find_first_of("\r\n");
        const std::string_view line = TrimBlanks(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (where == Where::Inside) {
                where = Where::After;
            } else {
                const std::size_t close = line.find(']');
                const std::string_view name =
                    TrimBlanks(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
                if (EqualsNoCase(name, section)) where = Where::Inside;
            }
            continue;
        }
        if (where != Where::Inside) continue;

        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || !EqualsNoCase(TrimBlanks(line.substr(0, eq)), key)) continue;
        std::string_view value = TrimBlanks(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return CutToCharacters(value, kProfileValueMax);
    }
    return std::string(fallback);
}

} // namespace parktotals
