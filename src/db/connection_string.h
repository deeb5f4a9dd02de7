#pragma once

#include "db/gateway.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    // system's own store). Empty where FreeTDS cannot be handed a
    // freetds.conf (the Windows build, whose "SQL Server" is FreeTDS under
    // Wine).
    std::string freetds_ca_file;
    // The library the driver manager loads for a driver name, nullopt when
    // the name is not registered: what tells the drivers apart (unset: no
    // name is registered).
    std::function<std::optional<std::string>(const std::string& driver)> driver_library;
};

// The target this build was made for: the PARKTOTALS_ODBC_DRIVER driver,
// the platform's rules and its driver manager's register of drivers.
OdbcTarget BuildOdbcTarget();

inline constexpr int kDefaultLoginTimeoutSeconds = 15;
// No login waits longer: "no limit" (0) and more are taken as this.
inline constexpr int kMaxLoginTimeoutSeconds = 120;
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
    // "host\instance" when the server is a named instance written without a
    // port: its port comes from the SQL Server Browser on that host.
    std::string named_instance;
    // What the translation changed of what the string asked for, one short
    // sentence each, for the run report (a login time-out capped).
    std::vector<std::string> adjustments;
};

inline constexpr const char* kFreeTdsSection = "parktotals-encrypted";

// Keys compare case-insensitively, last one wins; values may be quoted with
// " or ' (the quote doubled inside); pairs split at ';'. Providers SQLOLEDB,
// SQLNCLI* and MSOLEDBSQL* become target.driver (also when no provider is
// given), MSDASQL passes its DSN or Driver on. The timeout keys come back as
// login_timeout_seconds, at most kMaxLoginTimeoutSeconds. "Use Encryption
// for Data", "Encrypt" and "Trust Server Certificate" (and MSOLEDBSQL19's
// default, encryption) become the keywords of the driver the name is
// served by, looked up once through target.driver_library (FreeTDS:
// Encryption=require; the Microsoft drivers: Encrypt=yes and
// TrustServerCertificate=yes). Keys of no use to ODBC are dropped.
// Throws UserError for an empty string, an unknown provider, a malformed
// pair, timeout or encryption value, integrated security where the target
// has none, and encryption asked of a driver the program does not know.
// No error text holds a value of the string but the driver, server and
// database names.
// `instance_port` gives the TCP port of a named instance written without
// one, found within the login time-out; nullopt leaves the look-up to the
// driver (unset: always left to it). It may throw.
using InstancePortLookUp =
    std::function<std::optional<std::string>(const std::string& host, const std::string& instance, int timeout_seconds)>;
OdbcConnectionString TranslateConnectionString(std::string_view oledb, const OdbcTarget& target,
                                               const InstancePortLookUp& instance_port = {});

// The server ("Data Source" or its synonyms) and database ("Initial
// Catalog" or "Database") of an OLE DB string, as written. Both are empty
// when the string cannot be parsed. Never throws.
ConnectionTarget DescribeConnectionString(std::string_view oledb) noexcept;

} // namespace parktotals
