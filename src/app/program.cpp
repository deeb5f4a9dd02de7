#include "app/program.h"

#include "app/app_title.h"
#include "app/command_line.h"
#include "app/connection_options.h"
#include "app/shells.h"

#include <exception>

namespace parktotals {

ProgramStart StartProgram(const std::vector<std::string>& arguments, const ProgramFacts& facts,
                          const ShowText& show) noexcept {
    ProgramStart start;
    try {
        const CommandLine command = ParseCommandLine(arguments, TodayOnLocalClock());
        if (command.task == Task::Help || command.task == Task::Version) {
            const std::string& exe = facts.executable;
            const std::string name = exe.empty() ? facts.default_name : exe.substr(FolderOf(exe).size());
            show(command.task == Task::Help ? UsageText(name, facts.usage_width) : VersionText(facts.version), false);
            start.exit_code = 0;
        } else if (command.task != Task::NightlyRun) {
            start.exit_code = RunConnectionTask(command);
        } else {
            start.settings = ProgramSettings(FolderOf(facts.executable), facts.central_connection_string);
            start.settings.version = facts.version;
            start.settings.job.options = command.options;
        }
    } catch (const std::exception& e) {
        try {
            show(ErrorBoxText(e.what()), true);
        } catch (const std::exception&) {
            // The exit code alone says it then.
        }
        start.exit_code = 1;
    }
    return start;
}

} // namespace parktotals
