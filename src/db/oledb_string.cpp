#include "db/oledb_string.h"

#include "text/ascii.h"
#include "text/errors.h"

#include <algorithm>

namespace parktotals {
namespace {

std::string NameInMessage(const OledbPair& pair) {
    return IsKnownOledbKey(pair.key) ? "the value of \"" + pair.written + "\"" : "a value";
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
                throw UserError(pairs.empty() ? "The connection string starts with a part that has no \"=\""
                                              : "In the connection string, " + NameInMessage(pairs.back()) +
                                                    " is followed by a part that has no \"=\"");
            i = end + 1;
            continue;
        }
        OledbPair pair;
        pair.written = std::string(TrimBlanks(text.substr(i, mark - i)));
        pair.key = AsciiLower(pair.written);
        if (pair.key.empty()) throw UserError("The connection string has a value without a name");
        i = mark + 1;
        while (i < n && IsBlank(text[i])) ++i;

        std::string value;
        if (i < n && (text[i] == '"' || text[i] == '\'')) {
            const char quote = text[i++];
            for (;;) {
                if (i >= n)
                    throw UserError("In the connection string, the quote around " + NameInMessage(pair) +
                                    " is not closed");
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
            while (i < n && IsBlank(text[i])) ++i;
            if (i < n && text[i] != ';')
                throw UserError("In the connection string, " + NameInMessage(pair) +
                                " has more text after its closing quote");
        } else {
            const std::size_t end = std::min(text.find(';', i), n);
            value = std::string(TrimBlanks(text.substr(i, end - i)));
            i = end;
        }
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

std::string OledbSettings::Value(std::initializer_list<std::string_view> names) const {
    const OledbPair* pair = Find(names);
    return pair ? pair->value : std::string();
}

} // namespace parktotals
