#pragma once

#include "db/gateway.h"
#include "totals/date_key.h"
#include "totals/figures.h"
#include "totals/memo.h"
#include "totals/run_options.h"

#include <array>
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
inline constexpr const char* kNightsFileName = "transferred-nights.txt";

struct RetryRound;

struct JobSettings {
    std::string park_config_path = kParkConfigFileName; // beside the executable
    std::string memo_path = kMemoFileName;              // in the working directory
    std::string nights_path = kNightsFileName;          // beside memo1.txt
    DateSource today = TodayOnLocalClock;
    RunOptions options;
    // Called before each retry round; waits round.wait and returns true, or
    // false when the run is to end instead (its window was closed). Without
    // one the job sleeps.
    std::function<bool(const RetryRound& round)> wait_before_retry;
};

inline constexpr const char* kDefaultParkNumber = "1";

// The car park number and where it came from.
struct ParkNumber {
    enum class Source {
        File,          // the key in weixinconfig.ini
        DefaultNoFile, // no weixinconfig.ini: the default
        DefaultNoKey,  // the file has no [code] jov_park_id: the default
    };
    std::string number;
    Source source = Source::File;
    std::string config_path; // the weixinconfig.ini looked for
};

// The car park number: section "code", key "jov_park_id", "1" when the file,
// the section or the key is missing.
ParkNumber LookUpParkNumber(const std::string& park_config_path);

// What became of one figure.
enum class FigureStatus {
    NotTried,     // the run ended before it
    Transferred,  // the update changed rows, as the server counted them
    MatchedNoRow, // the server accepted the update, but it changed no row
    Uncounted,    // the server accepted the update, but sent no row count
    NotSent,      // the local query failed, or the statement could not be sent
    Refused,      // the central server refused the update
    LinkLost,     // the central connection was lost with the update
    TimedOut,     // no answer to the update within the query time-out
};

struct FigureRecord {
    FigureStatus status = FigureStatus::NotTried;
    std::string value;     // the value sent, once there is one
    ChangedRows rows;      // Transferred and MatchedNoRow
    FailureReason failure; // NotSent, Refused, LinkLost and TimedOut
};

// What the job did, filled in as it goes, so that a run the job aborts
// still tells how far it got.
struct JobRecord {
    bool figures_started = false; // the central connection was open
    ParkNumber park;
    std::string date_key;
    std::array<FigureRecord, kFigureCount> figures;

    int TransferredCount() const;
};

// The nightly job: five figures from the local database into yesterday's row
// of this car park in the central one; every accepted statement goes to the
// memo, and the memo to memo1.txt. Errors opening or closing the central
// connection and saving memo1.txt propagate; everything that goes wrong with
// one figure stays with that figure, its reason in `record`.
Outcome RunDailyTotals(Gateway& gateway, Memo& memo, const JobSettings& settings, JobRecord& record);

} // namespace parktotals
