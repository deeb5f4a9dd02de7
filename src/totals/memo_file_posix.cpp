#include "totals/memo_file.h"

#include "text/errors.h"

#include <cerrno>
#include <cstring>
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

[[noreturn]] void ThrowCannotCreate(const std::string& path, int error) {
    throw UserError("Cannot create file \"" + FullPath(path) + "\". " + TrimMessageTail(std::strerror(error)));
}

// Writes all of `bytes`; false when the writing was cut short.
bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
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
    bool failed = !WriteAll(fd, bytes);
    if (::close(fd) != 0) failed = true;
    if (failed) throw UserError("Stream write error");
}

} // namespace

void WriteNewFile(const std::string& path, const std::string& bytes) {
    if (!Replaceable(path)) return WriteInPlace(path, bytes);

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
    bool failed = !WriteAll(fd, bytes);
    // On disk before the rename, or a power cut could leave the new name
    // on an empty file.
    if (!failed && ::fsync(fd) != 0) failed = true;
    if (::close(fd) != 0) failed = true;
    if (failed) {
        ::unlink(temp.c_str());
        throw UserError("Stream write error");
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        ThrowCannotCreate(path, error);
    }
}

} // namespace parktotals
