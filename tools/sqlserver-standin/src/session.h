#pragma once

#include <memory>

#include "standin/standin.h"
#include "tls.h"

namespace parktotals::standin {

// What a connection needs of the server that accepted it.
class SessionHost {
public:
    virtual ~SessionHost() = default;
    virtual std::shared_ptr<const Script> CurrentScript() = 0;
    virtual void Record(const Login& login) = 0;
    virtual void Record(const Batch& batch) = 0;
    virtual void RecordAttention(int connection) = 0;
    // Why a connection was closed on the client's account.
    virtual void RecordError(int connection, const std::string& reason) = 0;
    // The certificate, or null when the server has none.
    virtual const TlsContext* Tls() = 0;
    virtual bool EncryptionRequired() = 0;
    // The script's pre-login fault if this connection is to meet it, counted.
    virtual PreloginFault TakePreloginFault() = 0;
    // Waits until held answers may go (true), or until `fd` has something
    // to read: a request, or the end of the connection (false).
    virtual bool WaitForRelease(int fd) = 0;
};

// Talks TDS on `fd` until the client leaves, breaks the protocol, or a rule
// drops it. Leaves closing `fd` to the caller.
void RunSession(int fd, int connection, SessionHost& host);

} // namespace parktotals::standin
