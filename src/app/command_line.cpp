#include "app/command_line.h"

#include "text/errors.h"

namespace parktotals {

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine command;
    if (arguments.empty()) return command;
    const std::string& option = arguments[0];
    if (option == "--read-connection") {
        command.task = Task::ReadConnection;
    } else if (option == "--write-connection") {
        command.task = Task::WriteConnection;
    } else {
        throw UserError("Unknown option \"" + option +
                        "\": the program takes no arguments; --read-connection and --write-connection are for "
                        "its installer");
    }
    if (arguments.size() < 2 || arguments[1].empty())
        throw UserError(option + " needs the path of its fields file");
    if (arguments.size() > 2) throw UserError("Unknown option \"" + arguments[2] + "\" after " + option);
    command.fields_file = arguments[1];
    return command;
}

} // namespace parktotals
