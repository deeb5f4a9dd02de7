#pragma once

#include "app/form.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What both platforms' mains do before a window: read the command line,
// and do what needs none (the usage text, the version, the installer's
// options, a line refused).
namespace parktotals {

struct ProgramFacts {
    std::string executable;   // full path; empty when unknown
    std::string default_name; // the executable's name when it is unknown
    std::string version;
    std::string central_connection_string;
    std::size_t usage_width = 0; // UsageText's
};

// How the platform shows a text without a window: an error (`error` true,
// the text as ErrorBoxText gives it) or the usage text or version. Throws
// UserError when the text cannot be shown.
using ShowText = std::function<void(const std::string& text, bool error)>;

struct ProgramStart {
    std::optional<int> exit_code; // set when the program is done
    FormSettings settings;        // the nightly run's, otherwise
};

// Never throws.
ProgramStart StartProgram(const std::vector<std::string>& arguments, const ProgramFacts& facts,
                          const ShowText& show) noexcept;

} // namespace parktotals
