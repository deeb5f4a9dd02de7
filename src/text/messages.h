#pragma once

#include "text/language.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

// The program's own words, each written once in both its languages. A
// message is built at compile time: one without its Chinese, or whose
// two texts do not take the same {0} ... {9} arguments, does not compile.
// The table itself is message_table.h.
namespace parktotals {

class Message {
public:
    template <std::size_t N, std::size_t M>
    consteval Message(const char (&english)[N], const char (&chinese)[M]) : english_(english), chinese_(chinese) {
        static_assert(N > 1 && M > 1, "a message needs its text in both languages");
        // A throw here is not a constant expression: the build stops on
        // this message.
        if (Arguments(english_) != Arguments(chinese_)) throw "both languages must take the same arguments";
        if (Arguments(english_) < 0) throw "a brace that is not {0} ... {9}";
    }

    std::string_view Text(Language language) const { return language == Language::Chinese ? chinese_ : english_; }

private:
    // Which of {0} ... {9} the text takes, as bits; -1 for a stray brace.
    static consteval int Arguments(std::string_view text) {
        int taken = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '}') return -1;
            if (text[i] != '{') continue;
            if (i + 2 >= text.size() || text[i + 1] < '0' || text[i + 1] > '9' || text[i + 2] != '}') return -1;
            taken |= 1 << (text[i + 1] - '0');
            i += 2;
        }
        return taken;
    }

    std::string_view english_;
    std::string_view chinese_;
};

// The message in `language` with {n} replaced by arguments[n].
std::string Say(Language language, const Message& message, std::initializer_list<std::string_view> arguments = {});
// The same in the run's language.
std::string Say(const Message& message, std::initializer_list<std::string_view> arguments = {});

} // namespace parktotals
