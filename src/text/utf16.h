#pragma once

#include <string>
#include <string_view>

// The ODBC wide calls take UTF-16 (SQLWCHAR is 16 bits with unixODBC and on
// Windows alike); inside the program text is UTF-8.
namespace parktotals {

// Invalid UTF-8 (stray or missing continuation bytes, overlong forms,
// surrogates, values past U+10FFFF) becomes U+FFFD, one for each maximal
// invalid part, so nothing is silently dropped.
std::u16string Utf8ToUtf16(std::string_view utf8);

// The bytes that hold the first `characters` characters of `utf8`, counted
// as Utf8ToUtf16 counts them (each invalid part is one).
std::size_t Utf8PrefixLength(std::string_view utf8, std::size_t characters);

// An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

} // namespace parktotals
