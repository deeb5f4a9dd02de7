#pragma once

#include <string>
#include <string_view>

// Small helpers for the ASCII parts of text: connection strings, INI files
// are matched by their ASCII letters and blanks, while
// the bytes of other UTF-8 characters pass through unchanged.
namespace parktotals {

// Space or tab: what the connection string and INI readers trim.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

constexpr std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Only A to Z change.
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

} // namespace parktotals
