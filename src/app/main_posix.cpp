#include "app/app_title.h"
#include "app/built_program.h"
#include "app/shells.h"
#include "text/message_table.h"
#include "text/errors.h"

#include <exception>
#include <iostream>

namespace {

// The usage text's lines fit a terminal of 80 columns.
constexpr std::size_t kTerminalWidth = 79;

} // namespace

// Without arguments (the way a scheduler starts it) the program runs to its
// end by itself; it reads no environment variables of its own. The options
// are in command_line.h; a line it cannot take is refused before anything
// is connected or written.
int main(int argc, char** argv) {
    using namespace parktotals;
    const std::string exe = ExecutablePath();
    const std::string title = ApplicationTitle(exe.empty() ? "parktotals" : exe);
    const ProgramFacts facts = BuiltProgramFacts(exe, "parktotals", kTerminalWidth);
    ProgramStart start =
        StartProgram(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), facts,
                     [&](const std::string& text, bool error) {
                         if (error) {
                             std::cerr << title << ": " << text << std::endl;
                             return;
                         }
                         std::cout << text << (text.ends_with('\n') ? "" : "\n") << std::flush;
                         // A full disk or a closed pipe: the text did not arrive.
                         if (!std::cout) throw UserError(Say(msg::kCannotWriteStdout));
                     });
    if (start.exit_code) return *start.exit_code;
    try {
        return DisplayAvailable() ? RunFltkShell(title, std::move(start.settings))
                                  : RunHeadlessShell(title, std::move(start.settings));
    } catch (const std::exception& e) {
        // Only building the window can get here; the job's errors are shown
        // by the application.
        std::cerr << title << ": " << ErrorBoxText(e.what()) << std::endl;
        return 1;
    }
}
