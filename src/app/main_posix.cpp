#include "app/app_title.h"
#include "app/build_config.h"
#include "app/command_line.h"
#include "app/connection_options.h"
#include "app/shells.h"
#include "db/central_connection.h"

#include <exception>
#include <iostream>

// Without arguments (the only way a scheduler starts it) the program runs to
// its end by itself; it reads no environment variables of its own. The
// options are the installer's (command_line.h).
int main(int argc, char** argv) {
    using namespace parktotals;
    const std::string exe = ExecutablePath();
    const std::string title = ApplicationTitle(exe.empty() ? "parktotals" : exe);
    try {
        const CommandLine command = ParseCommandLine({argv + (argc > 0 ? 1 : 0), argv + argc});
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
        return DisplayAvailable() ? RunFltkShell(title, std::move(settings))
                                  : RunHeadlessShell(title, std::move(settings));
    } catch (const std::exception& e) {
        // Only building the window can get here; the job's errors are shown
        // by the application.
        std::cerr << title << ": " << ErrorBoxText(e.what()) << std::endl;
        return 1;
    }
}
