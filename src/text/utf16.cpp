#include "text/utf16.h"
#include "text/text_codec.h"

namespace parktotals {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Reads the character that starts at utf8[i] and moves i past it: a valid
// sequence, or one maximal invalid part as U+FFFD.
char32_t DecodeUtf8(std::string_view utf8, std::size_t& i) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i++]);
    if (lead < 0x80) return lead;
    int more;
    char32_t c;
    // The second byte's range rules out overlong forms, surrogates and
    // values past U+10FFFF before any of them is assembled.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        c = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        c = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return kReplacement;
    }
    for (int k = 0; k < more; ++k) {
        const unsigned char next = i < utf8.size() ? static_cast<unsigned char>(utf8[i]) : 0;
        // The offending byte starts over as a lead byte of its own.
        if (i >= utf8.size() || next < low || next > high) return kReplacement;
        c = (c << 6) | (next & 0x3F);
        ++i;
        low = 0x80;
        high = 0xBF;
    }
    return c;
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) AppendUtf16(out, DecodeUtf8(utf8, i));
    return out;
}

std::size_t Utf8PrefixLength(std::string_view utf8, std::size_t characters) {
    std::size_t i = 0;
    for (std::size_t n = 0; n < characters && i < utf8.size(); ++n) DecodeUtf8(utf8, i);
    return i;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        char32_t c = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
                ++i;
            } else {
                c = kReplacement;
            }
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

bool DecodeUtf16File(std::string_view file_bytes, std::string& utf8) {
    bool big_endian;
    if (file_bytes.substr(0, 2) == "\xFF\xFE") {
        big_endian = false;
    } else if (file_bytes.substr(0, 2) == "\xFE\xFF") {
        big_endian = true;
    } else {
        return false;
    }
    file_bytes.remove_prefix(2);
    std::u16string units;
    units.reserve(file_bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < file_bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(file_bytes[i]);
        const auto second = static_cast<unsigned char>(file_bytes[i + 1]);
        units += static_cast<char16_t>(big_endian ? first << 8 | second : second << 8 | first);
    }
    utf8 = Utf16ToUtf8(units);
    // Half a code unit is no character, but it is not dropped silently.
    if (file_bytes.size() % 2 != 0) utf8 += "\xEF\xBF\xBD";
    return true;
}

std::string EncodeUtf16File(std::string_view utf8, bool big_endian) {
    std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : Utf8ToUtf16(utf8)) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += big_endian ? high : low;
        bytes += big_endian ? low : high;
    }
    return bytes;
}

} // namespace parktotals
