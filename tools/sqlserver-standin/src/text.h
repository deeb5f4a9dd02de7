#pragma once

#include <string>
#include <string_view>

namespace parktotals::standin {

// TDS carries text as UTF-16LE; everything else here is UTF-8. Broken input
// (lone surrogates, bad UTF-8) turns into U+FFFD rather than failing, so a
// batch is always recorded.
std::string Utf16leToUtf8(std::string_view utf16le);
std::string Utf8ToUtf16le(std::string_view utf8);

// A JSON string literal, quotes included.
std::string JsonQuote(std::string_view utf8);

// The reverse of JSON string escaping, without the quotes. Returns false on
// a bad escape.
bool JsonUnescape(std::string_view escaped, std::string& out);

} // namespace parktotals::standin
