#pragma once

// Text as Notepad saves it with "Unicode" (UTF-16 LE) or "Unicode big
// endian" (UTF-16 BE): a byte-order mark, then the text's code units.

#include "text/utf16.h"

#include <string>
#include <string_view>

namespace parktotals::testing {

inline std::string Utf16File(std::string_view utf8, bool big_endian) {
    std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : Utf8ToUtf16(utf8)) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += big_endian ? high : low;
        bytes += big_endian ? low : high;
    }
    return bytes;
}

inline std::string Utf16LeFile(std::string_view utf8) { return Utf16File(utf8, false); }
inline std::string Utf16BeFile(std::string_view utf8) { return Utf16File(utf8, true); }

} // namespace parktotals::testing
