#include "app/connection_options.h"

#include "db/oledb_string.h"
#include "db/reginfo.h"
#include "files/whole_file.h"
#include "text/ascii.h"
#include "text/errors.h"
#include "text/message_table.h"
#include "text/text_codec.h"
#include "totals/profile.h"

#include <sstream>
#include <utility>
#include <vector>

namespace parktotals {
namespace {

constexpr const char* kSection = "connection";

using Fields = std::vector<std::pair<std::string, std::string>>;

void WriteFields(const std::string& path, const Fields& fields) {
    std::string text = "[" + std::string(kSection) + "]\r\n";
    for (const auto& [key, value] : fields) text += key + "=\"" + value + "\"\r\n";
    ReplaceWholeFile(path, EncodeUtf16File(text, false), FileRights::OwnerOnly);
}

// A value of the zip's sample RegInfo.INI, still to be filled in.
bool IsPlaceholder(std::string_view value) {
    return value.size() >= 2 && value.front() == '<' && value.back() == '>';
}

// RegInfo.INI's bytes; none when there is no such file yet.
std::string ReadRegInfoBytes() { return IsProfileFile(kRegInfoFileName) ? ReadFileBytes(kRegInfoFileName) : ""; }

void ReadConnection(const std::string& fields_file) {
    OledbLogin login;
    bool found = false;
    const std::string line = ReadRegInfoLine();
    if (!TrimBlanks(line).empty()) {
        login = ReadOledbLogin(OledbSettings(line));
        found = !IsPlaceholder(login.server) && !IsPlaceholder(login.database) && !IsPlaceholder(login.user) &&
                !IsPlaceholder(login.password);
        if (!found) login = {};
    }
    WriteFields(fields_file, {{"found", found ? "1" : "0"},
                              {"server", login.server},
                              {"database", login.database},
                              {"user", login.user},
                              {"password", login.password},
                              {"windowsauth", login.windows_authentication ? "1" : "0"}});
}

void WriteConnection(const std::string& fields_file) {
    if (!IsProfileFile(fields_file)) throw UserError(Say(msg::kCannotOpenFile, {fields_file}));
    const auto field = [&](std::string_view key) { return ReadProfileString(fields_file, kSection, key, ""); };
    const OledbLogin login{field("server"), field("database"), field("user"), field("password"),
                           field("windowsauth") == "1"};
    const std::string bytes = ReadRegInfoBytes();
    std::istringstream in(bytes);
    const std::string line = EditOledbLogin(ReadRegInfoText(in), login);
    ReplaceWholeFile(kRegInfoFileName, ReplaceRegInfoLine(bytes, line));
}

} // namespace

int RunConnectionTask(const CommandLine& command) {
    try {
        if (command.task == Task::ReadConnection) ReadConnection(command.fields_file);
        else WriteConnection(command.fields_file);
        return 0;
    } catch (const std::exception& e) {
        std::string message = e.what();
        for (char& c : message)
            if (c == '\r' || c == '\n') c = ' ';
        try {
            // Also puts the password out of the file.
            WriteFields(command.fields_file, {{"error", message}});
        } catch (const std::exception&) {
            // The exit code alone says it then.
        }
        return 1;
    }
}

} // namespace parktotals
