#include "files/whole_file.h"

#include "text/message_table.h"
#include "text/text_codec_win32.h"

#include <windows.h>

#include <algorithm>
#include <thread>

namespace parktotals {
namespace {

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (ok()) CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }
    bool ok() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

std::wstring FullWidePath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    return full;
}

std::optional<std::string> NotAPlainFile(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Say(msg::kNotPlainReparsePoint);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Say(msg::kNotPlainFolder);
    if (attributes & FILE_ATTRIBUTE_DEVICE) return Say(msg::kNotPlainDevice);
    return std::nullopt;
}

[[noreturn]] void ThrowCannotCreate(const std::wstring& path, DWORD error) {
    const std::string reason = SystemMessage(error);
    throw FileWriteError("Cannot create file \"" + WideToUtf8(FullWidePath(path)) + "\". " + reason, reason);
}

// A virus scanner or an indexer that has the file open makes these fail
// for a moment.
bool Passing(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// Puts `from` in the place of `to`. ReplaceFileW keeps what the old file
// had: its security descriptor, its attributes; a new file gets the
// folder's. Tried again for a second when the error passes.
bool MoveIntoPlace(const std::wstring& from, const std::wstring& to, DWORD& error) {
    for (int attempt = 0;; ++attempt) {
        const DWORD attributes = GetFileAttributesW(to.c_str());
        const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
        // A folder is refused by MoveFileExW ("Access denied"); Wine's
        // ReplaceFileW would move it aside.
        if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0
                ? ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                : MoveFileExW(from.c_str(), to.c_str(), (exists ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH))
            return true;
        error = GetLastError();
        // The old file gone, or another come, since it was looked for: the
        // other way at once.
        const bool raced = error == ERROR_FILE_NOT_FOUND || error == ERROR_ALREADY_EXISTS;
        if ((!raced && !Passing(error)) || attempt == 5) return false;
        if (!raced) Sleep(200);
    }
}

} // namespace

// Notepad before Windows 10 1903 reads a file without a byte-order mark in
// the ANSI code page, and shows LF-only text as one line.
TextFormat NativeTextFormat() { return {true, "\r\n"}; }

std::string FullPath(const std::string& path) { return WideToUtf8(FullWidePath(Utf8ToWide(path))); }

bool ProcessRunning(unsigned long process_id) {
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
    // Access denied: it runs, under another account.
    if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

std::optional<std::string> ReadPlainFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    const std::wstring wide_path = Utf8ToWide(path);
    const DWORD attributes = GetFileAttributesW(wide_path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
        return SystemMessage(error);
    }
    if (std::optional<std::string> why = NotAPlainFile(attributes)) return why;
    // The link itself, should the name have become one since.
    const Handle file(CreateFileW(wide_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.ok()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
        return SystemMessage(error);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info))
        return Say(msg::kNotPlainFile);
    if (std::optional<std::string> why = NotAPlainFile(info.dwFileAttributes)) return why;
    char buffer[64 * 1024];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) return SystemMessage(GetLastError());
        if (read == 0) return std::nullopt;
        bytes.append(buffer, read);
    }
}

// A secret needs nothing more here: the new file takes the folder's rights,
// which the installer restricts.
void ReplaceWholeFile(const std::string& path, const std::string& bytes, FileRights) {
    RemoveLeftovers(path);
    // Wine's ReplaceFileW refuses relative paths (ERROR_DIRECTORY).
    const std::wstring wide_path = FullWidePath(Utf8ToWide(path));
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

std::optional<std::string> UnderFolderLock(const std::string& path, std::chrono::milliseconds wait,
                                           const std::function<std::optional<std::string>()>& work) {
    // A file in the folder, opened with no sharing: every path to the
    // folder (a subst drive, a UNC path, a junction) reaches the same file,
    // and it has the folder's rights, so only an account that may change
    // the folder can hold it.
    std::wstring lock_path = FullWidePath(Utf8ToWide(path));
    lock_path.resize(lock_path.find_last_of(L"\\/") + 1);
    lock_path += Utf8ToWide(kFolderLockFileName);
    const auto give_up = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const Handle lock(CreateFileW(lock_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (lock.ok()) return work();
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION) return Say(msg::kCannotBeLocked, {SystemMessage(error)});
        if (std::chrono::steady_clock::now() >= give_up)
            return Say(msg::kLockedByAnotherRun,
                       {std::to_string(std::chrono::duration_cast<std::chrono::seconds>(wait).count())});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace parktotals
