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
    // Where FreeTDS finds the trusted certificate authorities when a server
    // certificate has to be checked: its "ca file" ("system" for the
    // system's own store). Empty where no FreeTDS can be the driver.
    std::string freetds_ca_file;
};

// The target this build was made for: the PARKTOTALS_ODBC_DRIVER driver and
// the platform's rules.
OdbcTarget BuildOdbcTarget();

inline constexpr int kDefaultLoginTimeoutSeconds = 15;
// Where a SQL Server's default instance listens.
inline constexpr const char* kDefaultSqlServerPort = "1433";

// What the connection string asks of the link's encryption.
enum class Encryption {
    Off,       // nothing asked: the driver's own default
    Required,  // encrypted or no connection; the certificate checked
    Unchecked, // encrypted or no connection; any certificate taken
};

struct OdbcConnectionString {
    std::string odbc;
    int login_timeout_seconds = kDefaultLoginTimeoutSeconds;
    Encryption encryption = Encryption::Off;
    // FreeTDS takes no certificate authorities from a connection string,
    // only from a freetds.conf section: when the certificate has to be
    // checked, `odbc` names the section kFreeTdsSection and this is its
    // text, for the link to hand to FreeTDS.
    std::string freetds_conf;
    // "host\instance" when the server is a named instance: the driver asks
    // the SQL Server Browser on that host for the instance's port.
    std::string named_instance;
};

inline constexpr const char* kFreeTdsSection = "parktotals-encrypted";

// Keys compare case-insensitively, last one wins; values may be quoted with
// " or ' (the quote doubled inside); pairs split at ';'. Providers SQLOLEDB,
// SQLNCLI* and MSOLEDBSQL* become target.driver (also when no provider is
// given), MSDASQL passes its DSN or Driver on. The timeout keys come back as
// login_timeout_seconds. "Use Encryption for Data", "Encrypt" and
// "Trust Server Certificate" become the driver's own keywords (FreeTDS:
// Encryption=require; the Microsoft drivers: Encrypt=yes and
// TrustServerCertificate=yes). Keys of no use to ODBC are dropped.
// Throws UserError for an empty string, an unknown provider, a malformed
// pair, timeout or encryption value, and integrated security where the
// target has none. No error text ever contains the password.
OdbcConnectionString TranslateConnectionString(std::string_view oledb, const OdbcTarget& target);

// The server ("Data Source" or its synonyms) and database ("Initial
// Catalog" or "Database") of an OLE DB string, as written. Both are empty
// when the string cannot be parsed. Never throws.
ConnectionTarget DescribeConnectionString(std::string_view oledb) noexcept;

} // namespace parktotals
