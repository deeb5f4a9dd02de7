#pragma once

#include "totals/daily_totals.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// transferred-nights.txt, beside memo1.txt: the nights whose figures 3 to 5
// this installation got to head office, so that --catch-up knows which it
// missed. A text a person can read and mend:
//
//   # comment lines start with #
//   first 20261201      the first night the nightly run itself transferred
//   20261201            each night transferred, one date key a line
//
// Catching up never goes back to or before "first": a new installation, or
// one whose record was lost, never re-sends what another one may have sent
// (and head office may since have corrected by hand).
namespace parktotals {

// The nights kept, back from yesterday; catching up looks back at most
// kMaxDays.
inline constexpr std::size_t kNightsKept = 2 * kMaxDays + 2;

struct NightsRecord {
    std::optional<std::string> first;
    std::set<std::string> sent; // date keys
    // What reading left out, one sentence each: a line it cannot read, a
    // night after yesterday, a "first" after yesterday. The next write
    // drops them.
    std::vector<std::string> skipped;
};

// The record in `text`, as read on `today`. Takes what a person's editor
// leaves (a byte-order mark, CR LF, a Ctrl-Z at the end); blank and "#"
// lines are comments. Lines it cannot read, and nights after yesterday, are
// left out and named in `skipped`; a "first" after yesterday becomes the
// earliest night kept, or yesterday when none is.
NightsRecord ParseNightsRecord(std::string_view text, LocalDate today);
// The file's text: the nights among the kNightsKept up to yesterday.
std::string NightsRecordText(const NightsRecord& record, LocalDate today, std::string_view line_end);
// Adds the nights whose figures 3 to 5 were all transferred; the first
// yesterday among them becomes "first" when there is none yet.
void AddTransferredNights(NightsRecord& record, const std::vector<NightRecord>& nights);
// The nights among the `look_back` before yesterday that lie after "first"
// and are not in the record, oldest first. None without a "first".
std::vector<LocalDate> MissedNights(const NightsRecord& record, LocalDate today, int look_back);

// The record at `path`, empty when there is no file. Throws UserError when
// it cannot be read (a folder, a link, no rights).
NightsRecord ReadNightsRecord(const std::string& path, LocalDate today);
// Adds the run's transferred nights to the record at `path`, under the lock
// of the folder's runs; what reading it left out is added to `skipped`.
// Never throws: returns why it could not, or nullopt.
std::optional<std::string> RecordTransferredNights(const std::string& path, const std::vector<NightRecord>& nights,
                                                   LocalDate today, std::vector<std::string>& skipped) noexcept;

} // namespace parktotals
