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

// The nights kept; catching up looks back at most kMaxDays.
inline constexpr std::size_t kNightsKept = 2 * kMaxDays + 2;

struct NightsRecord {
    std::optional<std::string> first;
    std::set<std::string> sent; // date keys
};

// Throws UserError naming the first line that is not a comment, a "first"
// line or a date key.
NightsRecord ParseNightsRecord(std::string_view text);
// The file's text: the newest kNightsKept nights.
std::string NightsRecordText(const NightsRecord& record, std::string_view line_end);
// Adds the nights whose figures 3 to 5 were all transferred; the first
// yesterday among them becomes "first" when there is none yet.
void AddTransferredNights(NightsRecord& record, const std::vector<NightRecord>& nights);
// The nights among the `look_back` before yesterday that lie after "first"
// and are not in the record, oldest first. None without a "first".
std::vector<LocalDate> MissedNights(const NightsRecord& record, LocalDate today, int look_back);

// The record at `path`, empty when there is no file. Throws UserError when
// it cannot be read or understood.
NightsRecord ReadNightsRecord(const std::string& path);
// Adds the run's transferred nights to the record at `path`, under the lock
// of the folder's runs. Never throws: returns why it could not, or nullopt.
std::optional<std::string> RecordTransferredNights(const std::string& path,
                                                   const std::vector<NightRecord>& nights) noexcept;

} // namespace parktotals
