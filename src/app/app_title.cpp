#include "app/app_title.h"

#include "text/ascii.h"

namespace parktotals {

std::string ApplicationTitle(std::string_view executable_path) {
    const std::size_t slash = executable_path.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? executable_path : executable_path.substr(slash + 1);
    name = name.substr(0, name.find('.'));
    std::string title(name);
    // Only ASCII letters change case; bytes of other UTF-8 characters pass as they are.
    for (std::size_t i = 1; i < title.size(); ++i) title[i] = AsciiLower(title[i]);
    return title;
}

std::string ErrorBoxText(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
    return message;
}

} // namespace parktotals
