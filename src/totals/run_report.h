#pragma once

#include "db/gateway.h"
#include "files/whole_file.h"
#include "totals/daily_totals.h"
#include "totals/date_key.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The run report, parktotals.log: one block per run, appended beside
// memo1.txt, saying what the memo and the exit code cannot: what became of
// each figure and why. It holds the servers and databases the run used,
// never a password.
namespace parktotals {

inline constexpr const char* kRunReportFileName = "parktotals.log";
// When the file would pass this, its oldest runs go.
inline constexpr std::size_t kRunReportLimit = 1024 * 1024;
// Every run's block starts with a line that starts with this.
inline constexpr std::string_view kRunMarker = "==== ";

struct RunRecord {
    LocalDateTime started;
    std::string version;
    LocalSetUp local;
    ConnectionTarget central;
    JobRecord job;
    int exit_code = 2;
    std::chrono::milliseconds duration{0};
    std::optional<std::string> error_box; // the text of the box, when one was shown
};

// "message (SQLSTATE s, error n)", leaving out what is not known.
std::string ReasonText(const FailureReason& failure);

// Why a figure was not transferred, as the report and stderr say it; empty
// for a transferred one.
std::string FigureProblem(const FigureRecord& figure);

// What the report says of a retry round, as far as it went; before its
// wait, these are also the notices a run without a window prints.
std::vector<std::string> RetryRoundLines(const RetryRound& round);

// The report's lines for one run, without line ends. What servers and
// drivers said stays inside its line (OneLine).
std::vector<std::string> RunReportLines(const RunRecord& record);

// What a run without a window prints on stderr besides an error: a car park
// number that is only the default, and each figure not transferred.
std::vector<std::string> HeadlessNotices(const RunRecord& record);

// The report file's new text: `existing` (no byte-order mark) with `block`
// after it, the oldest whole runs dropped until the two fit in `limit`
// bytes. The new block is kept even when it alone does not fit; it starts
// a line of its own (after `line_end`) even when the existing text ends in
// a block that was cut short.
std::string BoundedReport(std::string_view existing, std::string_view block, std::size_t limit,
                          std::string_view line_end = "\n");

// Appends the run's lines to the report at `path` in `format`, within
// `limit`: under the folder's lock (UnderFolderLock), the file is
// replaced in one step with its old text and the new block, so a block is
// there whole or not at all. Never throws: returns why the report could
// not be written, or nullopt.
std::optional<std::string> AppendRunReport(const std::string& path, const std::vector<std::string>& lines,
                                           TextFormat format = NativeTextFormat(),
                                           std::size_t limit = kRunReportLimit) noexcept;

} // namespace parktotals
