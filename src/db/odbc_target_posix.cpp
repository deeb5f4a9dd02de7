#include "db/connection_string.h"

namespace parktotals {

OdbcTarget BuildOdbcTarget() {
    // FreeTDS knows neither "." nor "(local)" ("Unknown host machine name").
    return OdbcTarget{PARKTOTALS_ODBC_DRIVER, "127.0.0.1", false};
}

} // namespace parktotals
