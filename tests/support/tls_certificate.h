#pragma once

#include <string>

#include "support/temp_dir.h"

namespace parktotals::testing {

// A self-signed certificate (an EC P-256 key, valid for a day) and its key
// as PEM files in a folder of their own, made afresh for a test and removed
// with it. Nothing of it is ever committed. The certificate names the given
// host, as an IP address when it reads as one, as a DNS name otherwise; a
// client that checks names compares them with the server it connected to.
class TlsCertificate {
public:
    // Throws std::runtime_error with OpenSSL's reason.
    explicit TlsCertificate(const std::string& host = "127.0.0.1");

    const std::string& certificate_file() const { return certificate_file_; }
    const std::string& key_file() const { return key_file_; }

private:
    TempDir dir_;
    std::string certificate_file_;
    std::string key_file_;
};

} // namespace parktotals::testing
