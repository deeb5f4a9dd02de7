#pragma once

#include "totals/date_key.h"
#include "text/language.h"
#include "totals/run_options.h"

#include <optional>

#include <string>
#include <vector>

// The program's command line. Without arguments it is the nightly run the
// scheduler starts; the run options ask for more tries, past days or missed
// nights (totals/run_options.h). --read-connection and --write-connection are
// for the installer, which lets the program's own connection-string code read
// and edit RegInfo.INI; they take no other option.
namespace parktotals {

enum class Task {
    NightlyRun,
    ReadConnection,  // --read-connection <fields file>
    WriteConnection, // --write-connection <fields file>
    Help,            // --help: the usage text
    Version,         // --version
};

struct CommandLine {
    Task task = Task::NightlyRun;
    RunOptions options;      // NightlyRun
    std::optional<Language> language; // --language, for every task
    std::string fields_file; // ReadConnection, WriteConnection
};

// `arguments` without the program's own name; `today` on the local clock,
// which days given with --date must lie before. An option's value follows it
// as the next argument or after "=" (--retries 3, --retries=3). --help
// anywhere asks for the usage text, else --version anywhere for the version,
// whatever the rest of the line holds. A language --language names becomes
// the current one (SetCurrentLanguage), so that what is said of the line is
// said in it. Throws UserError naming the first argument it cannot take, and
// saying what it would.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments, LocalDate today);

// What --help shows; `program_name` is the executable's file name. Each
// paragraph is one line, unless `width` asks for lines no longer than that.
std::string UsageText(const std::string& program_name, std::size_t width = 0);
// What --version shows: "parktotals <version>".
std::string VersionText(const std::string& version);

} // namespace parktotals
