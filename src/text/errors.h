#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace parktotals {

// An error meant for the person at the machine: what() is the text to show,
// exactly as it is to be shown (the shell only adds the closing full stop).
// A NUL in the text is shown escaped (\x00), as what() ends at the first.
class UserError : public std::runtime_error {
public:
    explicit UserError(const std::string& text) : std::runtime_error(NulEscaped(text)) {}
    explicit UserError(const char* text) : std::runtime_error(text) {}

private:
    static std::string NulEscaped(std::string text) {
        for (std::size_t at = text.find('\0'); at != std::string::npos; at = text.find('\0', at))
            text.replace(at, 1, "\\x00");
        return text;
    }
};

// Drops trailing blanks, line breaks and full stops, the way system and
// driver texts are trimmed before they are shown inside a message.
std::string TrimMessageTail(std::string text);

// The text as one line, for a file or a terminal read line by line: line
// breaks and the other control characters (C0, DEL, C1, the Unicode line
// and paragraph separators, the bidirectional embeddings, overrides and
// isolates that would turn the rest of the line around) and bytes that are
// no UTF-8 are shown escaped (\n, \r, \t, \x1b, \u0085, \u202e), so that what a server or a driver says can
// neither start a line of its own nor steer a terminal. Valid UTF-8 passes
// unchanged.
std::string OneLine(std::string_view text);

// A value from the command line or a file as a message quotes it: at most
// kExcerptLength characters, a longer one cut with an ellipsis.
inline constexpr std::size_t kExcerptLength = 200;
std::string Excerpt(std::string_view text);

} // namespace parktotals
