#pragma once

#include <string>

namespace parktotals {

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
    // field of the first row as text (empty for NULL) and returns true. Every
    // failure is swallowed: `value` keeps what it held and false comes back.
    virtual bool QueryLocalScalar(const std::string& statement, std::string& value) = 0;

    // Runs a statement on the central database, ignoring any result and the
    // row count. Errors propagate.
    virtual void ExecCentral(const std::string& statement) = 0;
};

} // namespace parktotals
