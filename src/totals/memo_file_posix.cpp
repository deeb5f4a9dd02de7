#include "totals/memo_file.h"

#include "text/errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

} // namespace

void WriteNewFile(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        throw UserError("Cannot create file \"" + FullPath(path) + "\". " +
                        TrimMessageTail(std::strerror(error)));
    }
    std::size_t done = 0;
    bool failed = false;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed = true;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) failed = true;
    if (failed) throw UserError("Stream write error");
}

} // namespace parktotals
