#pragma once

#include <optional>
#include <string>
#include <string_view>

// The ODBC drivers the program knows how to talk to, told apart by the
// library that serves a driver name, never by the name: machines register
// FreeTDS as "SQL Server" so that Windows connection strings run unchanged.
namespace parktotals {

// What one driver takes in a connection string. An empty keyword is one
// the driver does not have.
struct OdbcDriver {
    // Reads "}}" inside a braced value back as "}". FreeTDS 1.3 does not:
    // it takes a braced value up to the first "};".
    bool undoes_doubled_brace = true;
    // Needs TDS_Version=7.4: with "tds version = auto" (Debian's
    // freetds.conf) FreeTDS follows a failed 7.4 login with a TDS 5.0 one,
    // which only Sybase speaks and which waits on a silent server with no
    // time-out at all.
    bool pins_tds_version = false;
    // Connects nowhere with a bare host: needs the port of the default
    // instance, or an instance name whose port it asks the SQL Browser for.
    bool needs_port = false;
    std::string_view encrypt; // encrypted or no connection, the certificate checked
    std::string_view strict;  // TDS 8 encryption; empty: `encrypt` is the closest
    std::string_view trust;   // added to `encrypt` to take any certificate
    // Takes certificate authorities only from a freetds.conf section, which
    // the connection string then names instead of the server.
    bool checks_certificate_through_conf = false;
};

// The driver a library is, from its file name (a path, or the bare name as
// unixODBC and the Windows registry hold it); nullptr for one the program
// does not know.
const OdbcDriver* IdentifyOdbcDriver(std::string_view library);

// The library the platform's driver manager loads for a driver name: on
// Linux unixODBC's odbcinst.ini (honouring ODBCSYSINI), on Windows what
// odbc32 reports, which under Wine is the host's unixODBC. nullopt when the
// name is not registered.
std::optional<std::string> RegisteredDriverLibrary(const std::string& driver);

} // namespace parktotals
