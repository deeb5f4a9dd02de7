#include "text/errors.h"

#include "text/utf16.h"

namespace parktotals {

std::string TrimMessageTail(std::string text) {
    while (!text.empty()) {
        const char c = text.back();
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '.') break;
        text.pop_back();
    }
    return text;
}

std::string OneLine(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    const auto escape = [&out](const char* prefix, char32_t code, int digits) {
        out += prefix;
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xF];
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            ++i;
            if (byte >= 0x20 && byte != 0x7F) out += static_cast<char>(byte);
            else if (byte == '\n') out += "\\n";
            else if (byte == '\r') out += "\\r";
            else if (byte == '\t') out += "\\t";
            else escape("\\x", byte, 2);
            continue;
        }
        // One character, or one maximal part that is no UTF-8.
        const std::string_view character = text.substr(i, Utf8PrefixLength(text.substr(i), 1));
        i += character.size();
        const std::u16string units = Utf8ToUtf16(character);
        if (Utf16ToUtf8(units) != character) {
            for (const char c : character) escape("\\x", static_cast<unsigned char>(c), 2);
        } else if ((units[0] >= 0x80 && units[0] <= 0x9F) || units[0] == 0x2028 || units[0] == 0x2029 ||
                   (units[0] >= 0x202A && units[0] <= 0x202E) || (units[0] >= 0x2066 && units[0] <= 0x2069)) {
            escape("\\u", units[0], 4);
        } else {
            out += character;
        }
    }
    return out;
}

std::string Excerpt(std::string_view text) {
    const std::size_t cut = Utf8PrefixLength(text, kExcerptLength);
    if (cut == text.size()) return std::string(text);
    return std::string(text.substr(0, cut)) + "\xE2\x80\xA6"; // …
}

} // namespace parktotals
