#include "totals/date_key.h"

#include <windows.h>

namespace parktotals {

LocalDate TodayOnLocalClock() { return NowOnLocalClock().date; }

LocalDateTime NowOnLocalClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {{now.wYear, now.wMonth, now.wDay}, now.wHour, now.wMinute, now.wSecond};
}

} // namespace parktotals
