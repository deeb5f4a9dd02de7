#include "db/odbc_driver.h"

#include "db/connection_string.h"

#include <odbcinst.h>

namespace parktotals {

std::optional<std::string> RegisteredDriverLibrary(const std::string& driver) {
    // The keys unixODBC's own driver manager reads, in its order: a 64-bit
    // build takes Driver64 before Driver.
    for (const char* key : {sizeof(void*) >= 8 ? "Driver64" : "Driver", "Driver"}) {
        char library[4096] = {};
        if (SQLGetPrivateProfileString(driver.c_str(), key, "", library, sizeof library, "ODBCINST.INI") > 0 &&
            library[0] != '\0')
            return std::string(library);
    }
    return std::nullopt;
}

OdbcTarget BuildOdbcTarget() {
    // FreeTDS knows neither "." nor "(local)" ("Unknown host machine name").
    // Its "ca file = system" is the system's trust store (GnuTLS's, which is
    // what Debian's FreeTDS is built with).
    return OdbcTarget{PARKTOTALS_ODBC_DRIVER, "127.0.0.1", false, "system", RegisteredDriverLibrary};
}

} // namespace parktotals
