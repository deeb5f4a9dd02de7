#pragma once

#include <stdexcept>
#include <string>

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

} // namespace parktotals
