#include "db/freetds_conf.h"

#include "text/errors.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace parktotals {

ScopedFreeTdsConf::ScopedFreeTdsConf(const std::string& text) {
    if (text.empty()) return;
    if (const char* previous = std::getenv("FREETDSCONF")) {
        had_previous_ = true;
        previous_ = previous;
    }
    // A memory file: nothing on disk, gone with the descriptor. FreeTDS
    // opens it again by its /proc name.
    fd_ = memfd_create("parktotals-freetds.conf", MFD_CLOEXEC);
    if (fd_ < 0)
        throw UserError(std::string("The settings for checking the server certificate cannot be made: ") +
                        std::strerror(errno));
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = errno;
            close(fd_);
            throw UserError(std::string("The settings for checking the server certificate cannot be made: ") +
                            std::strerror(error));
        }
        done += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd_);
    setenv("FREETDSCONF", path.c_str(), 1);
}

ScopedFreeTdsConf::~ScopedFreeTdsConf() {
    if (fd_ < 0) return;
    if (had_previous_)
        setenv("FREETDSCONF", previous_.c_str(), 1);
    else
        unsetenv("FREETDSCONF");
    close(fd_);
}

} // namespace parktotals
