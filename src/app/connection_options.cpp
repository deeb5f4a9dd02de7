#include "app/connection_options.h"

#include "db/oledb_string.h"
#include "db/reginfo.h"
#include "files/whole_file.h"
#include "text/ascii.h"
#include "text/errors.h"
#include "text/message_table.h"
#include "text/text_codec.h"
#include "text/utf16.h"
#include "totals/profile.h"

#include <optional>
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

// The key's value; nullopt when the fields file does not hold the key, the
// one case in which the reader gives back whatever fallback it is passed.
// A value the reader may have cut is refused.
std::optional<std::string> Field(const std::string& fields_file, std::string_view key) {
    const std::string value = ReadProfileString(fields_file, kSection, key, "0");
    if (value == "0" && ReadProfileString(fields_file, kSection, key, "1") == "1") return std::nullopt;
    if (Utf8ToUtf16(value).size() >= kProfileValueMax)
        throw UserError(Say(msg::kFieldTooLong, {key, std::to_string(kProfileValueMax - 1)}));
    return value;
}

// A key the fields file does not hold keeps RegInfo.INI's value; one it
// holds empty sets it empty.
void WriteConnection(const std::string& fields_file) {
    if (!IsProfileFile(fields_file)) throw UserError(Say(msg::kCannotOpenFile, {Excerpt(fields_file)}));
    OledbLoginEdit edit;
    edit.server = Field(fields_file, "server");
    edit.database = Field(fields_file, "database");
    edit.user = Field(fields_file, "user");
    edit.password = Field(fields_file, "password");
    if (const std::optional<std::string> windows = Field(fields_file, "windowsauth"))
        edit.windows_authentication = *windows == "1";
    const std::string bytes = ReadRegInfoBytes();
    std::istringstream in(bytes);
    ReplaceWholeFile(kRegInfoFileName, ReplaceRegInfoLine(bytes, EditOledbLogin(ReadRegInfoText(in), edit)));
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
