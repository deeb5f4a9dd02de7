#include "totals/memo_file.h"

#include "text/errors.h"
#include "text/text_codec_win32.h"

#include <windows.h>

#include <algorithm>

namespace parktotals {
namespace {

std::string FullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return WideToUtf8(path);
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return WideToUtf8(path);
    full.resize(length);
    return WideToUtf8(full);
}

std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length == 0 ? std::string() : WideToUtf8(std::wstring_view(text, length));
    LocalFree(text);
    return TrimMessageTail(message);
}

} // namespace

void WriteNewFile(const std::string& path, const std::string& bytes) {
    const std::wstring wide_path = Utf8ToWide(path);
    // The new text goes into a file beside the old one, which MoveFileExW
    // then replaces in one step: a second copy of the program or a crash
    // never leaves a mix of two runs or half a file.
    const std::wstring temp_prefix = wide_path + L"." + std::to_wstring(GetCurrentProcessId()) + L".";
    std::wstring temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = temp_prefix + std::to_wstring(attempt) + L".tmp";
        // No sharing while it is written.
        file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            // Read the error before anything else can overwrite it.
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS || attempt == 99)
                throw UserError("Cannot create file \"" + FullPath(wide_path) + "\". " + SystemMessage(error));
        }
    }
    std::size_t done = 0;
    bool failed = false;
    while (done < bytes.size() && !failed) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        failed = !WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written != chunk;
        done += written;
    }
    // On disk before the move, or a power cut could leave the new name on
    // an empty file.
    if (!failed && !FlushFileBuffers(file)) failed = true;
    CloseHandle(file);
    if (failed) {
        DeleteFileW(temp.c_str());
        throw UserError("Stream write error");
    }
    if (!MoveFileExW(temp.c_str(), wide_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temp.c_str());
        throw UserError("Cannot create file \"" + FullPath(wide_path) + "\". " + SystemMessage(error));
    }
}

} // namespace parktotals
