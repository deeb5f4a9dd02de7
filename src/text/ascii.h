#pragma once

#include <algorithm>
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

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Plain decimal digits, at least one: no sign, no blanks.
constexpr bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text)
        if (!IsDigit(c)) return false;
    return true;
}

// The number the digits from `at` on make, capped at 1000 so that a long
// run of them cannot overflow; 0 when there are none. For version numbers:
// ("MSOLEDBSQL19.1", 10) gives 19.
constexpr int VersionAt(std::string_view text, std::size_t at) {
    int version = 0;
    for (std::size_t i = at; i < text.size() && IsDigit(text[i]); ++i)
        version = std::min(version * 10 + (text[i] - '0'), 1000);
    return version;
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
