#pragma once

#include <string>

namespace parktotals {

// What the built-in string asks of the link's encryption; fixed when the
// program is built (PARKTOTALS_CENTRAL_ENCRYPT, PARKTOTALS_CENTRAL_TRUST_CERTIFICATE).
struct CentralEncryption {
    bool encrypt = false;           // encrypted or no connection
    bool trust_certificate = false; // with encryption: any certificate taken
};

// The central totals database's connection string: an OLE DB string for the
// hosted account, whose database is named after the user ("<user>_db"). The
// three values are fixed when the program is built. Without encryption it
// is the fixed string; with it, "Use Encryption for Data=True" (and "Trust
// Server Certificate=True") follow.
std::string CentralConnectionString(const std::string& host, const std::string& user,
                                    const std::string& password, CentralEncryption encryption = {});

} // namespace parktotals
