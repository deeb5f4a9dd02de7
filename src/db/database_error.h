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

// What a failure means for another try. The one place that decides is
// KindOf, from a table of SQLSTATEs and native error numbers.
enum class FailureKind {
    Final,        // the statement's own error, or a refusal: another try ends alike
    LoginRefused, // the server refused the login (18456, 28000): wrong user or password
    NoAnswer,     // no server answered
    ConnectFailed, // the connection could not be made, the driver does not say why
    LinkLost,     // the link went in the middle of a call
    TimedOut,     // the driver stopped waiting (the query, login or connection time-out)
    Busy,         // the server's deadlock victim (1205) or lock time-out (1222)
};

FailureKind KindOf(const DatabaseError& error);

// Another try may get past a failure of this kind: it passes (no answer, a
// lost link, a time-out, a deadlock). Never a refused login, refused
// encryption, or an error in the statement itself.
bool WorthAnotherTry(FailureKind kind);

inline bool IsLoginRefusal(const DatabaseError& error) { return KindOf(error) == FailureKind::LoginRefused; }
inline bool IsTransient(const DatabaseError& error) { return WorthAnotherTry(KindOf(error)); }
// No server answered a login: nothing listened, or not within the login
// time-out.
inline bool IsNoAnswer(const DatabaseError& error) {
    const FailureKind kind = KindOf(error);
    return kind == FailureKind::NoAnswer || kind == FailureKind::TimedOut;
}

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
