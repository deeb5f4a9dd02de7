#include "db/connection_string.h"

namespace parktotals {

OdbcTarget BuildOdbcTarget() {
    // FreeTDS knows neither "." nor "(local)" ("Unknown host machine name").
    // Its "ca file = system" is the system's trust store (GnuTLS's, which is
    // what Debian's FreeTDS is built with).
    return OdbcTarget{PARKTOTALS_ODBC_DRIVER, "127.0.0.1", false, "system"};
}

} // namespace parktotals
