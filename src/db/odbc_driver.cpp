#include "db/odbc_driver.h"

#include "text/ascii.h"

#include <algorithm>

namespace parktotals {
namespace {

// FreeTDS 1.3.17, found by trying it (tests/integration/standin_odbc_test.cpp):
// "Encrypt=yes" is ignored and the login goes in plain text; only
// Encryption=require encrypts, and then takes ANY certificate unless a
// freetds.conf section gives it a "ca file".
constexpr OdbcDriver kFreeTds{false, true, true, "Encryption=require", "", "", true};

// Microsoft's documentation of each driver's keywords: "SQL Server"
// (sqlsrv32.dll, every Windows) takes Encrypt=yes ("Use strong encryption
// for data"); SQL Server Native Client (sqlncli*.dll) and ODBC Driver 11 to
// 17 for SQL Server (msodbcsql*) take Encrypt=yes|no and
// TrustServerCertificate=yes|no. TrustServerCertificate is not in the
// "SQL Server" driver's documentation: a driver that ignores it checks the
// certificate, which can refuse a connection but never sends one in plain
// text. ODBC Driver 18 and later also take Encrypt=Mandatory, Optional and
// Strict (TDS 8, the certificate checked whatever the trust says).
constexpr OdbcDriver kMicrosoft{true, false, false, "Encrypt=yes", "", "TrustServerCertificate=yes", false};
constexpr OdbcDriver kMicrosoft18{true, false, false, "Encrypt=yes", "Encrypt=strict", "TrustServerCertificate=yes",
                                  false};

} // namespace

const OdbcDriver* IdentifyOdbcDriver(std::string_view library) {
    const std::size_t slash = library.find_last_of("/\\");
    const std::string file = AsciiLower(slash == std::string_view::npos ? library : library.substr(slash + 1));
    // Debian's tdsodbc registers "libtdsodbc.so"; FreeTDS built for Windows is tdsodbc.dll.
    if (file.starts_with("libtdsodbc.") || file.starts_with("tdsodbc.")) return &kFreeTds;
    if (file == "sqlsrv32.dll" || file.starts_with("sqlncli") || file.starts_with("libsqlncli")) return &kMicrosoft;
    for (const std::string_view prefix : {"msodbcsql", "libmsodbcsql-"}) {
        if (!file.starts_with(prefix)) continue;
        const int version = VersionAt(file, prefix.size());
        if (version >= 18) return &kMicrosoft18;
        if (version >= 11) return &kMicrosoft;
    }
    return nullptr;
}

} // namespace parktotals
