#include "app/app_title.h"
#include "app/build_config.h"
#include "app/shells.h"
#include "db/central_connection.h"

#include <filesystem>

// The program takes no arguments and reads no environment variables of its
// own: it is started by a scheduler and runs to its end by itself.
int main() {
    using namespace parktotals;
    const std::string exe = ExecutablePath();

    FormSettings settings;
    settings.job.park_config_path =
        (std::filesystem::path(exe).parent_path() / kParkConfigFileName).string();
    settings.central_connection_string =
        CentralConnectionString(PARKTOTALS_CENTRAL_HOST, PARKTOTALS_CENTRAL_USER, PARKTOTALS_CENTRAL_PASSWORD);

    const std::string title = ApplicationTitle(exe.empty() ? "parktotals" : exe);
    return DisplayAvailable() ? RunFltkShell(title, std::move(settings))
                              : RunHeadlessShell(title, std::move(settings));
}
