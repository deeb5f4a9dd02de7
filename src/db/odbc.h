#pragma once

// The ODBC headers need windows.h before them on Windows.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include "db/database_error.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A thin layer over the ODBC API: handles that free themselves, and every
// call checked by one helper. Only the wide (W) calls are used: the narrow
// ones would go through the C locale and garble anything not ASCII.
namespace parktotals {

inline constexpr int kQueryTimeoutSeconds = 30;

// Returns `rc` when the call went through and throws the DatabaseError built
// from the handle's diagnostic records otherwise. SQL_SUCCESS_WITH_INFO is
// success: its records are notices such as "Changed database context".
// SQL_NO_DATA passes too, for the callers to read (end of rows, end of
// results, an UPDATE that touched no row).
SQLRETURN CheckOdbc(SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle, const char* call);

// One ODBC handle, freed on destruction without a word. Move-only.
template <SQLSMALLINT Type>
class OdbcHandle {
public:
    OdbcHandle() = default;
    // Allocates under `parent` (SQL_NULL_HANDLE for an environment).
    explicit OdbcHandle(SQLHANDLE parent);
    ~OdbcHandle() { Free(); }

    OdbcHandle(OdbcHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = SQL_NULL_HANDLE; }
    OdbcHandle& operator=(OdbcHandle&& other) noexcept {
        if (this != &other) {
            Free();
            handle_ = other.handle_;
            other.handle_ = SQL_NULL_HANDLE;
        }
        return *this;
    }
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;

    SQLHANDLE get() const { return handle_; }
    SQLRETURN Check(SQLRETURN rc, const char* call) const { return CheckOdbc(rc, Type, handle_, call); }

private:
    void Free() noexcept {
        if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(Type, handle_);
        handle_ = SQL_NULL_HANDLE;
    }

    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

using OdbcEnvironmentHandle = OdbcHandle<SQL_HANDLE_ENV>;
using OdbcConnectionHandle = OdbcHandle<SQL_HANDLE_DBC>;
using OdbcStatementHandle = OdbcHandle<SQL_HANDLE_STMT>;

extern template class OdbcHandle<SQL_HANDLE_ENV>;
extern template class OdbcHandle<SQL_HANDLE_DBC>;
extern template class OdbcHandle<SQL_HANDLE_STMT>;

// A connection to a server, with an environment of its own. Connects on
// construction (SQLDriverConnect, no prompt; a string that contains a NUL is
// refused with UserError) and disconnects quietly on destruction unless
// Disconnect() did it first. A non-empty `freetds_conf` is what FreeTDS
// reads as its freetds.conf while it connects (see ScopedFreeTdsConf).
class OdbcLink {
public:
    OdbcLink(const std::string& odbc_connection_string, int login_timeout_seconds,
             const std::string& freetds_conf = std::string());
    ~OdbcLink();
    OdbcLink(const OdbcLink&) = delete;
    OdbcLink& operator=(const OdbcLink&) = delete;

    // Throws when the driver refuses; the link then stays connected.
    void Disconnect();
    // Whether the driver knows the server is gone (SQL_ATTR_CONNECTION_DEAD);
    // false when it cannot tell.
    bool IsDead() const noexcept;
    SQLHANDLE handle() const { return dbc_.get(); }

private:
    OdbcEnvironmentHandle env_; // declared first: outlives the connection handle
    OdbcConnectionHandle dbc_;
    bool connected_ = false;
};

struct OdbcColumn {
    SQLSMALLINT data_type = 0;
    SQLULEN size = 0; // precision for decimal and numeric
    SQLSMALLINT decimal_digits = 0;
};

// A statement handle on a link, with the query time-out set.
class OdbcStatement {
public:
    explicit OdbcStatement(const OdbcLink& link);

    // Throws UserError, sending nothing, when `sql` contains a NUL: the
    // driver would cut the statement there.
    void ExecuteDirect(std::string_view sql);
    // Moves to the next result; false when there is none.
    bool MoreResults();
    // The rows the current result changed; -1 when the driver does not know.
    long long RowCount();
    int ColumnCount();
    OdbcColumn DescribeColumn(int column);
    // Moves to the next row; false when there is none.
    bool Fetch();

    // Field readers; std::nullopt for NULL.
    std::optional<std::int64_t> GetInt64(int column);
    std::optional<double> GetDouble(int column);
    std::optional<std::string> GetText(int column);

private:
    // Reads a fixed-size field into `value`; false for NULL.
    bool GetFixed(int column, SQLSMALLINT c_type, void* value, SQLLEN size);

    OdbcStatementHandle stmt_;
};

} // namespace parktotals
