#include "totals/daily_totals.h"

#include "db/database_error.h"
#include "text/message_table.h"
#include "totals/figures.h"
#include "totals/memo.h"
#include "totals/nights_record.h"
#include "totals/profile.h"

#include <thread>

namespace parktotals {
namespace {

// No value read from a file can hold it: lines end at CR or LF.
constexpr const char* kMissing = "\n";

// Sends one figure's update and records what became of it. Returns the
// statement when the server accepted it.
std::optional<std::string> SendFigure(Gateway& gateway, int figure, const std::string& park_number,
                                      const NightRecord& night, FigureRecord& record) {
    ++record.tries;
    record.value.clear();
    record.rows.reset();
    record.failure = {};
    std::string value = "0";
    // A failed query skips the figure: sending "0" would overwrite the
    // central figure with a number nobody computed.
    const std::optional<LocalDate> day =
        night.kind == NightKind::Yesterday ? std::nullopt : std::optional<LocalDate>(night.date);
    const QueryResult query = gateway.QueryLocalScalar(FigureQuery(figure, day), value);
    if (!query) {
        record.status = FigureStatus::NotSent;
        record.failure = *query.failure();
        return std::nullopt;
    }
    // NULL means there was nothing to add up, so zero is the truth.
    // (push_back, because assigning "0" trips a GCC 12 -Wrestrict false alarm.)
    if (value.empty()) value.push_back('0');
    record.value = value;
    const std::string statement = BuildUpdateStatement(figure, value, park_number, night.date_key);
    try {
        record.rows = gateway.ExecCentral(statement);
    } catch (const DatabaseError& error) {
        // A lost link may or may not have taken the update with it; after a
        // time-out the server may still apply it (once a lock is released).
        if (IsTimeOut(error))
            record.status = FigureStatus::TimedOut;
        else
            record.status = error.LinkLost() || !gateway.IsCentralOpen() ? FigureStatus::LinkLost
                                                                         : FigureStatus::Refused;
        record.failure = FailureReasonOf(error);
        // FreeTDS may tell of a link that died mid-answer with a mere
        // warning (01000, 20017); the connection is gone all the same, and
        // a new one may get through, unless it was refused.
        if (record.status == FigureStatus::LinkLost && !IsLoginRefusal(error) && !error.Final())
            record.failure.transient = true;
        return std::nullopt;
    } catch (const std::exception& error) {
        // Refused before it left (a NUL in the statement).
        record.status = FigureStatus::NotSent;
        record.failure = FailureReasonOf(error);
        return std::nullopt;
    }
    // Only a count says the update reached its row. One that matched none,
    // or came back without a count, is not transferred, though the server
    // accepted it (and so it goes into the memo).
    if (!record.rows)
        record.status = FigureStatus::Uncounted;
    else
        record.status = *record.rows == 0 ? FigureStatus::MatchedNoRow : FigureStatus::Transferred;
    return statement;
}

// One try of one figure; whatever goes wrong stays with the figure.
void TryFigure(Gateway& gateway, Memo& memo, int figure, const std::string& park_number, NightRecord& night) {
    FigureRecord& record = night.figures[static_cast<std::size_t>(figure)];
    try {
        const std::optional<std::string> accepted = SendFigure(gateway, figure, park_number, night, record);
        // Accepted is logged, whatever happens to the memo's view.
        if (accepted) memo.AppendLine(*accepted);
    } catch (const std::exception& error) {
        // One figure's failure must not cost the others.
        if (record.status == FigureStatus::NotTried) {
            record.status = FigureStatus::NotSent;
            record.failure = FailureReasonOf(error);
        }
    } catch (...) {
        if (record.status == FigureStatus::NotTried) {
            record.status = FigureStatus::NotSent;
            record.failure = FailureReason{Say(msg::kUnknownError), "", 0};
        }
    }
}

// Records the round, numbered `number`, and waits before it. False when the
// wait was cut short (the window closed): the round says so, and the run
// is to end.
bool WaitForRound(RetryRound round, int number, const JobSettings& settings, JobRecord& record) {
    round.number = number;
    round.retries = settings.options.retries;
    round.wait = settings.options.retry_wait;
    record.rounds.push_back(std::move(round));
    const RetryRound& recorded = record.rounds.back();
    if (settings.wait_before_retry ? settings.wait_before_retry(recorded)
                                   : (std::this_thread::sleep_for(recorded.wait), true))
        return true;
    record.rounds.back().interrupted = true;
    return false;
}

// Opens the central connection, trying again after the wait while the
// failure passes and tries are left. Returns false when the run is to end
// (the wait was cut short, or the connection was merely found closed).
bool OpenCentralWithRetries(Gateway& gateway, const JobSettings& settings, JobRecord& record) {
    for (int number = 1;; ++number) {
        try {
            gateway.OpenCentral();
            return gateway.IsCentralOpen();
        } catch (const DatabaseError& error) {
            if (number > settings.options.retries || !IsTransient(error)) throw;
            RetryRound round;
            round.central_unreached = FailureReasonOf(error);
            if (!WaitForRound(std::move(round), number, settings, record)) return false;
        }
    }
}

// The retries after the first pass: each round waits, then tries again the
// figures that failed for a reason that passes.
void RetryFigures(Gateway& gateway, Memo& memo, const JobSettings& settings, JobRecord& record) {
    for (int number = 1; number <= settings.options.retries; ++number) {
        RetryRound round;
        for (const NightRecord& night : record.nights) {
            for (int figure = 0; figure < kFigureCount; ++figure) {
                const FigureRecord& last = night.figures[static_cast<std::size_t>(figure)];
                if (WorthRetrying(last)) round.pending.push_back({night.date_key, figure, last});
            }
        }
        if (round.pending.empty() || !WaitForRound(std::move(round), number, settings, record)) return;
        // Open once here rather than once per figure, each at the cost of
        // the login time-out.
        if (!gateway.IsCentralOpen()) {
            try {
                gateway.OpenCentral();
            } catch (const DatabaseError& error) {
                record.rounds.back().reopen_failed = FailureReasonOf(error);
                if (IsTransient(error)) continue;
                return;
            }
        }
        for (NightRecord& night : record.nights) {
            for (int figure = 0; figure < kFigureCount; ++figure) {
                if (WorthRetrying(night.figures[static_cast<std::size_t>(figure)]))
                    TryFigure(gateway, memo, figure, record.park.number, night);
            }
        }
    }
}

void PlanCatchUp(const JobSettings& settings, LocalDate today, JobRecord& record, std::vector<LocalDate>& missed) {
    record.catch_up.asked = true;
    record.catch_up.nights_looked_at = settings.options.catch_up;
    try {
        const NightsRecord nights = ReadNightsRecord(settings.nights_path);
        record.catch_up.first = nights.first;
        missed = MissedNights(nights, today, settings.options.catch_up);
    } catch (const std::exception& error) {
        record.catch_up.problem = error.what();
    }
}

} // namespace

ParkNumber LookUpParkNumber(const std::string& park_config_path) {
    ParkNumber park;
    park.config_path = park_config_path;
    park.number = ReadProfileString(park_config_path, "code", "jov_park_id", kMissing);
    if (park.number == kMissing) {
        park.number = kDefaultParkNumber;
        park.source = IsProfileFile(park_config_path) ? ParkNumber::Source::DefaultNoKey
                                                      : ParkNumber::Source::DefaultNoFile;
    }
    return park;
}

bool NightRecord::Asks(int figure) const { return kind == NightKind::Yesterday || HasDayQuery(figure); }

bool NightRecord::DayFiguresTransferred() const {
    for (int figure = 0; figure < kFigureCount; ++figure) {
        if (HasDayQuery(figure) && figures[static_cast<std::size_t>(figure)].status != FigureStatus::Transferred)
            return false;
    }
    return true;
}

int JobRecord::TransferredCount() const {
    int count = 0;
    for (const NightRecord& night : nights) {
        for (const FigureRecord& figure : night.figures) count += figure.status == FigureStatus::Transferred;
    }
    return count;
}

int JobRecord::AskedCount() const {
    int count = 0;
    for (const NightRecord& night : nights) {
        for (int figure = 0; figure < kFigureCount; ++figure) count += night.Asks(figure);
    }
    return count;
}

std::vector<NightRecord> PlanNights(LocalDate today, const RunOptions& options, const std::vector<LocalDate>& missed) {
    const LocalDate yesterday = AddDays(today, -1);
    std::vector<LocalDate> past = missed;
    bool with_yesterday = true;
    if (options.dates) {
        with_yesterday = false;
        for (LocalDate day = options.dates->first; DaysBetween(day, options.dates->last) >= 0; day = AddDays(day, 1)) {
            if (DaysBetween(day, yesterday) == 0)
                with_yesterday = true;
            else
                past.push_back(day);
        }
    }
    std::sort(past.begin(), past.end(), [](LocalDate a, LocalDate b) { return DaysBetween(a, b) > 0; });
    std::vector<NightRecord> nights;
    if (with_yesterday) nights.push_back({yesterday, DateKey(yesterday), NightKind::Yesterday, {}});
    for (std::size_t i = 0; i < past.size(); ++i) {
        // A day both asked for and missed is sent once, as asked for.
        if (i > 0 && DaysBetween(past[i - 1], past[i]) == 0) continue;
        const bool asked = options.dates && DaysBetween(options.dates->first, past[i]) >= 0 &&
                           DaysBetween(past[i], options.dates->last) >= 0;
        nights.push_back({past[i], DateKey(past[i]), asked ? NightKind::Resent : NightKind::CaughtUp, {}});
    }
    for (NightRecord& night : nights) {
        for (int figure = 0; figure < kFigureCount; ++figure) {
            if (!night.Asks(figure)) night.figures[static_cast<std::size_t>(figure)].status = FigureStatus::NotAsked;
        }
    }
    return nights;
}

bool WorthRetrying(const FigureRecord& figure) {
    switch (figure.status) {
    case FigureStatus::NotSent:
    case FigureStatus::Refused:
    case FigureStatus::LinkLost:
    case FigureStatus::TimedOut:
        return figure.failure.transient;
    default:
        return false;
    }
}

Outcome RunDailyTotals(Gateway& gateway, Memo& memo, const JobSettings& settings, JobRecord& record) {
    record = JobRecord();
    memo.Clear();
    // One date for the whole run, so a run that crosses midnight cannot
    // spread its figures over two days.
    const LocalDate today = settings.today();
    std::vector<LocalDate> missed;
    if (settings.options.catch_up > 0) PlanCatchUp(settings, today, record, missed);
    record.nights = PlanNights(today, settings.options, missed);
    for (const NightRecord& night : record.nights) {
        if (night.kind == NightKind::CaughtUp) record.catch_up.missed.push_back(night.date_key);
    }
    record.date_key = record.nights.empty() ? YesterdayKey(today) : record.nights.front().date_key;

    if (!OpenCentralWithRetries(gateway, settings, record)) return Outcome::Incomplete;
    record.figures_started = true;
    record.park = LookUpParkNumber(settings.park_config_path);

    for (NightRecord& night : record.nights) {
        for (int figure = 0; figure < kFigureCount; ++figure) {
            if (night.Asks(figure)) TryFigure(gateway, memo, figure, record.park.number, night);
        }
    }
    RetryFigures(gateway, memo, settings, record);

    record.nights_record_problem = RecordTransferredNights(settings.nights_path, record.nights);
    gateway.CloseCentral();
    SaveMemoFile(settings.memo_path, memo.Lines());
    return record.TransferredCount() == record.AskedCount() ? Outcome::AllTransferred : Outcome::Incomplete;
}

} // namespace parktotals
