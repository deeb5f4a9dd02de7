#include "totals/run_report.h"

#include "text/errors.h"
#include "text/message_table.h"
#include "totals/figures.h"

#include <cstdio>

namespace parktotals {
namespace {

std::string Given(const std::string& text) { return text.empty() ? Say(msg::kNotGiven) : text; }

std::string Where(const ConnectionTarget& target) {
    return Say(msg::kServerAndDatabase, {Given(target.server), Given(target.database)});
}

std::string LocalDatabaseLine(const LocalSetUp& local) {
    const std::string why = ReasonText(local.failure);
    std::string line;
    switch (local.status) {
    case LocalSetUp::Status::Open:
        line = Where(local.target);
        break;
    case LocalSetUp::Status::FileMissing:
        line = Say(msg::kLocalRegInfoMissing, {why});
        break;
    case LocalSetUp::Status::FirstLineEmpty:
        line = Say(msg::kLocalFirstLineEmpty);
        break;
    case LocalSetUp::Status::NotUnderstood:
        line = Say(msg::kLocalNotUnderstood, {why});
        break;
    case LocalSetUp::Status::LoginRefused:
        line = Say(msg::kLocalLoginRefused, {Where(local.target), why});
        break;
    case LocalSetUp::Status::Unreachable:
        line = Say(msg::kLocalUnreachable, {Where(local.target), why});
        break;
    case LocalSetUp::Status::Failed:
        line = Say(msg::kLocalCannotConnect, {Where(local.target), why});
        break;
    }
    return Say(msg::kLocalDatabase, {line});
}

// Why the number is the default; the report and the notice say it alike.
std::string WhyDefault(const ParkNumber& park) {
    return park.source == ParkNumber::Source::DefaultNoFile ? Say(msg::kParkFileNotFound, {park.config_path})
                                                            : Say(msg::kParkKeyMissing, {park.config_path});
}

std::string ParkLine(const ParkNumber& park) {
    if (park.source == ParkNumber::Source::File) return Say(msg::kParkFromFile, {park.number, park.config_path});
    return Say(msg::kParkDefault, {park.number, WhyDefault(park)});
}

// A transferred figure's update always came back with a count.
std::string RowsText(long long rows) {
    if (rows == 1) return Say(msg::kOneRowChanged);
    return Say(rows > 1 ? msg::kRowsChangedMoreThanOne : msg::kRowsChanged, {std::to_string(rows)});
}

std::string FigureName(int index) {
    return Say(msg::kFigureName, {std::to_string(index + 1), kFigures[static_cast<std::size_t>(index)].column});
}

std::string FigureLine(int index, const FigureRecord& figure) {
    std::string outcome;
    switch (figure.status) {
    case FigureStatus::Transferred:
        outcome = Say(msg::kSentValue, {figure.value, RowsText(figure.rows.value_or(0))});
        break;
    case FigureStatus::NotTried:
    case FigureStatus::NotSent:
    case FigureStatus::NotAsked:
        outcome = FigureProblem(figure);
        break;
    case FigureStatus::MatchedNoRow:
    case FigureStatus::Uncounted:
    case FigureStatus::Refused:
    case FigureStatus::LinkLost:
    case FigureStatus::TimedOut:
        outcome = Say(msg::kSentValue, {figure.value, FigureProblem(figure)});
        break;
    }
    std::string line = Say(msg::kFigureLine, {FigureName(index), outcome});
    if (figure.tries > 1) line += Say(msg::kOnTry, {std::to_string(figure.tries)});
    return line;
}

// What follows "Date key: ": the key, and why a night other than yesterday
// is sent.
std::string NightText(const NightRecord& night) {
    switch (night.kind) {
    case NightKind::Resent:
        return Say(msg::kNightResent, {night.date_key});
    case NightKind::CaughtUp:
        return Say(msg::kNightCaughtUp, {night.date_key});
    case NightKind::Yesterday:
        break;
    }
    return night.date_key;
}

std::string CatchUpLine(const CatchUpRecord& catch_up) {
    std::string what;
    if (catch_up.problem) {
        what = Say(msg::kCatchUpNotPossible, {*catch_up.problem});
    } else if (!catch_up.first) {
        what = Say(msg::kCatchUpNothingRecorded);
    } else if (catch_up.missed.empty()) {
        what = Say(msg::kCatchUpNoneMissed, {std::to_string(catch_up.nights_looked_at), *catch_up.first});
    } else {
        std::string keys;
        for (const std::string& key : catch_up.missed) keys += (keys.empty() ? "" : ", ") + key;
        what = Say(msg::kCatchUpMissed, {std::to_string(catch_up.missed.size()),
                                         std::to_string(catch_up.nights_looked_at), keys, *catch_up.first});
    }
    return Say(msg::kCatchUp, {what});
}

std::string ExitCodeMeaning(int exit_code, int asked) {
    switch (exit_code) {
    case 0:
        return asked == kFigureCount ? Say(msg::kExitAllFive) : Say(msg::kExitAllAsked, {std::to_string(asked)});
    case 1:
        return Say(msg::kExitStopped);
    default:
        return Say(msg::kExitIncomplete);
    }
}

std::string StopText(const StopRequest& stop) {
    switch (stop.cause) {
    case StopCause::Signal:
        // The numbers are the same on every POSIX system.
        if (stop.signal == 15) return Say(msg::kStoppedSigterm);
        if (stop.signal == 2) return Say(msg::kStoppedSigint);
        if (stop.signal == 1) return Say(msg::kStoppedSighup);
        return Say(msg::kStoppedSignal, {std::to_string(stop.signal)});
    case StopCause::SessionEnding:
        return Say(msg::kStoppedSessionEnding);
    case StopCause::ConsoleClosed:
        return Say(msg::kStoppedConsoleClosed);
    case StopCause::None:
    case StopCause::WindowClosed:
        break;
    }
    return Say(msg::kStoppedWindowClosed);
}

std::string Seconds(std::chrono::milliseconds duration) {
    char number[32];
    std::snprintf(number, sizeof number, "%.2f", static_cast<double>(duration.count()) / 1000.0);
    return Say(msg::kSeconds, {number});
}

} // namespace

std::string ReasonText(const FailureReason& failure) {
    const std::string text = failure.message.empty() ? Say(msg::kNoReasonGiven) : failure.message;
    std::string codes;
    if (!failure.sqlstate.empty()) codes = "SQLSTATE " + failure.sqlstate;
    if (failure.native_code != 0) {
        const std::string number = Say(msg::kErrorNumber, {std::to_string(failure.native_code)});
        codes = codes.empty() ? number : Say(msg::kTwoCodes, {codes, number});
    }
    return codes.empty() ? text : Say(msg::kReasonWithCodes, {text, codes});
}

std::string FigureProblem(const FigureRecord& figure) {
    switch (figure.status) {
    case FigureStatus::Transferred:
        return "";
    case FigureStatus::NotTried:
        return Say(msg::kNotTried);
    case FigureStatus::NotAsked:
        return Say(msg::kNotAskedForPastDay);
    case FigureStatus::MatchedNoRow:
        return Say(msg::kMatchedNoRow);
    case FigureStatus::Uncounted:
        return Say(msg::kUncounted);
    case FigureStatus::NotSent:
        return Say(msg::kNotSent, {ReasonText(figure.failure)});
    case FigureStatus::Refused:
        return Say(msg::kRefused, {ReasonText(figure.failure)});
    case FigureStatus::TimedOut:
        return Say(msg::kTimedOut, {ReasonText(figure.failure)});
    case FigureStatus::LinkLost:
        break;
    }
    return Say(msg::kLinkLost, {ReasonText(figure.failure)});
}

std::vector<std::string> RetryRoundLines(const RetryRound& round) {
    std::vector<std::string> lines;
    const std::string number = std::to_string(round.number), retries = std::to_string(round.retries);
    const std::string wait = std::to_string(round.wait.count());
    if (round.central_unreached) {
        lines.push_back(Say(msg::kRetryCentralUnreached, {number, retries, wait, ReasonText(*round.central_unreached)}));
    }
    for (const RetryRound::Pending& pending : round.pending) {
        lines.push_back(Say(msg::kRetryFigure, {number, retries, wait, FigureName(pending.figure), pending.date_key,
                                                FigureProblem(pending.last_try)}));
    }
    if (round.interrupted) lines.push_back(Say(msg::kRetryInterrupted, {number, retries}));
    if (round.reopen_failed) {
        lines.push_back(Say(msg::kRetryStillUnreached, {number, retries, ReasonText(*round.reopen_failed)}));
    }
    for (std::string& line : lines) line = OneLine(line);
    return lines;
}

std::vector<std::string> RunReportLines(const RunRecord& record) {
    const JobRecord& job = record.job;
    std::vector<std::string> lines;
    lines.push_back(std::string(kRunMarker) +
                    Say(msg::kRunHeader, {FormatDateTime(record.started), record.version}) + " " +
                    std::string(kRunMarker.substr(0, 4)));
    lines.push_back(ParkLine(job.park));
    lines.push_back(Say(msg::kDateKey, {job.nights.empty() ? job.date_key : NightText(job.nights.front())}));
    lines.push_back(LocalDatabaseLine(record.local));
    for (const std::string& adjustment : record.local.adjustments)
        lines.push_back(Say(msg::kLocalDatabase, {adjustment}));
    lines.push_back(Say(msg::kCentralDatabase, {Where(record.central)}));
    if (job.figures_started) {
        for (std::size_t night = 0; night < job.nights.size(); ++night) {
            if (night > 0) lines.push_back(Say(msg::kDateKey, {NightText(job.nights[night])}));
            for (int i = 0; i < kFigureCount; ++i)
                lines.push_back(FigureLine(i, job.nights[night].figures[static_cast<std::size_t>(i)]));
        }
    } else {
        lines.push_back(Say(msg::kNoFigureTried));
    }
    if (job.catch_up.asked) lines.push_back(CatchUpLine(job.catch_up));
    for (const RetryRound& round : job.rounds) {
        for (const std::string& line : RetryRoundLines(round)) lines.push_back(line);
    }
    for (const std::string& skipped : job.nights_record_skipped) lines.push_back(Say(msg::kNightsRecordLine, {skipped}));
    if (job.nights_record_problem) lines.push_back(Say(msg::kNightsRecordLine, {*job.nights_record_problem}));
    if (job.stopped) lines.push_back(Say(msg::kStoppedLine, {StopText(*job.stopped)}));
    const int asked = job.nights.empty() ? kFigureCount : job.AskedCount();
    lines.push_back(Say(msg::kEndLine, {std::to_string(record.exit_code), ExitCodeMeaning(record.exit_code, asked),
                                        std::to_string(job.TransferredCount()), std::to_string(asked),
                                        Seconds(record.duration)}));
    if (record.error_box) lines.push_back(Say(msg::kErrorBoxLine, {*record.error_box}));
    // The one place all of it passes, whoever said it.
    for (std::string& line : lines) line = OneLine(line);
    return lines;
}

std::vector<std::string> HeadlessNotices(const RunRecord& record) {
    const JobRecord& job = record.job;
    std::vector<std::string> notices;
    if (job.catch_up.problem) notices.push_back(Say(msg::kNoticeNoCatchUp, {*job.catch_up.problem}));
    if (job.stopped) notices.push_back(Say(msg::kStoppedLine, {StopText(*job.stopped)}));
    if (!job.figures_started) {
        // An error or a stop says why, unless the connection was merely
        // found closed.
        if (!record.error_box && !job.stopped) notices.push_back(Say(msg::kNoticeCentralNotReached));
        return notices;
    }
    const ParkNumber& park = job.park;
    if (park.source != ParkNumber::Source::File)
        notices.push_back(Say(msg::kNoticeDefaultPark, {park.number, WhyDefault(park)}));
    for (std::size_t night = 0; night < job.nights.size(); ++night) {
        const NightRecord& the_night = job.nights[night];
        // The nightly run's own night needs no date.
        const bool own_night = night == 0 && the_night.kind == NightKind::Yesterday;
        for (int i = 0; i < kFigureCount; ++i) {
            const FigureRecord& figure = the_night.figures[static_cast<std::size_t>(i)];
            if (figure.status == FigureStatus::Transferred || figure.status == FigureStatus::NotAsked) continue;
            const std::string number = std::to_string(i + 1);
            const std::string_view column = kFigures[static_cast<std::size_t>(i)].column;
            notices.push_back(own_night ? Say(msg::kNoticeFigure, {number, column, FigureProblem(figure)})
                                        : Say(msg::kNoticeNightFigure,
                                              {number, column, the_night.date_key, FigureProblem(figure)}));
        }
    }
    if (job.nights_record_problem) notices.push_back(*job.nights_record_problem);
    return notices;
}

std::string BoundedReport(std::string_view existing, std::string_view block, std::size_t limit,
                          std::string_view line_end) {
    // A block cut short (by a full disk, in an older version) ends without
    // a line end; the new one must still start a line, or trimming would
    // not see it.
    const std::string_view gap = !existing.empty() && existing.back() != '\n' ? line_end : "";
    std::size_t keep_from = 0;
    while (keep_from < existing.size() && existing.size() - keep_from + gap.size() + block.size() > limit) {
        // The next run's first line; text before the first run goes first.
        const std::size_t next = existing.find(std::string("\n") + std::string(kRunMarker), keep_from + 1);
        keep_from = next == std::string_view::npos ? existing.size() : next + 1;
    }
    std::string text(existing.substr(keep_from));
    if (!text.empty()) text += gap;
    text += block;
    return text;
}

std::optional<std::string> AppendRunReport(const std::string& path, const std::vector<std::string>& lines,
                                           TextFormat format, std::size_t limit) noexcept {
    try {
        std::string block;
        for (const std::string& line : lines) {
            block += line;
            block += format.line_end;
        }
        block += format.line_end; // a blank line between runs
        const std::string_view bom = format.byte_order_mark ? "\xEF\xBB\xBF" : "";

        // Read, trimmed and replaced under the lock, so that runs started
        // together each add their block to what the one before left.
        return UnderFolderLock(path, kFolderLockWait, [&]() -> std::optional<std::string> {
            std::string existing;
            if (std::optional<std::string> failure = ReadPlainFile(path, existing)) return failure;
            std::string_view old_text = existing;
            if (old_text.substr(0, 3) == "\xEF\xBB\xBF") old_text.remove_prefix(3);
            ReplaceWholeFile(path, std::string(bom) +
                                       BoundedReport(old_text, block, limit - bom.size(), format.line_end));
            return std::nullopt;
        });
    } catch (const FileWriteError& error) {
        return error.reason();
    } catch (const std::exception& error) {
        return std::string(error.what());
    } catch (...) {
        return Say(msg::kUnknownError);
    }
}

} // namespace parktotals
