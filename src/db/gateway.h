#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace parktotals {

// Why an operation on a database failed, kept so that the run report can
// say it after the job has swallowed the error.
struct FailureReason {
    std::string message;  // the driver's text, or the program's own
    std::string sqlstate; // empty when the program refused before the driver
    long native_code = 0; // the server's error number, 0 when none
    // Another try may go through: the failure passes (no answer, a lost
    // link, a time-out, a deadlock), unlike a refusal or the statement's own.
    bool transient = false;
    // It failed logging in, before any statement: the database's other
    // statements would wait for the same login.
    bool at_login = false;
};

// What a local query came to: true on success, or why it failed.
class QueryResult {
public:
    QueryResult() = default;
    explicit QueryResult(FailureReason failure) : failure_(std::move(failure)) {}

    explicit operator bool() const { return !failure_; }
    const std::optional<FailureReason>& failure() const { return failure_; }

private:
    std::optional<FailureReason> failure_;
};

// Where a connection string points: its server and database as written,
// empty when not given. Nothing else of the string, never its password.
struct ConnectionTarget {
    std::string server;
    std::string database;
};

// How the start-up set-up of the local connection went.
struct LocalSetUp {
    enum class Status {
        Open,           // connected
        FileMissing,    // RegInfo.INI missing or unreadable
        FirstLineEmpty, // its first line is empty
        NotUnderstood,  // the connection string cannot be used
        LoginRefused,   // the server refused the login
        Unreachable,    // no server answered
        Failed,         // the driver failed otherwise
    };
    Status status = Status::FileMissing;
    ConnectionTarget target; // when the string could be read
    FailureReason failure;   // all but Open
    // What the program changed of what the string asked for (a login
    // time-out capped), one sentence each.
    std::vector<std::string> adjustments;
};

// The rows an update changed, as the server counted them; nullopt when it
// sent no count (a server running with NOCOUNT ON).
using ChangedRows = std::optional<long long>;

// What the daily totals job needs of the two databases. The real one runs
// over ODBC; tests put a fake in its place. It sits here, beside the real
// one, so that totals depends on db and never the other way round.
class Gateway {
public:
    virtual ~Gateway() = default;

    // Assigns the built-in connection string and opens the central
    // connection. Errors propagate.
    virtual void OpenCentral() = 0;
    virtual bool IsCentralOpen() const = 0;
    // Errors propagate.
    virtual void CloseCentral() = 0;

    // Runs a query on the local database. On success sets `value` to the first
    // field of the first row as text (empty for NULL). Every failure is
    // swallowed: `value` keeps what it held and the result says why.
    virtual QueryResult QueryLocalScalar(const std::string& statement, std::string& value) = 0;

    // Runs a statement on the central database, ignoring any result, and
    // returns the rows it changed. Errors propagate.
    virtual ChangedRows ExecCentral(const std::string& statement) = 0;
};

} // namespace parktotals
