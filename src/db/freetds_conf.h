#pragma once

#include <string>

namespace parktotals {

// FreeTDS 1.3 reads a server certificate's trusted authorities only from
// freetds.conf, never from the connection string. While one of these
// lives, FreeTDS reads the given text as its freetds.conf (through
// FREETDSCONF) before its own files; nothing is written to disk. Empty text
// changes nothing. The connection is made while it lives, and FreeTDS
// reads the file only then.
//
// Throws UserError when the file cannot be made, the variable cannot be
// set, or the file cannot be read back by the name FreeTDS opens it by:
// FreeTDS would then take the section's name for a host name, look it up,
// and log in to whatever answers without checking its certificate.
class ScopedFreeTdsConf {
public:
    explicit ScopedFreeTdsConf(const std::string& text);
    ~ScopedFreeTdsConf();
    ScopedFreeTdsConf(const ScopedFreeTdsConf&) = delete;
    ScopedFreeTdsConf& operator=(const ScopedFreeTdsConf&) = delete;

private:
    void Undo() noexcept;

    int fd_ = -1;
    bool had_previous_ = false;
    std::string previous_;
};

} // namespace parktotals
