#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace parktotals {

// An error meant for the person at the machine: what() is the text to show,
// exactly as it is to be shown (the shell only adds the closing full stop).
class UserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Drops trailing blanks, line breaks and full stops, the way system and
// driver texts are trimmed before they are shown inside a message.
std::string TrimMessageTail(std::string text);

// The text as one line, for a file or a terminal read line by line: line
// breaks and the other control characters (C0, DEL, C1, the Unicode line
// and paragraph separators) and bytes that are no UTF-8 are shown escaped
// (\n, \r, \t, \x1b, \u0085), so that what a server or a driver says can
// neither start a line of its own nor steer a terminal. Valid UTF-8 passes
// unchanged.
std::string OneLine(std::string_view text);

} // namespace parktotals
