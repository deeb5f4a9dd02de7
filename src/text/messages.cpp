#include "text/messages.h"

namespace parktotals {

std::string Say(Language language, const Message& message, std::initializer_list<std::string_view> arguments) {
    const std::string_view text = message.Text(language);
    std::string said;
    said.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Only "{d}" is ever there: the constructor checked.
        if (text[i] == '{') {
            const std::size_t n = static_cast<std::size_t>(text[i + 1] - '0');
            if (n < arguments.size()) said += *(arguments.begin() + n);
            i += 2;
        } else {
            said += text[i];
        }
    }
    return said;
}

std::string Say(const Message& message, std::initializer_list<std::string_view> arguments) {
    return Say(CurrentLanguage(), message, arguments);
}

} // namespace parktotals
