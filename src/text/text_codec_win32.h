#pragma once

#include <string>
#include <string_view>

// Windows' side of the text crossings: the W functions of the system take
// UTF-16, which is what wchar_t holds there.
namespace parktotals {

// Invalid UTF-8 becomes U+FFFD.
std::wstring Utf8ToWide(std::string_view utf8);
// An unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

// The system's text for an error code (GetLastError), trimmed the way
// messages are (TrimMessageTail).
std::string SystemMessage(unsigned long error);

} // namespace parktotals
