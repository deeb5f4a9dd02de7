#pragma once

#include <string>
#include <string_view>

// Inside the program all text is UTF-8. Text files of the machine (RegInfo.INI,
// weixinconfig.ini, memo1.txt) are in its ANSI code page on Windows and in
// UTF-8 elsewhere; these two functions are the only crossing. File text that
// starts with a byte-order mark is UTF-8, UTF-16 LE or UTF-16 BE as the mark
// says, on every platform (Notepad's "UTF-8", "Unicode" and "Unicode big
// endian"); the mark is dropped.
namespace parktotals {

std::string FileTextToUtf8(std::string_view file_bytes);
std::string Utf8ToFileText(std::string_view utf8);

// File text that starts with a UTF-16 byte-order mark (FF FE little endian,
// FE FF big endian): the rest as UTF-8 in `utf8`, a last odd byte and
// unpaired surrogates as U+FFFD. False, with `utf8` untouched, without a
// mark. For FileTextToUtf8.
bool DecodeUtf16File(std::string_view file_bytes, std::string& utf8);

// The other way: the mark, then the code units of `utf8`.
std::string EncodeUtf16File(std::string_view utf8, bool big_endian);

// Drops a UTF-8 byte-order mark from the front of `text`; true when there
// was one. For the two functions above.
constexpr bool DropUtf8Bom(std::string_view& text) {
    if (text.substr(0, 3) != "\xEF\xBB\xBF") return false;
    text.remove_prefix(3);
    return true;
}

} // namespace parktotals
