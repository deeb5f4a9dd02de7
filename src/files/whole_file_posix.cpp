#include "files/whole_file.h"

#include "text/message_table.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>
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

// Why a file of this kind is not one to read whole; nullopt for a plain file.
std::optional<std::string> NotAPlainFile(mode_t mode) {
    if (S_ISREG(mode)) return std::nullopt;
    if (S_ISDIR(mode)) return Reason(EISDIR);
    if (S_ISLNK(mode)) return Say(msg::kNotPlainLink);
    if (S_ISFIFO(mode)) return Say(msg::kNotPlainFifo);
    if (S_ISCHR(mode) || S_ISBLK(mode)) return Say(msg::kNotPlainDevice);
    return Say(msg::kNotPlainFile);
}

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

void WriteInPlace(const std::string& path, const std::string& bytes, mode_t mode) {
    const Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (file.fd < 0) ThrowCannotCreate(path, errno);
    if (const int error = WriteAll(file.fd, bytes)) ThrowWriteError(error);
}

// The lock file's rights: read and write for each class of account
// (owner, group, others) that may change the folder, none for the others.
mode_t LockMode(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return 0600;
    mode_t mode = 0600;
    if (info.st_mode & S_IWGRP) mode |= 0060;
    if (info.st_mode & S_IWOTH) mode |= 0006;
    return mode;
}

} // namespace

TextFormat NativeTextFormat() { return {false, "\n"}; }

std::string FullPath(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return path;
    std::string full = cwd;
    if (full.back() != '/') full += '/';
    return full + path;
}

bool ProcessRunning(unsigned long process_id) {
    // EPERM: it runs, under another account.
    return ::kill(static_cast<pid_t>(process_id), 0) == 0 || errno != ESRCH;
}

std::optional<std::string> ReadPlainFile(const std::string& path, std::string& bytes) {
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

void ReplaceWholeFile(const std::string& path, const std::string& bytes, FileRights rights) {
    const bool secret = rights == FileRights::OwnerOnly;
    struct stat original {};
    const bool exists = ::lstat(path.c_str(), &original) == 0;
    if (!exists && errno != ENOENT) ThrowCannotCreate(path, errno);
    // A device such as /dev/null, or a link, is written through, as before.
    if (exists && !S_ISREG(original.st_mode) && !S_ISDIR(original.st_mode))
        return WriteInPlace(path, bytes, secret ? 0600 : 0666);

    RemoveLeftovers(path);
    // A new plain file gets the usual rights (0666 less the umask); else
    // owner-only from the start, as the text may be a secret, and the old
    // file's rights are set before it is renamed into place.
    const mode_t create_mode = secret || exists ? 0600 : 0666;
    const std::string temp_prefix = path + "." + std::to_string(::getpid()) + ".";
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = temp_prefix + std::to_string(attempt) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, create_mode);
        if (fd < 0 && (errno != EEXIST || attempt == 99)) ThrowCannotCreate(path, errno);
    }
    int error = WriteAll(fd, bytes);
    if (error == 0 && !secret && exists) {
        // The owner and group only where the process may give them (root,
        // or a group it belongs to); the mode after them, as fchown may
        // clear set-id bits.
        // Neither failing is an error: the file is then the process's.
        if (::fchown(fd, original.st_uid, original.st_gid) != 0)
            std::ignore = ::fchown(fd, static_cast<uid_t>(-1), original.st_gid);
        if (::fchmod(fd, original.st_mode & 07777) != 0) error = errno;
    }
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

std::optional<std::string> UnderFolderLock(const std::string& path, std::chrono::milliseconds wait,
                                           const std::function<std::optional<std::string>()>& work) {
    // A file of its own, not the file worked on: that one is replaced, and
    // a lock on the old one would not hold the next run back.
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    const std::string lock_path = folder + kFolderLockFileName;
    int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    // Its rights set whatever the umask, which may leave others reading it
    // (and a descriptor open for reading can be locked too).
    if (fd >= 0 && ::fchmod(fd, LockMode(folder)) != 0) {
        const int error = errno;
        ::close(fd);
        return Say(msg::kCannotBeLocked, {Reason(error)});
    }
    if (fd < 0 && errno == EEXIST) fd = ::open(lock_path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    const Descriptor lock(fd);
    if (lock.fd < 0) return Say(msg::kCannotBeLocked, {Reason(errno)});
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
    return work();
}

} // namespace parktotals
