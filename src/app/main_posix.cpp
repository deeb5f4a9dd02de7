#include "app/app_title.h"
#include "app/build_config.h"
#include "app/command_line.h"
#include "app/connection_options.h"
#include "app/shells.h"
#include "db/central_connection.h"
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
    const LocalDate today = TodayOnLocalClock();
    CommandLine command;
    try {
        const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
        // What the line says, wrong or right, is said in the language it asks for.
        if (const std::optional<Language> language = LanguageAsked(arguments)) SetCurrentLanguage(*language);
        command = ParseCommandLine(arguments, today);
        if (command.task == Task::Help || command.task == Task::Version) {
            const std::string name = exe.empty() ? "parktotals" : exe.substr(FolderOf(exe).size());
            std::cout << (command.task == Task::Help ? UsageText(name, kTerminalWidth)
                                                     : VersionText(PARKTOTALS_VERSION) + "\n")
                      << std::flush;
            // A full disk or a closed pipe: the text did not arrive.
            if (!std::cout) throw UserError(Say(msg::kCannotWriteStdout));
            return 0;
        }
        if (command.task != Task::NightlyRun) return RunConnectionTask(command);
    } catch (const std::exception& e) {
        std::cerr << title << ": " << ErrorBoxText(e.what()) << std::endl;
        return 1;
    }
    try {
        FormSettings settings = ProgramSettings(
            FolderOf(exe),
            CentralConnectionString(PARKTOTALS_CENTRAL_HOST, PARKTOTALS_CENTRAL_USER, PARKTOTALS_CENTRAL_PASSWORD,
                                    {PARKTOTALS_CENTRAL_ENCRYPT, PARKTOTALS_CENTRAL_TRUST_CERTIFICATE}));
        settings.version = PARKTOTALS_VERSION;
        settings.job.options = command.options;
        return DisplayAvailable() ? RunFltkShell(title, std::move(settings))
                                  : RunHeadlessShell(title, std::move(settings));
    } catch (const std::exception& e) {
        // Only building the window can get here; the job's errors are shown
        // by the application.
        std::cerr << title << ": " << ErrorBoxText(e.what()) << std::endl;
        return 1;
    }
}
