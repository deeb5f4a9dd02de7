#include "totals/run_report.h"

#include "text/errors.h"
#include "totals/figures.h"
#include "totals/memo_file.h"

#include <cstdio>

namespace parktotals {
namespace {

std::string Where(const ConnectionTarget& target) {
    return "server " + (target.server.empty() ? std::string("(not given)") : target.server) + ", database " +
           (target.database.empty() ? std::string("(not given)") : target.database);
}

std::string LocalDatabaseLine(const LocalSetUp& local) {
    const std::string head = "Local database: ";
    const std::string why = ReasonText(local.failure);
    switch (local.status) {
    case LocalSetUp::Status::Open:
        return head + Where(local.target);
    case LocalSetUp::Status::FileMissing:
        return head + "none: RegInfo.INI is missing or cannot be read: " + why;
    case LocalSetUp::Status::FirstLineEmpty:
        return head + "none: the first line of RegInfo.INI is empty";
    case LocalSetUp::Status::NotUnderstood:
        return head + "none: the connection string in RegInfo.INI is not understood: " + why;
    case LocalSetUp::Status::LoginRefused:
        return head + Where(local.target) + ": login refused: " + why;
    case LocalSetUp::Status::Unreachable:
        return head + Where(local.target) + ": server unreachable: " + why;
    case LocalSetUp::Status::Failed:
        break;
    }
    return head + Where(local.target) + ": cannot connect: " + why;
}

// Why the number is the default; the report and the notice say it alike.
std::string WhyDefault(const ParkNumber& park) {
    return park.source == ParkNumber::Source::DefaultNoFile
               ? park.config_path + " not found"
               : "no jov_park_id in the [code] section of " + park.config_path;
}

std::string ParkLine(const ParkNumber& park) {
    const std::string line = "Car park number: " + park.number + " (";
    if (park.source == ParkNumber::Source::File) return line + "from " + park.config_path + ")";
    return line + "default: " + WhyDefault(park) + ")";
}

// A transferred figure's update always came back with a count.
std::string RowsText(long long rows) {
    if (rows == 1) return "1 row changed";
    std::string text = std::to_string(rows) + " rows changed";
    if (rows > 1) text += " (more than one row matched)";
    return text;
}

std::string FigureName(int index) {
    return "Figure " + std::to_string(index + 1) + " (" + std::string(kFigures[index].column) + ")";
}

std::string FigureLine(int index, const FigureRecord& figure) {
    std::string line = FigureName(index) + ": ";
    switch (figure.status) {
    case FigureStatus::Transferred:
        line += "sent " + figure.value + ", " + RowsText(figure.rows.value_or(0));
        break;
    case FigureStatus::NotTried:
    case FigureStatus::NotSent:
    case FigureStatus::NotAsked:
        line += FigureProblem(figure);
        break;
    case FigureStatus::MatchedNoRow:
    case FigureStatus::Uncounted:
    case FigureStatus::Refused:
    case FigureStatus::LinkLost:
    case FigureStatus::TimedOut:
        line += "sent " + figure.value + ", " + FigureProblem(figure);
        break;
    }
    if (figure.tries > 1) line += " (on try " + std::to_string(figure.tries) + ")";
    return line;
}

// After "Date key: ": the key, and why a night other than yesterday is sent.
std::string NightText(const NightRecord& night) {
    switch (night.kind) {
    case NightKind::Resent:
        return night.date_key + " (a past day asked for with --date: figures 3 to 5)";
    case NightKind::CaughtUp:
        return night.date_key + " (missed by this installation, caught up: figures 3 to 5)";
    case NightKind::Yesterday:
        break;
    }
    return night.date_key;
}

std::string CatchUpLine(const CatchUpRecord& catch_up) {
    const std::string head = "Catch-up: ";
    if (catch_up.problem) return head + "not possible: " + *catch_up.problem;
    if (!catch_up.first)
        return head + "nothing to compare with yet: no night of the nightly run is recorded, so none counts as "
                      "missed";
    const std::string looked = "the " + std::to_string(catch_up.nights_looked_at) + " nights before yesterday";
    const std::string since = " (the record starts at " + *catch_up.first + ")";
    if (catch_up.missed.empty()) return head + "none of " + looked + " was missed" + since;
    std::string keys;
    for (const std::string& key : catch_up.missed) keys += (keys.empty() ? "" : ", ") + key;
    return head + std::to_string(catch_up.missed.size()) + " of " + looked + " missed: " + keys + since;
}

std::string ExitCodeMeaning(int exit_code, int asked) {
    switch (exit_code) {
    case 0:
        return asked == kFigureCount ? "all five figures were transferred"
                                     : "all " + std::to_string(asked) + " figures asked for were transferred";
    case 1:
        return "the run stopped with an error";
    default:
        return "at least one figure was not transferred";
    }
}

std::string Seconds(std::chrono::milliseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(duration.count()) / 1000.0);
    return text;
}

} // namespace

std::string ReasonText(const FailureReason& failure) {
    std::string text = failure.message.empty() ? std::string("no reason given") : failure.message;
    std::string codes;
    if (!failure.sqlstate.empty()) codes = "SQLSTATE " + failure.sqlstate;
    if (failure.native_code != 0)
        codes += (codes.empty() ? "error " : ", error ") + std::to_string(failure.native_code);
    if (!codes.empty()) text += " (" + codes + ")";
    return text;
}

std::string FigureProblem(const FigureRecord& figure) {
    switch (figure.status) {
    case FigureStatus::Transferred:
        return "";
    case FigureStatus::NotTried:
        return "not tried: the run ended before it";
    case FigureStatus::NotAsked:
        return "not sent: it counts the cards as they are now, which cannot be computed for a past day";
    case FigureStatus::MatchedNoRow:
        return "matched no row";
    case FigureStatus::Uncounted:
        return "accepted, but the server sent no row count: whether it changed a row is not known";
    case FigureStatus::NotSent:
        return "not sent: " + ReasonText(figure.failure);
    case FigureStatus::Refused:
        return "refused by the central server: " + ReasonText(figure.failure);
    case FigureStatus::TimedOut:
        return "no answer within the time-out, may not have arrived: " + ReasonText(figure.failure);
    case FigureStatus::LinkLost:
        break;
    }
    return "lost with the central connection, may not have arrived: " + ReasonText(figure.failure);
}

std::vector<std::string> RetryRoundLines(const RetryRound& round) {
    std::vector<std::string> lines;
    const std::string retry = "Retry " + std::to_string(round.number) + " of " + std::to_string(round.retries);
    const std::string in = retry + " in " + std::to_string(round.wait.count()) + " s: ";
    if (round.central_unreached)
        lines.push_back(in + "the central database was not reached: " + ReasonText(*round.central_unreached));
    for (const RetryRound::Pending& pending : round.pending) {
        lines.push_back(in + FigureName(pending.figure) + " of " + pending.date_key + ": " +
                        FigureProblem(pending.last_try));
    }
    if (round.interrupted) lines.push_back(retry + " not made: the window was closed during the wait, ending the run");
    if (round.reopen_failed) {
        lines.push_back(retry + ": the central database was still not reached: " + ReasonText(*round.reopen_failed));
    }
    for (std::string& line : lines) line = OneLine(line);
    return lines;
}

std::vector<std::string> RunReportLines(const RunRecord& record) {
    const JobRecord& job = record.job;
    std::vector<std::string> lines;
    lines.push_back(std::string(kRunMarker) + "Run of " + FormatDateTime(record.started) + ", parktotals " +
                    record.version + " " + std::string(kRunMarker.substr(0, 4)));
    lines.push_back(ParkLine(job.park));
    lines.push_back("Date key: " + (job.nights.empty() ? job.date_key : NightText(job.nights.front())));
    lines.push_back(LocalDatabaseLine(record.local));
    for (const std::string& adjustment : record.local.adjustments) lines.push_back("Local database: " + adjustment);
    lines.push_back("Central database: " + Where(record.central));
    if (job.figures_started) {
        for (std::size_t night = 0; night < job.nights.size(); ++night) {
            if (night > 0) lines.push_back("Date key: " + NightText(job.nights[night]));
            for (int i = 0; i < kFigureCount; ++i)
                lines.push_back(FigureLine(i, job.nights[night].figures[static_cast<std::size_t>(i)]));
        }
    } else {
        lines.push_back("Figures: none tried, the central database was not reached");
    }
    if (job.catch_up.asked) lines.push_back(CatchUpLine(job.catch_up));
    for (const RetryRound& round : job.rounds) {
        for (const std::string& line : RetryRoundLines(round)) lines.push_back(line);
    }
    if (job.nights_record_problem) lines.push_back("Record of transferred nights: " + *job.nights_record_problem);
    const int asked = job.nights.empty() ? kFigureCount : job.AskedCount();
    lines.push_back("End: exit code " + std::to_string(record.exit_code) + ", " +
                    ExitCodeMeaning(record.exit_code, asked) + "; " + std::to_string(job.TransferredCount()) +
                    " of " + std::to_string(asked) + " transferred; took " + Seconds(record.duration));
    if (record.error_box) lines.push_back("Error box: " + *record.error_box);
    // The one place all of it passes, whoever said it.
    for (std::string& line : lines) line = OneLine(line);
    return lines;
}

std::vector<std::string> HeadlessNotices(const RunRecord& record) {
    const JobRecord& job = record.job;
    std::vector<std::string> notices;
    if (job.catch_up.problem) notices.push_back("no night caught up: " + *job.catch_up.problem);
    if (!job.figures_started) {
        // An error says why, unless the connection was merely found closed.
        if (!record.error_box) notices.push_back("no figure was transferred: the central database was not reached");
        return notices;
    }
    const ParkNumber& park = job.park;
    if (park.source != ParkNumber::Source::File) {
        notices.push_back("car park number " + park.number + " is only the default: " + WhyDefault(park) +
                          "; the figures went to car park " + park.number + "'s row at head office");
    }
    for (std::size_t night = 0; night < job.nights.size(); ++night) {
        const NightRecord& the_night = job.nights[night];
        // The nightly run's own night needs no date.
        const std::string of =
            night == 0 && the_night.kind == NightKind::Yesterday ? "" : " of " + the_night.date_key;
        for (int i = 0; i < kFigureCount; ++i) {
            const FigureRecord& figure = the_night.figures[static_cast<std::size_t>(i)];
            if (figure.status == FigureStatus::Transferred || figure.status == FigureStatus::NotAsked) continue;
            notices.push_back("figure " + std::to_string(i + 1) + " (" + std::string(kFigures[i].column) + ")" + of +
                              " not transferred: " + FigureProblem(figure));
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
                                           ReportFormat format, std::size_t limit) noexcept {
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
        return UnderReportLock(path, kRunReportLockWait, [&]() -> std::optional<std::string> {
            std::string existing;
            if (std::optional<std::string> failure = ReadReportFile(path, existing)) return failure;
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
        return std::string("unknown error");
    }
}

} // namespace parktotals
