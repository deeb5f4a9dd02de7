#include "db/oledb_string.h"

#include "text/ascii.h"
#include "text/errors.h"
#include "text/message_table.h"

#include <algorithm>
#include <optional>
#include <span>

namespace parktotals {
namespace {

std::string NameInMessage(const OledbPair& pair) {
    return IsKnownOledbKey(pair.key) ? Say(msg::kConnectionValueOfKey, {pair.written}) : Say(msg::kConnectionSomeValue);
}

constexpr std::string_view kServerKeys[] = {"data source", "server", "address", "addr", "network address"};
constexpr std::string_view kDatabaseKeys[] = {"initial catalog", "database"};
constexpr std::string_view kUserKeys[] = {"user id", "uid", "user"};
constexpr std::string_view kPasswordKeys[] = {"password", "pwd"};
constexpr std::string_view kWindowsKeys[] = {"integrated security", "trusted_connection"};

// The last pair under any of the names: the one that counts.
const OledbPair* Last(const std::vector<OledbPair>& pairs, std::span<const std::string_view> names) {
    for (auto it = pairs.rbegin(); it != pairs.rend(); ++it)
        if (std::find(names.begin(), names.end(), it->key) != names.end()) return &*it;
    return nullptr;
}

// The parsed text as its parts between the ';' that end pairs, so that
// dropping a part drops its separator and joining them gives the text back.
struct Part {
    std::string text;
    const OledbPair* pair = nullptr;
    bool dropped = false;
};

bool Holds(const Part& part, std::span<const std::string_view> names) {
    return part.pair && std::find(names.begin(), names.end(), part.pair->key) != names.end();
}

// The last part under any of the names (the one that counts), or none.
Part* FindLast(std::vector<Part>& parts, std::span<const std::string_view> names) {
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        if (Holds(*it, names)) return &*it;
    return nullptr;
}

// Drops the parts under any of the names but `keep`; returns the place of
// the first one dropped, or `place` when it comes first.
std::size_t DropAllBut(std::vector<Part>& parts, std::span<const std::string_view> names, const Part* keep,
                       std::size_t place) {
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (&parts[i] == keep || !Holds(parts[i], names)) continue;
        parts[i].dropped = true;
        place = std::min(place, i);
    }
    return place;
}

// The part with a new value, the key and the blanks around it as written.
void Replace(Part& part, std::string_view text, std::string_view value) {
    const OledbPair& pair = *part.pair;
    part.text = std::string(text.substr(pair.begin, pair.value_begin - pair.begin)) + QuoteOledbValue(value) +
                std::string(text.substr(pair.value_end, pair.end - pair.value_end));
}

std::vector<Part> SplitParts(std::string_view text, const std::vector<OledbPair>& pairs) {
    std::vector<Part> parts;
    std::size_t at = 0;
    // Blank parts (";;") have no pair of their own.
    const auto blanks_until = [&](std::size_t stop) {
        while (at < stop) {
            const std::size_t end = std::min(text.find(';', at), text.size());
            parts.push_back({std::string(text.substr(at, end - at))});
            at = end + 1;
        }
    };
    for (const OledbPair& pair : pairs) {
        blanks_until(pair.begin);
        parts.push_back({std::string(text.substr(pair.begin, pair.end - pair.begin)), &pair});
        at = pair.end + 1;
    }
    if (at <= text.size()) {
        blanks_until(text.size());
        if (at == text.size()) parts.push_back({});
    }
    return parts;
}

} // namespace

// Every key the program knows, used or not. Messages name only these: with
// an unquoted password holding ';' or '=', any other "key" may be a piece
// of the password.
bool IsKnownOledbKey(std::string_view key) {
    static constexpr std::string_view kKnown[] = {
        "provider", "data source", "server", "address", "addr", "network address", "initial catalog",
        "database", "user id", "uid", "user", "password", "pwd", "integrated security", "trusted_connection",
        "connect timeout", "connection timeout", "timeout", "application name", "workstation id", "dsn",
        "driver", "persist security info", "packet size", "auto translate", "use procedure for prepare",
        "network library", "tag with column collation when possible", "use encryption for data",
        "encrypt", "trust server certificate", "trustservercertificate", "locale identifier", "current language",
        "mode"};
    for (const std::string_view known : kKnown)
        if (key == known) return true;
    return false;
}

std::vector<OledbPair> ParseOledbPairs(std::string_view text) {
    std::vector<OledbPair> pairs;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const std::size_t mark = text.find_first_of("=;", i);
        if (mark == std::string_view::npos || text[mark] == ';') {
            const std::size_t end = mark == std::string_view::npos ? n : mark;
            // The text itself may be a piece of an unquoted password.
            if (!TrimBlanks(text.substr(i, end - i)).empty())
                throw UserError(pairs.empty() ? Say(msg::kConnectionStartsWithoutEquals)
                                              : Say(msg::kConnectionPartWithoutEquals, {NameInMessage(pairs.back())}));
            i = end + 1;
            continue;
        }
        OledbPair pair;
        pair.begin = i;
        pair.written = std::string(TrimBlanks(text.substr(i, mark - i)));
        pair.key = AsciiLower(pair.written);
        if (pair.key.empty()) throw UserError(Say(msg::kConnectionValueWithoutName));
        i = mark + 1;
        while (i < n && IsBlank(text[i])) ++i;
        pair.value_begin = i;

        std::string value;
        if (i < n && (text[i] == '"' || text[i] == '\'')) {
            const char quote = text[i++];
            for (;;) {
                if (i >= n) throw UserError(Say(msg::kConnectionQuoteNotClosed, {NameInMessage(pair)}));
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i++];
            }
            pair.value_end = i;
            while (i < n && IsBlank(text[i])) ++i;
            if (i < n && text[i] != ';')
                throw UserError(Say(msg::kConnectionTextAfterQuote, {NameInMessage(pair)}));
        } else {
            const std::size_t end = std::min(text.find(';', i), n);
            value = std::string(TrimBlanks(text.substr(i, end - i)));
            pair.value_end = i + value.size();
            i = end;
        }
        pair.end = i;
        ++i; // the ';'
        pair.value = std::move(value);
        pairs.push_back(std::move(pair));
    }
    return pairs;
}

const OledbPair* OledbSettings::Find(std::initializer_list<std::string_view> names) const {
    for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it)
        for (const std::string_view name : names)
            if (it->key == name) return &*it;
    return nullptr;
}

bool IsOledbYes(std::string_view value) {
    return EqualsNoCase(value, "sspi") || EqualsNoCase(value, "true") || EqualsNoCase(value, "yes");
}

OledbLogin ReadOledbLogin(const OledbSettings& settings) {
    const auto value = [&](std::span<const std::string_view> names) {
        const OledbPair* pair = Last(settings.Pairs(), names);
        return pair ? pair->value : std::string();
    };
    return {value(kServerKeys), value(kDatabaseKeys), value(kUserKeys), value(kPasswordKeys),
            IsOledbYes(value(kWindowsKeys))};
}

std::string QuoteOledbValue(std::string_view value) {
    const bool plain = value.find(';') == std::string_view::npos &&
                       (value.empty() || (value.front() != '"' && value.front() != '\'' && value.front() != '=' &&
                                          !IsBlank(value.front()) && !IsBlank(value.back())));
    if (plain) return std::string(value);
    std::string quoted = "\"";
    for (const char c : value) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

std::string EditOledbLogin(std::string_view text, const OledbLoginEdit& edit) {
    // A line end (LF, CR, Ctrl-Z) would end RegInfo.INI's first line early.
    const std::pair<const Message*, const std::optional<std::string>*> values[] = {
        {&msg::kLoginFieldServer, &edit.server}, {&msg::kLoginFieldDatabase, &edit.database},
        {&msg::kLoginFieldUser, &edit.user}, {&msg::kLoginFieldPassword, &edit.password}};
    for (const auto& [name, value] : values)
        if (*value && (*value)->find_first_of("\r\n\x1A") != std::string::npos)
            throw UserError(Say(msg::kLoginFieldHasLineBreak, {Say(*name)}));

    // What the installer has always written for a new file.
    if (TrimBlanks(text).empty())
        text = edit.windows_authentication.value_or(false)
                   ? "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=;"
                     "Data Source="
                   : "Provider=SQLOLEDB.1;Password=;Persist Security Info=True;User ID=;Initial Catalog=;"
                     "Data Source=";
    const std::vector<OledbPair> pairs = ParseOledbPairs(text);
    std::vector<Part> parts = SplitParts(text, pairs);
    const bool windows =
        edit.windows_authentication.value_or(ReadOledbLogin(OledbSettings(pairs)).windows_authentication);

    // Where a key that is missing goes: the login's keys to the place of
    // the first login key dropped, the others to the end.
    std::size_t login_place = parts.size();
    std::vector<std::string> new_login_pairs, new_pairs;

    // A field given: its last pair gets the value (an unchanged one keeps
    // its text), earlier synonyms go, a missing key is added unless empty.
    const auto set = [&](std::span<const std::string_view> names, std::string_view key,
                         const std::optional<std::string>& value, std::vector<std::string>& missing) {
        if (!value) return;
        Part* last = FindLast(parts, names);
        DropAllBut(parts, names, last, parts.size());
        if (!last) {
            if (!value->empty()) missing.push_back(std::string(key) + "=" + QuoteOledbValue(*value));
        } else if (last->pair->value != *value) {
            Replace(*last, text, *value);
        }
    };

    set(kServerKeys, "Data Source", edit.server, new_pairs);
    set(kDatabaseKeys, "Initial Catalog", edit.database, new_pairs);
    if (windows) {
        login_place = DropAllBut(parts, kUserKeys, nullptr, login_place);
        login_place = DropAllBut(parts, kPasswordKeys, nullptr, login_place);
        Part* last = FindLast(parts, kWindowsKeys);
        DropAllBut(parts, kWindowsKeys, last, parts.size());
        // Trusted_Connection says yes; Integrated Security, SSPI.
        if (!last) new_login_pairs.push_back("Integrated Security=SSPI");
        else if (!IsOledbYes(last->pair->value))
            Replace(*last, text, last->pair->key == "trusted_connection" ? "yes" : "SSPI");
    } else {
        if (edit.windows_authentication) login_place = DropAllBut(parts, kWindowsKeys, nullptr, login_place);
        set(kUserKeys, "User ID", edit.user, new_login_pairs);
        set(kPasswordKeys, "Password", edit.password, new_login_pairs);
    }

    // New keys go before a trailing blank part, which keeps a closing ';'.
    std::size_t end_place = parts.size();
    if (parts.size() > 1 && TrimBlanks(parts.back().text).empty()) end_place = parts.size() - 1;
    if (login_place == parts.size()) login_place = end_place;
    std::vector<std::string> out;
    for (std::size_t i = 0; i <= parts.size(); ++i) {
        if (i == login_place) out.insert(out.end(), new_login_pairs.begin(), new_login_pairs.end());
        if (i == end_place) out.insert(out.end(), new_pairs.begin(), new_pairs.end());
        if (i < parts.size() && !parts[i].dropped) out.push_back(std::move(parts[i].text));
    }
    std::string joined;
    for (std::size_t i = 0; i < out.size(); ++i) joined += (i == 0 ? "" : ";") + out[i];
    return joined;
}

std::string OledbSettings::Value(std::initializer_list<std::string_view> names) const {
    const OledbPair* pair = Find(names);
    return pair ? pair->value : std::string();
}

} // namespace parktotals
