#pragma once

#include "db/gateway.h"

#include <string>
#include <string_view>

// Both of the program's connection strings are written for OLE DB
// (Provider=SQLOLEDB.1;Data Source=...); the program talks ODBC. This turns
// the one into the other.
namespace parktotals {

// What the ODBC side of a build looks like.
struct OdbcTarget {
    std::string driver;               // the driver the SQL Server providers map to
    std::string this_machine;         // stands in for ".", "(local)" and a missing server
    bool integrated_security = false; // whether Windows logins are possible
};

// The target this build was made for: the PARKTOTALS_ODBC_DRIVER driver and
// the platform's rules.
OdbcTarget BuildOdbcTarget();

inline constexpr int kDefaultLoginTimeoutSeconds = 15;
// Where a SQL Server's default instance listens.
inline constexpr const char* kDefaultSqlServerPort = "1433";

struct OdbcConnectionString {
    std::string odbc;
    int login_timeout_seconds = kDefaultLoginTimeoutSeconds;
};

// Keys compare case-insensitively, last one wins; values may be quoted with
// " or ' (the quote doubled inside); pairs split at ';'. Providers SQLOLEDB,
// SQLNCLI* and MSOLEDBSQL* become target.driver (also when no provider is
// given), MSDASQL passes its DSN or Driver on. The timeout keys come back as
// login_timeout_seconds. Keys of no use to ODBC are dropped.
// Throws UserError for an empty string, an unknown provider, a malformed
// pair or timeout, and integrated security where the target has none. No
// error text ever contains the password.
OdbcConnectionString TranslateConnectionString(std::string_view oledb, const OdbcTarget& target);

// The server ("Data Source" or its synonyms) and database ("Initial
// Catalog" or "Database") of an OLE DB string, as written. Both are empty
// when the string cannot be parsed. Never throws.
ConnectionTarget DescribeConnectionString(std::string_view oledb) noexcept;

} // namespace parktotals
