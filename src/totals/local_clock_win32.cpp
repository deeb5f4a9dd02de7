#include "totals/date_key.h"

#include <windows.h>

namespace parktotals {

LocalDate TodayOnLocalClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay};
}

} // namespace parktotals
