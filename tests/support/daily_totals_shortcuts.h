#pragma once

// Shorter ways into the job for tests that look only at the car park
// number or at the outcome; the program itself keeps what the job records.

#include "totals/daily_totals.h"

#include <string>

namespace parktotals {

inline std::string ReadParkNumber(const std::string& park_config_path) {
    return LookUpParkNumber(park_config_path).number;
}

inline Outcome RunDailyTotals(Gateway& gateway, Memo& memo, const JobSettings& settings) {
    JobRecord record;
    return RunDailyTotals(gateway, memo, settings, record);
}

} // namespace parktotals
