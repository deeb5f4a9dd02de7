#include "totals/run_report.h"

#include "text/errors.h"
#include "text/message_table.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace parktotals {
namespace {

std::string Reason(int error) { return TrimMessageTail(std::strerror(error)); }

// Closes the descriptor, which also lets go of a lock on it.
struct Descriptor {
    explicit Descriptor(int fd) : fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    int fd;
};

// Why a file of this kind is not the report; nullopt for a plain file.
std::optional<std::string> NotAPlainFile(mode_t mode) {
    if (S_ISREG(mode)) return std::nullopt;
    if (S_ISDIR(mode)) return Reason(EISDIR);
    if (S_ISLNK(mode)) return Say(msg::kNotPlainLink);
    if (S_ISFIFO(mode)) return Say(msg::kNotPlainFifo);
    if (S_ISCHR(mode) || S_ISBLK(mode)) return Say(msg::kNotPlainDevice);
    return Say(msg::kNotPlainFile);
}

} // namespace

ReportFormat NativeReportFormat() { return {false, "\n"}; }

std::optional<std::string> UnderReportLock(const std::string& path, std::chrono::milliseconds wait,
                                           const std::function<std::optional<std::string>()>& write) {
    // The folder, not the file: the file is replaced, and a lock on the
    // old one would not hold the next run back. flock adds no file.
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const Descriptor lock(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (lock.fd < 0) return Say(msg::kFolderCannotBeOpened, {Reason(errno)});
    const auto give_up = std::chrono::steady_clock::now() + wait;
    while (::flock(lock.fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EINTR) continue;
        if (error != EWOULDBLOCK) return Say(msg::kCannotBeLocked, {Reason(error)});
        if (std::chrono::steady_clock::now() >= give_up)
            return Say(msg::kLockedByAnotherRun,
                       {std::to_string(std::chrono::duration_cast<std::chrono::seconds>(wait).count())});
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return write();
}

std::optional<std::string> ReadReportFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT ? std::nullopt : std::optional(Reason(errno));
    if (std::optional<std::string> why = NotAPlainFile(info.st_mode)) return why;
    // Should it have become a link or a FIFO since: not followed, and no
    // waiting for a writer.
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.fd < 0 && errno == ENOENT) return std::nullopt;
    if (file.fd < 0) return errno == ELOOP ? NotAPlainFile(S_IFLNK) : Reason(errno);
    if (::fstat(file.fd, &info) != 0) return Reason(errno);
    if (std::optional<std::string> why = NotAPlainFile(info.st_mode)) return why;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(file.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Reason(errno);
        if (n == 0) return std::nullopt;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace parktotals
