#pragma once

#include "db/gateway.h"
#include "totals/date_key.h"
#include "totals/memo.h"

#include <string>

namespace parktotals {

// How a run went, as the process exit code tells a scheduler.
enum class Outcome {
    AllTransferred = 0, // all five updates accepted
    Aborted = 1,        // an error ended the run (central connection, memo1.txt)
    Incomplete = 2,     // finished, but at least one figure did not go through
};

inline constexpr const char* kParkConfigFileName = "weixinconfig.ini";
inline constexpr const char* kMemoFileName = "memo1.txt";

struct JobSettings {
    std::string park_config_path = kParkConfigFileName; // beside the executable
    std::string memo_path = kMemoFileName;              // in the working directory
    DateSource today = TodayOnLocalClock;
};

// The car park number: section "code", key "jov_park_id", "1" when the file,
// the section or the key is missing.
std::string ReadParkNumber(const std::string& park_config_path);

// The nightly job: five figures from the local database into yesterday's row
// of this car park in the central one; every accepted statement goes to the
// memo, and the memo to memo1.txt. Errors opening or closing the central
// connection and saving memo1.txt propagate; everything that goes wrong with
// one figure stays with that figure.
Outcome RunDailyTotals(Gateway& gateway, Memo& memo, const JobSettings& settings);

} // namespace parktotals
