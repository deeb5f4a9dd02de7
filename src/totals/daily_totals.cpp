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

// One pass over the figures. A login that failed in it is not tried again
// before the next: a database that does not answer costs its login
// time-out once a pass, not once a figure.
struct Pass {
    std::optional<FailureReason> local_login;
    std::optional<FailureReason> central_login;
};

// One run of the job: where everything goes, the day the run is for, and
// its one budget of waits.
class NightlyRun {
public:
    NightlyRun(Gateway& gateway, Memo& memo, const JobSettings& settings, JobRecord& record, LocalDate today)
        : gateway_(gateway), memo_(memo), settings_(settings), record_(record), today_(today) {}

    // Opens the central connection, trying again after a wait while the
    // failure passes and waits are left. False when the run is to end
    // (stopped, or the connection merely found closed).
    bool OpenCentral() {
        for (;;) {
            if (StopAsked()) return false;
            try {
                gateway_.OpenCentral();
                return gateway_.IsCentralOpen();
            } catch (const DatabaseError& error) {
                if (!IsTransient(error) || !WaitsLeft()) throw;
                RetryRound round;
                round.central_unreached = FailureReasonOf(error);
                if (!Wait(std::move(round))) return false;
            }
        }
    }

    // The first try of every figure asked for.
    void FirstPass() {
        Pass pass;
        for (NightRecord& night : record_.nights) {
            for (int figure = 0; figure < kFigureCount; ++figure) {
                if (StopAsked()) return;
                if (night.Asks(figure)) TryFigure(figure, night, pass);
            }
        }
    }

    // Then, while waits are left, each round waits and tries again the
    // figures that failed for a reason that passes.
    void Retries() {
        for (;;) {
            RetryRound round;
            for (const NightRecord& night : record_.nights) {
                for (int figure = 0; figure < kFigureCount; ++figure) {
                    const FigureRecord& last = night.figures[static_cast<std::size_t>(figure)];
                    if (WorthRetrying(last)) round.pending.push_back({night.date_key, figure, last});
                }
            }
            if (round.pending.empty() || !WaitsLeft() || !Wait(std::move(round))) return;
            // Open once here rather than once per figure, each at the cost
            // of the login time-out.
            if (!gateway_.IsCentralOpen()) {
                try {
                    gateway_.OpenCentral();
                } catch (const DatabaseError& error) {
                    record_.rounds.back().reopen_failed = FailureReasonOf(error);
                    if (IsTransient(error)) continue;
                    return;
                }
            }
            Pass pass;
            for (NightRecord& night : record_.nights) {
                for (int figure = 0; figure < kFigureCount; ++figure) {
                    if (StopAsked()) return;
                    if (WorthRetrying(night.figures[static_cast<std::size_t>(figure)])) TryFigure(figure, night, pass);
                }
            }
        }
    }

private:
    bool StopAsked() {
        if (settings_.stop == nullptr || !settings_.stop->Requested()) return false;
        record_.stopped = settings_.stop->Get();
        return true;
    }

    bool WaitsLeft() const { return static_cast<int>(record_.rounds.size()) < settings_.options.retries; }

    // Records the round and waits before it. False when the run is to end
    // instead: the round says so.
    bool Wait(RetryRound round) {
        round.number = static_cast<int>(record_.rounds.size()) + 1;
        round.retries = settings_.options.retries;
        round.wait = settings_.options.retry_wait;
        record_.rounds.push_back(std::move(round));
        const RetryRound& recorded = record_.rounds.back();
        if (!StopAsked() && (settings_.wait_before_retry ? settings_.wait_before_retry(recorded)
                                                         : (std::this_thread::sleep_for(recorded.wait), true)))
            return true;
        record_.rounds.back().interrupted = true;
        // A wait cut short without a request said: its window was closed.
        if (!StopAsked()) record_.stopped = StopRequest{StopCause::WindowClosed};
        return false;
    }

    // The query a figure's try sends. Figures 3 to 5 of yesterday ask for
    // the server's yesterday, as they always did, until the local day has
    // moved on since the run started: from then on they name the run's
    // night, as a past day's do, so that a try after midnight still adds up
    // the night the date key says.
    std::string QueryFor(int figure, const NightRecord& night) const {
        if (!HasDayQuery(figure)) return FigureQuery(figure);
        if (night.kind == NightKind::Yesterday && DaysBetween(today_, settings_.today()) == 0)
            return FigureQuery(figure);
        return FigureQuery(figure, night.date);
    }

    // Sends one figure's update and records what became of it. Returns the
    // statement when the server accepted it.
    std::optional<std::string> SendFigure(int figure, const NightRecord& night, FigureRecord& record, Pass& pass) {
        ++record.tries;
        record.value.clear();
        record.rows.reset();
        record.failure = {};
        // A failed query skips the figure: sending "0" would overwrite the
        // central figure with a number nobody computed.
        std::string value = "0";
        const QueryResult query =
            pass.local_login ? QueryResult(*pass.local_login) : gateway_.QueryLocalScalar(QueryFor(figure, night), value);
        if (!query) {
            record.status = FigureStatus::NotSent;
            record.failure = *query.failure();
            if (record.failure.at_login) pass.local_login = record.failure;
            return std::nullopt;
        }
        // NULL means there was nothing to add up, so zero is the truth.
        // (push_back, because assigning "0" trips a GCC 12 -Wrestrict false alarm.)
        if (value.empty()) value.push_back('0');
        record.value = value;
        // A link lost with an earlier figure: logged in again once a pass.
        if (!gateway_.IsCentralOpen()) {
            if (!pass.central_login) {
                try {
                    gateway_.OpenCentral();
                } catch (const std::exception& error) {
                    pass.central_login = FailureReasonOf(error);
                    pass.central_login->at_login = true;
                }
            }
            if (pass.central_login) {
                record.status = FigureStatus::NotSent;
                record.failure = *pass.central_login;
                return std::nullopt;
            }
        }
        const std::string statement = BuildUpdateStatement(figure, value, record_.park.number, night.date_key);
        try {
            record.rows = gateway_.ExecCentral(statement);
        } catch (const DatabaseError& error) {
            // A lost link may or may not have taken the update with it; after
            // a time-out the server may still apply it (once a lock is
            // released).
            const FailureKind kind = KindOf(error);
            if (kind == FailureKind::TimedOut)
                record.status = FigureStatus::TimedOut;
            else if (kind == FailureKind::LinkLost || !gateway_.IsCentralOpen())
                record.status = FigureStatus::LinkLost;
            else
                record.status = FigureStatus::Refused;
            record.failure = FailureReasonOf(error);
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
    void TryFigure(int figure, NightRecord& night, Pass& pass) {
        FigureRecord& record = night.figures[static_cast<std::size_t>(figure)];
        try {
            const std::optional<std::string> accepted = SendFigure(figure, night, record, pass);
            // Accepted is logged, whatever happens to the memo's view.
            if (accepted) memo_.AppendLine(*accepted);
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

    Gateway& gateway_;
    Memo& memo_;
    const JobSettings& settings_;
    JobRecord& record_;
    const LocalDate today_;
};

void PlanCatchUp(const JobSettings& settings, LocalDate today, JobRecord& record, std::vector<LocalDate>& missed) {
    record.catch_up.asked = true;
    record.catch_up.nights_looked_at = settings.options.catch_up;
    try {
        NightsRecord nights = ReadNightsRecord(settings.nights_path, today);
        record.catch_up.first = nights.first;
        record.nights_record_skipped = std::move(nights.skipped);
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
    // spread its figures over two days (QueryFor keeps the queries on it).
    const LocalDate today = settings.today();
    std::vector<LocalDate> missed;
    if (settings.options.catch_up > 0) PlanCatchUp(settings, today, record, missed);
    record.nights = PlanNights(today, settings.options, missed);
    for (const NightRecord& night : record.nights) {
        if (night.kind == NightKind::CaughtUp) record.catch_up.missed.push_back(night.date_key);
    }
    record.date_key = record.nights.empty() ? YesterdayKey(today) : record.nights.front().date_key;

    NightlyRun run(gateway, memo, settings, record, today);
    if (!run.OpenCentral()) return Outcome::Incomplete;
    record.figures_started = true;
    record.park = LookUpParkNumber(settings.park_config_path);

    run.FirstPass();
    run.Retries();

    record.nights_record_problem =
        RecordTransferredNights(settings.nights_path, record.nights, today, record.nights_record_skipped);
    gateway.CloseCentral();
    SaveMemoFile(settings.memo_path, memo.Lines());
    // Catch-up asked for, with a record it cannot read or write, would
    // silently never catch up again.
    const bool catch_up_failed =
        record.catch_up.asked && (record.catch_up.problem || record.nights_record_problem);
    return record.TransferredCount() == record.AskedCount() && !catch_up_failed ? Outcome::AllTransferred
                                                                                 : Outcome::Incomplete;
}

} // namespace parktotals
