#include "db/freetds_conf.h"

#include "text/errors.h"
#include "text/message_table.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace parktotals {
namespace {

UserError CannotMake(const std::string& why) {
    return UserError(Say(msg::kFreeTdsConfCannotMake, {why}));
}

// Why a new descriptor of `path` does not read `text` from its start;
// empty when it does.
std::string ReadBackFault(const std::string& path, const std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    std::string read;
    char buffer[4096];
    std::string fault;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fault = std::strerror(errno);
        if (n <= 0) break;
        read.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    if (fault.empty() && read != text) fault = Say(msg::kFreeTdsConfReadsBackOtherwise);
    return fault;
}

} // namespace

ScopedFreeTdsConf::ScopedFreeTdsConf(const std::string& text) {
    if (text.empty()) return;
    if (const char* previous = std::getenv("FREETDSCONF")) {
        had_previous_ = true;
        previous_ = previous;
    }
    // A memory file: nothing on disk, gone with the descriptor. FreeTDS
    // opens it again by its /proc name.
    fd_ = memfd_create("parktotals-freetds.conf", MFD_CLOEXEC);
    if (fd_ < 0) throw CannotMake(std::strerror(errno));
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const std::string why = std::strerror(errno);
            Undo();
            throw CannotMake(why);
        }
        done += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd_);
    if (setenv("FREETDSCONF", path.c_str(), 1) != 0) {
        const std::string why = std::strerror(errno);
        Undo();
        throw CannotMake(Say(msg::kFreeTdsConfVariableNotSet, {why}));
    }
    if (const std::string why = ReadBackFault(path, text); !why.empty()) {
        Undo();
        throw CannotMake(Say(msg::kFreeTdsConfUnreadable, {path, why}));
    }
}

ScopedFreeTdsConf::~ScopedFreeTdsConf() { Undo(); }

void ScopedFreeTdsConf::Undo() noexcept {
    if (fd_ < 0) return;
    if (had_previous_)
        setenv("FREETDSCONF", previous_.c_str(), 1);
    else
        unsetenv("FREETDSCONF");
    close(fd_);
    fd_ = -1;
}

} // namespace parktotals
