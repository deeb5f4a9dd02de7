#pragma once

#include <string>

namespace parktotals {

// The central totals database's connection string: an OLE DB string for the
// hosted account, whose database is named after the user ("<user>_db"). The
// three values are fixed when the program is built.
std::string CentralConnectionString(const std::string& host, const std::string& user,
                                    const std::string& password);

} // namespace parktotals
