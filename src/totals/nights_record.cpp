#include "totals/nights_record.h"

#include "files/whole_file.h"
#include "text/ascii.h"
#include "text/errors.h"
#include "text/message_table.h"

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

NightsRecord ParseNightsRecord(std::string_view text) {
    NightsRecord record;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = TrimBlanks(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (IsDateKey(line)) {
            record.sent.emplace(line);
        } else if (line.substr(0, kFirst.size()) == kFirst && IsDateKey(TrimBlanks(line.substr(kFirst.size())))) {
            record.first = std::string(TrimBlanks(line.substr(kFirst.size())));
        } else {
            throw UserError(Say(msg::kNightsLineNotUnderstood, {std::to_string(number), line.substr(0, 40)}));
        }
    }
    return record;
}

std::string NightsRecordText(const NightsRecord& record, std::string_view line_end) {
    std::string text;
    const auto line = [&](const std::string& content) { text += content + std::string(line_end); };
    line(Say(msg::kNightsFileComment));
    line(Say(msg::kNightsFileFirstComment));
    if (record.first) line(std::string(kFirst) + *record.first);
    const std::size_t skip = record.sent.size() > kNightsKept ? record.sent.size() - kNightsKept : 0;
    for (auto key = std::next(record.sent.begin(), static_cast<std::ptrdiff_t>(skip)); key != record.sent.end(); ++key)
        line(*key);
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

NightsRecord ReadNightsRecord(const std::string& path) {
    std::string text;
    if (std::optional<std::string> failure = ReadTextFile(path, text))
        throw UserError(Say(msg::kFileCannotBeRead, {path, *failure}));
    try {
        return ParseNightsRecord(text);
    } catch (const UserError& error) {
        throw UserError(Say(msg::kFileNotUnderstood, {path, error.what()}));
    }
}

std::optional<std::string> RecordTransferredNights(const std::string& path,
                                                   const std::vector<NightRecord>& nights) noexcept {
    try {
        if (std::none_of(nights.begin(), nights.end(),
                         [](const NightRecord& night) { return night.DayFiguresTransferred(); }))
            return std::nullopt;
        // Read again under the lock: another run in this folder may have
        // added its nights since this one started.
        const std::optional<std::string> locked =
            UnderFolderLock(path, kFolderLockWait, [&]() -> std::optional<std::string> {
                NightsRecord record = ReadNightsRecord(path);
                AddTransferredNights(record, nights);
                ReplaceWholeFile(path, NightsRecordText(record, NativeTextFormat().line_end));
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
