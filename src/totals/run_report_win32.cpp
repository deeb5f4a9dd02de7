#include "totals/run_report.h"

#include "text/message_table.h"
#include "text/text_codec_win32.h"

#include <windows.h>

#include <sddl.h>

namespace parktotals {
namespace {

std::wstring FullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    return full;
}

// The mutex every run writing a report in this folder opens: named after
// the folder's full path, in the global namespace so that a run by hand
// and the scheduled task (another session, or another account) meet.
std::wstring LockName(const std::string& path) {
    std::wstring folder = FullPath(Utf8ToWide(path));
    folder.resize(folder.find_last_of(L"\\/") + 1);
    // Names are case-blind on Windows; mutex names are not.
    CharUpperBuffW(folder.data(), static_cast<DWORD>(folder.size()));
    unsigned long long hash = 14695981039346656037ull; // FNV-1a
    for (const wchar_t c : folder) hash = (hash ^ static_cast<unsigned long long>(c)) * 1099511628211ull;
    wchar_t hex[17];
    for (int i = 15; i >= 0; --i, hash >>= 4) hex[i] = L"0123456789abcdef"[hash & 0xF];
    hex[16] = L'\0';
    return std::wstring(L"Global\\parktotals-report-") + hex;
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }
    bool ok() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

std::optional<std::string> NotAPlainFile(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Say(msg::kNotPlainReparsePoint);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Say(msg::kNotPlainFolder);
    if (attributes & FILE_ATTRIBUTE_DEVICE) return Say(msg::kNotPlainDevice);
    return std::nullopt;
}

} // namespace

// Notepad before Windows 10 1903 reads a file without a byte-order mark in
// the ANSI code page, and shows LF-only text as one line.
ReportFormat NativeReportFormat() { return {true, "\r\n"}; }

std::optional<std::string> UnderReportLock(const std::string& path, std::chrono::milliseconds wait,
                                           const std::function<std::optional<std::string>()>& write) {
    // Whoever created it, every account may wait for it and release it.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x00100001;;;AU)(A;;GA;;;SY)(A;;GA;;;BA)",
                                                              SDDL_REVISION_1, &descriptor, nullptr))
        return Say(msg::kCannotBeLocked, {SystemMessage(GetLastError())});
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const Handle mutex(
        CreateMutexExW(&attributes, LockName(path).c_str(), 0, SYNCHRONIZE | MUTEX_MODIFY_STATE));
    const DWORD create_error = GetLastError();
    LocalFree(descriptor);
    if (!mutex.ok()) return Say(msg::kCannotBeLocked, {SystemMessage(create_error)});
    // WAIT_ABANDONED: a run died holding it. The file was replaced whole
    // or not at all, so there is nothing to repair.
    const DWORD waited = WaitForSingleObject(mutex.get(), static_cast<DWORD>(wait.count()));
    if (waited == WAIT_TIMEOUT)
        return Say(msg::kLockedByAnotherRun,
                   {std::to_string(std::chrono::duration_cast<std::chrono::seconds>(wait).count())});
    if (waited == WAIT_FAILED) return Say(msg::kCannotBeLocked, {SystemMessage(GetLastError())});
    struct Release {
        HANDLE mutex;
        ~Release() { ReleaseMutex(mutex); }
    } release{mutex.get()};
    return write();
}

std::optional<std::string> ReadReportFile(const std::string& path, std::string& bytes) {
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

} // namespace parktotals
