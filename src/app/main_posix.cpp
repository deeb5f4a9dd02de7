#include "app/app_title.h"
#include "app/build_config.h"
#include "app/shells.h"
#include "db/central_connection.h"

#include <exception>
#include <iostream>

// The program takes no arguments and reads no environment variables of its
// own: it is started by a scheduler and runs to its end by itself.
int main() {
    using namespace parktotals;
    const std::string exe = ExecutablePath();
    const std::string title = ApplicationTitle(exe.empty() ? "parktotals" : exe);
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
