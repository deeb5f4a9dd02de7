#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// OLE DB connection strings as the car park's files and the built-in
// central string write them: "Key=value;Key=value". Reading only; what a
// driver makes of them is connection_string.h's business.
namespace parktotals {

struct OledbPair {
    std::string key;     // lower case, for matching
    std::string written; // the key as the string has it
    std::string value;   // unquoted
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

} // namespace parktotals
