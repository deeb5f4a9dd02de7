#include "totals/date_key.h"

#include <ctime>

namespace parktotals {

LocalDate TodayOnLocalClock() { return NowOnLocalClock().date; }

LocalDateTime NowOnLocalClock() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {{local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday)},
            static_cast<unsigned>(local.tm_hour),
            static_cast<unsigned>(local.tm_min),
            static_cast<unsigned>(local.tm_sec)};
}

} // namespace parktotals
