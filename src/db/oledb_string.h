#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// OLE DB connection strings as the car park's files and the built-in
// central string write them: "Key=value;Key=value". Reading, and the
// installer's edit of the login; what a driver makes of them is
// connection_string.h's business.
namespace parktotals {

struct OledbPair {
    std::string key;     // lower case, for matching
    std::string written; // the key as the string has it
    std::string value;   // unquoted
    // Where it stands in the parsed text, so that an edit can keep the
    // rest as written: the part (from after the previous ';' up to its own
    // ';' or the end) and the value (quotes included, blanks around not).
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t value_begin = 0;
    std::size_t value_end = 0;
};

// Keys compare case-insensitively; values may be quoted with " or ' (the
// quote doubled inside); pairs split at ';'. Throws UserError for a part
// without "=", a key without a name, an unclosed quote or text after a
// closing quote. No error text holds a value, nor a key the program does
// not know (with an unquoted password holding ';' or '=', such a "key" may
// be a piece of the password).
std::vector<OledbPair> ParseOledbPairs(std::string_view text);

// Every key the program knows, used or not, in lower case.
bool IsKnownOledbKey(std::string_view key);

// The pairs of one string; the last pair under a name wins.
class OledbSettings {
public:
    explicit OledbSettings(std::vector<OledbPair> pairs) : pairs_(std::move(pairs)) {}
    explicit OledbSettings(std::string_view text) : pairs_(ParseOledbPairs(text)) {}

    bool Empty() const { return pairs_.empty(); }
    const std::vector<OledbPair>& Pairs() const { return pairs_; }

    // The last pair under any of the names (lower case).
    const OledbPair* Find(std::initializer_list<std::string_view> names) const;
    // Its value, empty when there is none.
    std::string Value(std::initializer_list<std::string_view> names) const;

private:
    std::vector<OledbPair> pairs_;
};

// "SSPI", "true" or "yes" in any case: how Integrated Security and
// Trusted_Connection ask for a Windows login.
bool IsOledbYes(std::string_view value);

// The part of a local connection string that the installer's database page
// shows. Each field has its synonyms: Data Source, Server, Address, Addr,
// Network Address; Initial Catalog, Database; User ID, UID, User; Password,
// PWD; Integrated Security, Trusted_Connection.
struct OledbLogin {
    std::string server;
    std::string database;
    std::string user;
    std::string password;
    bool windows_authentication = false;

    bool operator==(const OledbLogin&) const = default;
};

OledbLogin ReadOledbLogin(const OledbSettings& settings);

// A value as a pair takes it: in double quotes (one inside doubled) when it
// holds a ';', starts with a quote or a '=' (which another reader may take
// for an escaped '=' in the key), or starts or ends with a blank (the
// reader trims them); else as it is.
std::string QuoteOledbValue(std::string_view value);

// What the installer's edit changes; a field not given keeps what the
// string says.
struct OledbLoginEdit {
    std::optional<std::string> server;
    std::optional<std::string> database;
    std::optional<std::string> user;
    std::optional<std::string> password;
    std::optional<bool> windows_authentication;

    OledbLoginEdit() = default;
    // Every field given.
    OledbLoginEdit(const OledbLogin& login)
        : server(login.server), database(login.database), user(login.user), password(login.password),
          windows_authentication(login.windows_authentication) {}
};

// `text` with the given fields' values, every other pair kept as written
// and in its order. An unchanged pair keeps its text; a changed value is
// quoted by QuoteOledbValue. Earlier pairs a later synonym of a field
// given overrides are dropped; so are the user and password with Windows
// authentication, and Integrated Security when a SQL login is asked for
// (the other login's keys take the first dropped one's place). A missing
// key of a field given a value goes at the end. A blank `text` gives the line a
// new RegInfo.INI gets. Throws UserError, as ParseOledbPairs does, or when
// a value holds a line break or Ctrl-Z (the string is one line of a file).
std::string EditOledbLogin(std::string_view text, const OledbLoginEdit& edit);

} // namespace parktotals
