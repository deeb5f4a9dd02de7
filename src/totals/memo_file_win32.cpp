#include "totals/memo_file.h"

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

[[noreturn]] void ThrowCannotCreate(const std::wstring& path, DWORD error) {
    const std::string reason = SystemMessage(error);
    throw FileWriteError("Cannot create file \"" + FullPath(path) + "\". " + reason, reason);
}

// A virus scanner or an indexer that opens the new file the moment it is
// closed makes the move fail for a moment; a second later it goes through.
bool MoveIntoPlace(const std::wstring& from, const std::wstring& to, DWORD& error) {
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION) ||
            attempt == 5)
            return false;
        Sleep(200);
    }
}

} // namespace

bool ProcessRunning(unsigned long process_id) {
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
    // Access denied: it runs, under another account.
    if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

void WriteNewFile(const std::string& path, const std::string& bytes) { ReplaceWholeFile(path, bytes); }

void ReplaceWholeFile(const std::string& path, const std::string& bytes) {
    RemoveLeftovers(path);
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
            if (error != ERROR_FILE_EXISTS || attempt == 99) ThrowCannotCreate(wide_path, error);
        }
    }
    std::size_t done = 0;
    DWORD error = ERROR_SUCCESS;
    while (done < bytes.size() && error == ERROR_SUCCESS) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) error = GetLastError();
        else if (written != chunk) error = ERROR_HANDLE_DISK_FULL;
        done += written;
    }
    // On disk before the move, or a power cut could leave the new name on
    // an empty file.
    if (error == ERROR_SUCCESS && !FlushFileBuffers(file)) error = GetLastError();
    CloseHandle(file);
    if (error != ERROR_SUCCESS) {
        DeleteFileW(temp.c_str());
        throw FileWriteError("Stream write error", SystemMessage(error));
    }
    if (!MoveIntoPlace(temp, wide_path, error)) {
        DeleteFileW(temp.c_str());
        ThrowCannotCreate(wide_path, error);
    }
}

} // namespace parktotals
