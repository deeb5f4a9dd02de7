#include "totals/daily_totals.h"

#include "db/database_error.h"
#include "totals/figures.h"
#include "totals/memo_file.h"
#include "totals/profile.h"

namespace parktotals {
namespace {

// No value read from a file can hold it: lines end at CR or LF.
constexpr const char* kMissing = "\n";

// Sends one figure's update and records what became of it. Returns the
// statement when the server accepted it.
std::optional<std::string> SendFigure(Gateway& gateway, int figure, const std::string& park_number,
                                      const std::string& date_key, FigureRecord& record) {
    std::string value = "0";
    // A failed query skips the figure: sending "0" would overwrite the
    // central figure with a number nobody computed.
    const QueryResult query = gateway.QueryLocalScalar(std::string(kFigures[figure].query), value);
    if (!query) {
        record.status = FigureStatus::NotSent;
        record.failure = *query.failure();
        return std::nullopt;
    }
    // NULL means there was nothing to add up, so zero is the truth.
    // (push_back, because assigning "0" trips a GCC 12 -Wrestrict false alarm.)
    if (value.empty()) value.push_back('0');
    record.value = value;
    const std::string statement = BuildUpdateStatement(figure, value, park_number, date_key);
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

int JobRecord::TransferredCount() const {
    int count = 0;
    for (const FigureRecord& figure : figures) count += figure.status == FigureStatus::Transferred;
    return count;
}

Outcome RunDailyTotals(Gateway& gateway, Memo& memo, const JobSettings& settings, JobRecord& record) {
    record = JobRecord();
    memo.Clear();
    gateway.OpenCentral();
    if (!gateway.IsCentralOpen()) return Outcome::Incomplete;
    record.figures_started = true;

    record.park = LookUpParkNumber(settings.park_config_path);
    // One date for the whole run, so a run that crosses midnight cannot
    // spread its figures over two days.
    record.date_key = YesterdayKey(settings.today());

    for (int figure = 0; figure < kFigureCount; ++figure) {
        FigureRecord& figure_record = record.figures[static_cast<std::size_t>(figure)];
        try {
            const std::optional<std::string> accepted =
                SendFigure(gateway, figure, record.park.number, record.date_key, figure_record);
            // Accepted is logged, whatever happens to the memo's view.
            if (accepted) memo.AppendLine(*accepted);
        } catch (const std::exception& error) {
            // One figure's failure must not cost the others.
            if (figure_record.status == FigureStatus::NotTried) {
                figure_record.status = FigureStatus::NotSent;
                figure_record.failure = FailureReasonOf(error);
            }
        } catch (...) {
            if (figure_record.status == FigureStatus::NotTried) {
                figure_record.status = FigureStatus::NotSent;
                figure_record.failure = FailureReason{"Unknown error", "", 0};
            }
        }
    }

    gateway.CloseCentral();
    SaveMemoFile(settings.memo_path, memo.Lines());
    return record.TransferredCount() == kFigureCount ? Outcome::AllTransferred : Outcome::Incomplete;
}

} // namespace parktotals
