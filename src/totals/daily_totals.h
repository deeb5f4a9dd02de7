#pragma once

#include "db/gateway.h"
#include "totals/date_key.h"
#include "totals/figures.h"
#include "totals/memo.h"
#include "totals/run_options.h"
#include "totals/stop_flag.h"

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace parktotals {

// How a run went, as the process exit code tells a scheduler.
enum class Outcome {
    AllTransferred = 0, // every figure asked for was transferred
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
    // false when the run is to end instead (a stop was asked for). Without
    // one the job sleeps.
    std::function<bool(const RetryRound& round)> wait_before_retry;
    // Asked between figures; a stop ends the run as every run ends.
    const StopFlag* stop = nullptr;
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
    NotAsked,     // a past day's: the figure counts what is there now
};

struct FigureRecord {
    FigureStatus status = FigureStatus::NotTried;
    std::string value;     // the value sent, once there is one
    ChangedRows rows;      // Transferred and MatchedNoRow
    FailureReason failure; // NotSent, Refused, LinkLost and TimedOut
    int tries = 0;         // how often it was tried in this run
};

// Why a night is in the run.
enum class NightKind {
    Yesterday, // the nightly run's own: all five figures
    Resent,    // a past day asked for with --date
    CaughtUp,  // a night this installation missed, found by --catch-up
};

struct NightRecord {
    LocalDate date;
    std::string date_key;
    NightKind kind = NightKind::Yesterday;
    std::array<FigureRecord, kFigureCount> figures;

    // The figures this night sends (NotAsked: the others).
    bool Asks(int figure) const;
    // Whether the figures a past day can have (3 to 5) all got through.
    bool DayFiguresTransferred() const;
};

// What became of --catch-up.
struct CatchUpRecord {
    bool asked = false;
    int nights_looked_at = 0;          // the nights before yesterday looked at
    std::optional<std::string> first;  // the first night the record holds, when it holds one
    std::vector<std::string> missed;   // date keys, oldest first
    std::optional<std::string> problem; // why the record could not be used
};

// Waiting before another try, and what it was for.
struct RetryRound {
    struct Pending {
        std::string date_key;
        int figure = 0;
        FigureRecord last_try; // what became of it, and why
    };
    int number = 1;  // 1 for the first retry
    int retries = 0; // how many the run may make
    std::chrono::seconds wait{0};
    // The central database could not be opened at all: the whole run is
    // tried again.
    std::optional<FailureReason> central_unreached;
    std::vector<Pending> pending;
    bool interrupted = false; // the run was stopped during the wait
    // After the wait, the central database still could not be opened.
    std::optional<FailureReason> reopen_failed;
};

// What the job did, filled in as it goes, so that a run the job aborts
// still tells how far it got.
struct JobRecord {
    bool figures_started = false; // the central connection was open
    ParkNumber park;
    std::string date_key; // the first night's
    std::vector<NightRecord> nights;
    CatchUpRecord catch_up;
    std::vector<RetryRound> rounds;
    // Why transferred-nights.txt could not be read or written.
    std::optional<std::string> nights_record_problem;
    // What reading it left out, one sentence each.
    std::vector<std::string> nights_record_skipped;
    // Set when a request from outside ended the run before its end.
    std::optional<StopRequest> stopped;

    int TransferredCount() const;
    int AskedCount() const;
};

// The nights a run sends, in order: yesterday first (unless --date leaves it
// out), then the past days oldest first. `missed` are catch-up's.
std::vector<NightRecord> PlanNights(LocalDate today, const RunOptions& options,
                                    const std::vector<LocalDate>& missed);

// Whether another try may get the figure through: it failed for a reason
// that passes (no answer, a lost link, a time-out, a deadlock), and the
// server has not accepted it.
bool WorthRetrying(const FigureRecord& figure);

// The nightly job: five figures from the local database into yesterday's row
// of this car park in the central one (or figures 3 to 5 into past days'
// rows, as the options ask); every accepted statement goes to the memo, and
// the memo to memo1.txt. Figures that failed for a reason that passes are
// tried again as the options allow (at most options.retries waits in the
// whole run, whatever failed), never one the server accepted. Errors
// opening the central connection (after the last try) or closing it and
// saving memo1.txt propagate; everything that goes wrong with one figure
// stays with that figure, its reason in `record`. The nights whose figures
// 3 to 5 got through are added to transferred-nights.txt. A stop asked for
// ends the run after the statement under way, as every run ends.
Outcome RunDailyTotals(Gateway& gateway, Memo& memo, const JobSettings& settings, JobRecord& record);

} // namespace parktotals
