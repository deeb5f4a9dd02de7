#include "db/odbc_driver.h"

#include "text/ascii.h"

namespace parktotals {
namespace {

// FreeTDS 1.3.17, found by trying it (tests/integration/standin_odbc_test.cpp):
// "Encrypt=yes" is ignored and the login goes in plain text; only
// Encryption=require encrypts, and then takes ANY certificate unless a
// freetds.conf section gives it a "ca file".
constexpr OdbcDriver kFreeTds{"FreeTDS", false, true, true, "Encryption=require", "", "", true};

// Microsoft's documentation of each driver's keywords:
// - "SQL Server" (sqlsrv32.dll, every Windows): Encrypt=yes ("Use strong
//   encryption for data"). TrustServerCertificate is not among its
//   keywords; a driver that ignores it checks the certificate, which can
//   only refuse a connection, never send one unencrypted.
// - SQL Server Native Client (sqlncli*.dll) and ODBC Driver 11 to 17 for
//   SQL Server (msodbcsql*): Encrypt=yes|no, TrustServerCertificate=yes|no.
// - ODBC Driver 18 and later: Encrypt also takes Mandatory, Optional and
//   Strict (TDS 8, which checks the certificate whatever the trust says).
constexpr OdbcDriver kSqlServer{"SQL Server", true, false, false, "Encrypt=yes", "", "TrustServerCertificate=yes",
                                false};
constexpr OdbcDriver kNativeClient{"SQL Server Native Client", true, false, false, "Encrypt=yes", "",
                                   "TrustServerCertificate=yes", false};
constexpr OdbcDriver kOdbcDriver17{"ODBC Driver for SQL Server", true, false, false, "Encrypt=yes", "",
                                   "TrustServerCertificate=yes", false};
constexpr OdbcDriver kOdbcDriver18{"ODBC Driver 18 for SQL Server", true, false, false, "Encrypt=yes",
                                   "Encrypt=strict", "TrustServerCertificate=yes", false};

// The major version after `prefix` ("msodbcsql18.dll", "libmsodbcsql-18.3.so.2.1").
int VersionAfter(std::string_view name, std::string_view prefix) {
    int version = 0;
    for (std::size_t i = prefix.size(); i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i)
        version = version * 10 + (name[i] - '0');
    return version;
}

} // namespace

const OdbcDriver* IdentifyOdbcDriver(std::string_view library) {
    const std::size_t slash = library.find_last_of("/\\");
    const std::string file = AsciiLower(slash == std::string_view::npos ? library : library.substr(slash + 1));
    // Debian's tdsodbc registers "libtdsodbc.so"; FreeTDS built for Windows is tdsodbc.dll.
    if (StartsWithNoCase(file, "libtdsodbc.") || StartsWithNoCase(file, "tdsodbc.")) return &kFreeTds;
    if (file == "sqlsrv32.dll") return &kSqlServer;
    if (StartsWithNoCase(file, "sqlncli")) return &kNativeClient;
    for (const std::string_view prefix : {"msodbcsql", "libmsodbcsql-"}) {
        if (!StartsWithNoCase(file, prefix)) continue;
        const int version = VersionAfter(file, prefix);
        if (version >= 18) return &kOdbcDriver18;
        if (version >= 11) return &kOdbcDriver17;
    }
    return nullptr;
}

} // namespace parktotals
