#include "db/connection_string.h"

namespace parktotals {

OdbcTarget BuildOdbcTarget() {
    return OdbcTarget{PARKTOTALS_ODBC_DRIVER, "(local)", true, ""};
}

} // namespace parktotals
