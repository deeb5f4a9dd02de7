#pragma once

// What the gateway and daily-run tests share: stand-in scripts, OLE DB
// connection strings that reach a stand-in, and the window's four database
// components with the gateway over them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "db/central_connection.h"
#include "db/database.h"
#include "db/database_gateway.h"
#include "standin/standin.h"
#include "support/network.h"
#include "support/standin_scripts.h"

namespace parktotals::testing {

inline standin::Script Rules(std::vector<standin::Rule> rules) {
    standin::Script script;
    script.rules = std::move(rules);
    return script;
}

inline std::string StandinHost(std::uint16_t port) { return "127.0.0.1," + std::to_string(port); }

// The way RegInfo.INI names a car park's own server.
inline std::string LocalConnectionString(std::uint16_t port) {
    return "Provider=SQLOLEDB.1;Data Source=" + StandinHost(port) +
           ";Initial Catalog=park;User ID=sa;Password=pw";
}

// The same with encryption asked for, `ask` as RegInfo.INI would write it
// ("Use Encryption for Data=True", "Encrypt=Mandatory;Trust Server
// Certificate=True", ...).
inline std::string EncryptedLocalConnectionString(std::uint16_t port, const std::string& ask) {
    return LocalConnectionString(port) + ";" + ask;
}

// The ';' and the quote make the built-in string quote the password, and
// the ODBC string brace it: both have to survive the trip to the server.
inline constexpr const char* kCentralUser = "parktotals";
inline constexpr const char* kCentralPassword = "Cen;tral'Pass-1";

inline std::string CentralString(std::uint16_t port) {
    return CentralConnectionString(StandinHost(port), kCentralUser, kCentralPassword);
}

// The components as the window owns them, each query after its connection.
struct FormComponents {
    explicit FormComponents(std::string central_connection_string)
        : gateway(Conn, ADOec, ADOCondir, ADOecdir, std::move(central_connection_string)) {}

    Connection Conn;
    Query ADOec{Conn};
    Connection ADOCondir;
    Query ADOecdir{ADOCondir};
    DatabaseGateway gateway;
};

} // namespace parktotals::testing
