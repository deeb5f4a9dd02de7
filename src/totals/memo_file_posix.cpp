#include "totals/memo_file.h"

#include "text/errors.h"

#include <cerrno>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parktotals {
namespace {

std::string FullPath(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return path;
    std::string full = cwd;
    if (full.back() != '/') full += '/';
    return full + path;
}

std::string Reason(int error) { return TrimMessageTail(std::strerror(error)); }

[[noreturn]] void ThrowCannotCreate(const std::string& path, int error) {
    throw FileWriteError("Cannot create file \"" + FullPath(path) + "\". " + Reason(error), Reason(error));
}

[[noreturn]] void ThrowWriteError(int error) { throw FileWriteError("Stream write error", Reason(error)); }

// Writes all of `bytes`; 0, or the error that cut the writing short.
int WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// Only a plain file (or none yet) is replaced: a device such as /dev/null
// or a link is written through, as before.
bool Replaceable(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT;
    return S_ISREG(info.st_mode) || S_ISDIR(info.st_mode);
}

void WriteInPlace(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) ThrowCannotCreate(path, errno);
    int error = WriteAll(fd, bytes);
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) ThrowWriteError(error);
}

} // namespace

bool ProcessRunning(unsigned long process_id) {
    // EPERM: it runs, under another account.
    return ::kill(static_cast<pid_t>(process_id), 0) == 0 || errno != ESRCH;
}

void WriteNewFile(const std::string& path, const std::string& bytes) {
    if (!Replaceable(path)) return WriteInPlace(path, bytes);
    ReplaceWholeFile(path, bytes);
}

void ReplaceWholeFile(const std::string& path, const std::string& bytes) {
    RemoveLeftovers(path);
    // The new text goes into a file beside the old one, which rename then
    // replaces in one step: a reader, a second copy of the program or a
    // crash never leaves a mix of two runs or half a file.
    const std::string temp_prefix = path + "." + std::to_string(::getpid()) + ".";
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = temp_prefix + std::to_string(attempt) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 99)) ThrowCannotCreate(path, errno);
    }
    int error = WriteAll(fd, bytes);
    // On disk before the rename, or a power cut could leave the new name
    // on an empty file.
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        ThrowWriteError(error);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = errno;
        ::unlink(temp.c_str());
        ThrowCannotCreate(path, error);
    }
}

} // namespace parktotals
