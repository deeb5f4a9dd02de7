#include "text/errors.h"
#include "text/text_codec.h"
#include "text/text_codec_win32.h"

#include <windows.h>

#include <climits>

namespace parktotals {
namespace {

// Without MB_ERR_INVALID_CHARS both calls replace what they cannot convert
// (U+FFFD one way, the code page's default character the other) instead of
// failing, so text never gets lost as a whole.
std::wstring ToWide(UINT code_page, std::string_view bytes) {
    if (bytes.empty() || bytes.size() > INT_MAX) return {};
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(code_page, 0, bytes.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(code_page, 0, bytes.data(), size, wide.data(), length);
    return wide;
}

std::string FromWide(UINT code_page, std::wstring_view wide) {
    if (wide.empty() || wide.size() > INT_MAX) return {};
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(code_page, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(code_page, 0, wide.data(), size, bytes.data(), length, nullptr, nullptr);
    return bytes;
}

} // namespace

std::wstring Utf8ToWide(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }
std::string WideToUtf8(std::wstring_view wide) { return FromWide(CP_UTF8, wide); }

// Files are in the ANSI code page (936, GBK, on the machines the program
// serves), unless an editor saved them as UTF-8 or UTF-16 with a
// byte-order mark.
std::string FileTextToUtf8(std::string_view file_bytes) {
    std::string utf8;
    if (DecodeUtf16File(file_bytes, utf8)) return utf8;
    if (DropUtf8Bom(file_bytes)) return WideToUtf8(Utf8ToWide(file_bytes));
    return WideToUtf8(ToWide(GetACP(), file_bytes));
}

std::string Utf8ToFileText(std::string_view utf8) { return FromWide(GetACP(), Utf8ToWide(utf8)); }

std::string SystemMessage(unsigned long error) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length == 0 ? std::string() : WideToUtf8(std::wstring_view(text, length));
    LocalFree(text);
    return TrimMessageTail(message);
}

} // namespace parktotals
