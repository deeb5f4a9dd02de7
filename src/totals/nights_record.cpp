#include "totals/nights_record.h"

#include "files/whole_file.h"
#include "text/ascii.h"
#include "text/errors.h"
#include "text/message_table.h"
#include "text/text_codec.h"

#include <algorithm>

namespace parktotals {
namespace {

constexpr std::string_view kFirst = "first ";

bool IsDateKey(std::string_view text) {
    if (text.size() != 8 || !AllDigits(text))
        return false;
    const auto number = [&](std::size_t at, std::size_t length) {
        return std::stoi(std::string(text.substr(at, length)));
    };
    return IsCalendarDate({number(0, 4), static_cast<unsigned>(number(4, 2)), static_cast<unsigned>(number(6, 2))});
}

} // namespace

NightsRecord ParseNightsRecord(std::string_view text, LocalDate today) {
    const std::string yesterday = YesterdayKey(today);
    NightsRecord record;
    DropUtf8Bom(text);
    // MS-DOS editors end a text with Ctrl-Z.
    if (!text.empty() && text.back() == '\x1A') text.remove_suffix(1);
    std::optional<std::string> future_first;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = TrimBlanks(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        const bool is_first = line.substr(0, kFirst.size()) == kFirst;
        const std::string_view key = is_first ? TrimBlanks(line.substr(kFirst.size())) : line;
        if (!IsDateKey(key)) {
            record.skipped.push_back(Say(msg::kNightsLineSkipped, {std::to_string(number), line.substr(0, 40)}));
        } else if (key > yesterday) {
            record.skipped.push_back(Say(is_first ? msg::kNightsFirstInFuture : msg::kNightsKeyInFuture,
                                         {std::to_string(number), key, yesterday}));
            if (is_first) future_first = std::string(key);
        } else if (is_first) {
            record.first = std::string(key);
        } else {
            record.sent.emplace(key);
        }
    }
    // A "first" set by a clock running ahead would hide every night until
    // then: the earliest night kept marks the start instead, or, with none,
    // this run's, before which nothing counts as missed.
    if (future_first && !record.first) record.first = record.sent.empty() ? yesterday : *record.sent.begin();
    return record;
}

std::string NightsRecordText(const NightsRecord& record, LocalDate today, std::string_view line_end) {
    std::string text;
    const auto line = [&](const std::string& content) { text += content + std::string(line_end); };
    line(Say(msg::kNightsFileComment));
    line(Say(msg::kNightsFileFirstComment));
    if (record.first) line(std::string(kFirst) + *record.first);
    // Counted back from yesterday: a night after it never pushes out one
    // before it.
    const std::string oldest = DateKey(AddDays(today, -static_cast<int>(kNightsKept)));
    const std::string yesterday = YesterdayKey(today);
    for (const std::string& key : record.sent) {
        if (key >= oldest && key <= yesterday) line(key);
    }
    return text;
}

void AddTransferredNights(NightsRecord& record, const std::vector<NightRecord>& nights) {
    for (const NightRecord& night : nights) {
        if (!night.DayFiguresTransferred()) continue;
        record.sent.insert(night.date_key);
        // Only the nightly run's own night: a --date day may lie long before
        // this installation ran, in days another one covered.
        if (!record.first && night.kind == NightKind::Yesterday) record.first = night.date_key;
    }
}

std::vector<LocalDate> MissedNights(const NightsRecord& record, LocalDate today, int look_back) {
    std::vector<LocalDate> missed;
    if (!record.first) return missed;
    for (int back = look_back + 1; back >= 2; --back) {
        const LocalDate night = AddDays(today, -back);
        const std::string key = DateKey(night);
        if (key > *record.first && record.sent.count(key) == 0) missed.push_back(night);
    }
    return missed;
}

NightsRecord ReadNightsRecord(const std::string& path, LocalDate today) {
    std::string text;
    if (std::optional<std::string> failure = ReadTextFile(path, text))
        throw UserError(Say(msg::kFileCannotBeRead, {path, *failure}));
    return ParseNightsRecord(text, today);
}

std::optional<std::string> RecordTransferredNights(const std::string& path, const std::vector<NightRecord>& nights,
                                                   LocalDate today, std::vector<std::string>& skipped) noexcept {
    try {
        if (std::none_of(nights.begin(), nights.end(),
                         [](const NightRecord& night) { return night.DayFiguresTransferred(); }))
            return std::nullopt;
        // Read again under the lock: another run in this folder may have
        // added its nights since this one started.
        const std::optional<std::string> locked =
            UnderFolderLock(path, kFolderLockWait, [&]() -> std::optional<std::string> {
                NightsRecord record = ReadNightsRecord(path, today);
                for (const std::string& line : record.skipped) {
                    if (std::find(skipped.begin(), skipped.end(), line) == skipped.end()) skipped.push_back(line);
                }
                AddTransferredNights(record, nights);
                // Windows: UTF-8 behind its mark, so that Notepad shows the
                // comments in every language.
                const TextFormat format = NativeTextFormat();
                ReplaceWholeFile(path, std::string(format.byte_order_mark ? "\xEF\xBB\xBF" : "") +
                                           NightsRecordText(record, today, format.line_end));
                return std::nullopt;
            });
        if (locked) return Say(msg::kFileNotUpdated, {path, *locked});
        return std::nullopt;
    } catch (const FileWriteError& error) {
        return Say(msg::kFileNotWritten, {path, error.reason()});
    } catch (const std::exception& error) {
        return std::string(error.what());
    } catch (...) {
        return Say(msg::kFileNotWritten, {path, Say(msg::kUnknownError)});
    }
}

} // namespace parktotals
