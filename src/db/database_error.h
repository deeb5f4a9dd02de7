#pragma once

#include "db/gateway.h"
#include "text/errors.h"

#include <string>
#include <string_view>
#include <vector>

namespace parktotals {

// A failure reported by the ODBC driver or driver manager. what() is the
// driver's own description, cleaned for showing.
class DatabaseError : public UserError {
public:
    DatabaseError(const std::string& message, std::string sqlstate, long native_code, bool link_lost);

    const std::string& SqlState() const noexcept { return sqlstate_; }
    long NativeCode() const noexcept { return native_code_; }
    // The link to the server is gone (08S01, 08S02, 08003 or 08007 among the
    // records): the connection is of no further use.
    bool LinkLost() const noexcept { return link_lost_; }
    // Another try cannot get past it, whatever its codes say; kept in
    // copies of the error, also where it is copied as a DatabaseError.
    bool Final() const noexcept { return final_; }

protected:
    bool final_ = false;

private:
    std::string sqlstate_;
    long native_code_;
    bool link_lost_;
};

// A connection with encryption asked for that failed, not for want of an
// answer nor for the login: the server most likely offers no encryption,
// or its certificate is not trusted. The message says so.
class EncryptionRefusedError : public DatabaseError {
public:
    explicit EncryptionRefusedError(const DatabaseError& cause);
};

// One record as SQLGetDiagRec hands it out, message already in UTF-8.
struct DiagnosticRecord {
    std::string sqlstate;
    long native_code = 0;
    std::string message;
};

// Drops the leading "[vendor][component]" tags drivers put in front of
// their texts ("[FreeTDS][SQL Server]", "[Microsoft][ODBC SQL Server
// Driver][SQL Server]"), then TrimMessageTail.
std::string CleanDriverMessage(std::string_view raw);

bool IsLinkFailureState(std::string_view sqlstate);

// The server refused the login itself (SQL Server error 18456, SQLSTATE
// 28000): wrong user or password, not a fault of the network.
bool IsLoginRefusal(const DatabaseError& error);

// No server answered: FreeTDS's 20009 "Unable to connect: Adaptive Server
// is unavailable or does not exist", the Microsoft driver's 17 "SQL Server
// does not exist or access denied", or the login time-out (HYT00).
bool IsNoAnswer(const DatabaseError& error);

// The driver gave up waiting for the server: HYT00 (the query or login
// time-out), HYT01 (the connection time-out). What was sent may still be
// carried out.
bool IsTimeOut(const DatabaseError& error);

// A failure another try may get past: no answer from the server (or a
// failed connection, 08001), a lost link, a time-out, the server's deadlock
// victim (1205) or lock time-out (1222). Never a refused login, refused
// encryption, or an error in the statement itself.
bool IsTransient(const DatabaseError& error);

// The error for a failed call, from the records it left. The first record
// that is not a warning (class 01) speaks for the failure, but a server's
// reason for refusing a login speaks before its 18456 "Login failed"; when
// there are only warnings the first one does, and with no record at all the
// text names the call.
DatabaseError MakeDatabaseError(const std::vector<DiagnosticRecord>& records, std::string_view call);

// The reason to keep for a failure the caller swallows: a DatabaseError's
// message, SQLSTATE and native code, or any other error's message.
FailureReason FailureReasonOf(const std::exception& error);

} // namespace parktotals
