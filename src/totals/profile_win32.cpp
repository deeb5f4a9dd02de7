#include "totals/profile.h"

#include "files/whole_file.h"
#include "text/text_codec_win32.h"

#include <windows.h>

#include <iterator>

namespace parktotals {

// The system's own reader, so its rules (trimming, quotes, comments, the
// file's code page) are the ones that hold. The path is made full first: a
// name without a folder would be looked up in the Windows folder.
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view fallback) {
    wchar_t buffer[kProfileValueMax + 1];
    const DWORD length = GetPrivateProfileStringW(
        Utf8ToWide(section).c_str(), Utf8ToWide(key).c_str(), Utf8ToWide(fallback).c_str(), buffer,
        static_cast<DWORD>(std::size(buffer)), Utf8ToWide(FullPath(path)).c_str());
    return WideToUtf8(std::wstring_view(buffer, length));
}

bool IsProfileFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

} // namespace parktotals
