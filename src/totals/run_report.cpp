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

std::string FigureLine(int index, const FigureRecord& figure) {
    std::string line = "Figure " + std::to_string(index + 1) + " (" + std::string(kFigures[index].column) + "): ";
    switch (figure.status) {
    case FigureStatus::Transferred:
        return line + "sent " + figure.value + ", " + RowsText(figure.rows.value_or(0));
    case FigureStatus::NotTried:
    case FigureStatus::NotSent:
        return line + FigureProblem(figure);
    case FigureStatus::MatchedNoRow:
    case FigureStatus::Uncounted:
    case FigureStatus::Refused:
    case FigureStatus::LinkLost:
    case FigureStatus::TimedOut:
        break;
    }
    return line + "sent " + figure.value + ", " + FigureProblem(figure);
}

const char* ExitCodeMeaning(int exit_code) {
    switch (exit_code) {
    case 0:
        return "all five figures were transferred";
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

std::vector<std::string> RunReportLines(const RunRecord& record) {
    std::vector<std::string> lines;
    lines.push_back(std::string(kRunMarker) + "Run of " + FormatDateTime(record.started) + ", parktotals " +
                    record.version + " " + std::string(kRunMarker.substr(0, 4)));
    lines.push_back(ParkLine(record.job.park));
    lines.push_back("Date key: " + record.job.date_key);
    lines.push_back(LocalDatabaseLine(record.local));
    for (const std::string& adjustment : record.local.adjustments) lines.push_back("Local database: " + adjustment);
    lines.push_back("Central database: " + Where(record.central));
    if (record.job.figures_started) {
        for (int i = 0; i < kFigureCount; ++i)
            lines.push_back(FigureLine(i, record.job.figures[static_cast<std::size_t>(i)]));
    } else {
        lines.push_back("Figures: none tried, the central database was not reached");
    }
    lines.push_back("End: exit code " + std::to_string(record.exit_code) + ", " + ExitCodeMeaning(record.exit_code) +
                    "; " + std::to_string(record.job.TransferredCount()) + " of 5 transferred; took " +
                    Seconds(record.duration));
    if (record.error_box) lines.push_back("Error box: " + *record.error_box);
    // The one place all of it passes, whoever said it.
    for (std::string& line : lines) line = OneLine(line);
    return lines;
}

std::vector<std::string> HeadlessNotices(const RunRecord& record) {
    std::vector<std::string> notices;
    if (!record.job.figures_started) {
        // An error says why, unless the connection was merely found closed.
        if (!record.error_box) notices.push_back("no figure was transferred: the central database was not reached");
        return notices;
    }
    const ParkNumber& park = record.job.park;
    if (park.source != ParkNumber::Source::File) {
        notices.push_back("car park number " + park.number + " is only the default: " + WhyDefault(park) +
                          "; the figures went to car park " + park.number + "'s row at head office");
    }
    for (int i = 0; i < kFigureCount; ++i) {
        const FigureRecord& figure = record.job.figures[static_cast<std::size_t>(i)];
        if (figure.status == FigureStatus::Transferred) continue;
        notices.push_back("figure " + std::to_string(i + 1) + " (" + std::string(kFigures[i].column) +
                          ") not transferred: " + FigureProblem(figure));
    }
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
