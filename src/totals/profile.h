#pragma once

#include <string>
#include <string_view>

// Reading one value from a Windows-style private profile (INI) file.
namespace parktotals {

// Longest value returned: the reader's buffer holds 2048 characters with the
// terminating NUL.
inline constexpr std::size_t kProfileValueMax = 2047;

// The value of `key` in `section` of a profile file's bytes, decoded by
// FileTextToUtf8 (which drops a byte-order mark), by the rules of the
// Windows reader: section and key names compare case-insensitively; blanks
// around names and values are trimmed; one pair of matching surrounding
// quotes (' or ") is removed; lines whose first non-blank character is ';'
// are comments; the first matching section, and the first matching key in
// it, win; values are cut to kProfileValueMax characters. A missing section
// or key gives `fallback`.
std::string ProfileValue(std::string_view file_text, std::string_view section,
                         std::string_view key, std::string_view fallback);

// The same from a file; on Windows the system's reader does it, with the
// file in the ANSI code page. A file that is missing or cannot be read gives `fallback`; never throws.
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view fallback);

// Whether `path` names a file (not a folder) that exists.
bool IsProfileFile(const std::string& path);

} // namespace parktotals
