#pragma once

#include <string>
#include <vector>

// The program's command line. Without arguments it is the nightly run the
// scheduler starts; the options are for the installer, which lets the
// program's own connection-string code read and edit RegInfo.INI.
namespace parktotals {

enum class Task {
    NightlyRun,
    ReadConnection,  // --read-connection <fields file>
    WriteConnection, // --write-connection <fields file>
};

struct CommandLine {
    Task task = Task::NightlyRun;
    std::string fields_file;
};

// `arguments` without the program's own name. Throws UserError naming an
// argument it does not know, or an option without its file.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

} // namespace parktotals
