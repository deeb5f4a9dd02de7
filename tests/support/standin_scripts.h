#pragma once

// What the stand-ins serve when the program, the job or a benchmark runs a
// whole day, and the helpers to read what they received. One copy for the
// integration tests, the e2e tests and the benchmarks.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "standin/standin.h"
#include "totals/figures.h"

namespace parktotals::testing {

// A car park's local statistics database with a day of figures, read from
// tests/support/local_figures.rules (scripts/demo serves the same file).
standin::Script LocalFiguresScript();

// What the program sends for those figures, in figure order (the fourth is
// NULL there and goes out as 0).
inline constexpr std::array<const char*, kFigureCount> kLocalFigureValues = {"17", "5400", "1234.5", "0", "86.25"};

// A central totals database that gives `update` (one row affected unless
// told otherwise) to every update of the totals table and refuses anything
// else. It lets only `user` in with `password`, or anyone when `user` is
// empty.
standin::Script CentralScript(const std::string& user = "", const std::string& password = "",
                              const standin::Answer& update = standin::Answer::RowCount(1));

// The batch that starts every central session: the program asks for row
// counts, whatever the server's default.
inline constexpr const char* kSetNoCountOff = "SET NOCOUNT OFF\r\n";

// A statement as it travels to the server and stands in memo1.txt: with CR LF.
inline std::string Line(std::string_view statement) { return std::string(statement) + "\r\n"; }

// The batches' texts, in the order the server received them.
inline std::vector<std::string> Texts(const std::vector<standin::Batch>& batches) {
    std::vector<std::string> texts;
    for (const standin::Batch& batch : batches) texts.push_back(batch.text);
    return texts;
}

} // namespace parktotals::testing
