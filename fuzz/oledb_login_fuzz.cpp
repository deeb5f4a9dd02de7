// The installer's edit of RegInfo.INI's line (EditOledbLogin), from any
// line and any values: a line the program's parser refuses is refused with
// the parser's own message; otherwise the result reads back as the values
// given, with no key of the other login left, every other pair in its order
// with its value, and editing it again changes nothing. Put into a file of
// any encoding (ReplaceRegInfoLine), the first line reads back as written
// and the bytes after it stay.

#include "db/oledb_string.h"
#include "db/reginfo.h"
#include "fuzz_check.h"
#include "support/utf16_files.h"
#include "text/errors.h"
#include "text/utf16.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace parktotals;

bool IsPageKey(const std::string& key) {
    for (const char* page : {"data source", "server", "address", "addr", "network address", "initial catalog",
                             "database", "user id", "uid", "user", "password", "pwd", "integrated security",
                             "trusted_connection"})
        if (key == page) return true;
    return false;
}

std::vector<std::pair<std::string, std::string>> OtherPairs(const std::vector<OledbPair>& pairs) {
    std::vector<std::pair<std::string, std::string>> other;
    for (const OledbPair& pair : pairs)
        if (!IsPageKey(pair.key)) other.emplace_back(pair.written, pair.value);
    return other;
}

std::string Error(std::string_view text, const OledbLogin* login) {
    try {
        if (login) EditOledbLogin(text, *login);
        else ParseOledbPairs(text);
    } catch (const UserError& e) {
        return e.what();
    }
    return "";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    OledbLogin login;
    for (std::string* value : {&login.server, &login.database, &login.user, &login.password})
        *value = input.ConsumeRandomLengthString(32);
    login.windows_authentication = input.ConsumeBool();
    const int encoding = input.ConsumeIntegralInRange(0, 3);
    std::string text = input.ConsumeRemainingBytesAsString();
    // As ReadRegInfoText gives it: one line.
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n' || c == '\x1A'; });

    bool breaks = false;
    for (const std::string* value : {&login.server, &login.database, &login.user, &login.password})
        breaks = breaks || value->find_first_of("\r\n\x1A") != std::string::npos;
    const std::string error = Error(text, &login);
    if (breaks) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    const bool blank = text.find_first_not_of(" \t") == std::string::npos;
    if (!blank) FUZZ_CHECK(error == Error(text, nullptr));
    if (!error.empty()) return 0;

    const std::string edited = EditOledbLogin(text, login);
    FUZZ_CHECK(edited.find_first_of("\r\n\x1A") == std::string::npos);
    const std::vector<OledbPair> pairs = ParseOledbPairs(edited);
    OledbLogin wanted = login;
    if (wanted.windows_authentication) wanted.user = wanted.password = "";
    FUZZ_CHECK(ReadOledbLogin(OledbSettings(pairs)) == wanted);
    for (const OledbPair& pair : pairs) {
        const bool windows_key = pair.key == "integrated security" || pair.key == "trusted_connection";
        const bool login_key = pair.key == "user id" || pair.key == "uid" || pair.key == "user" ||
                               pair.key == "password" || pair.key == "pwd";
        FUZZ_CHECK(login.windows_authentication ? !login_key : !windows_key);
    }
    if (!blank) FUZZ_CHECK(OtherPairs(pairs) == OtherPairs(ParseOledbPairs(text)));
    FUZZ_CHECK(EditOledbLogin(edited, login) == edited);

    // A file holds text: invalid UTF-8 would not come back as it went in.
    if (Utf16ToUtf8(Utf8ToUtf16(edited)) != edited) return 0;
    const std::string rest = "\r\n[other]\r\nkey=" + text + "\r\n";
    std::string file;
    switch (encoding) {
    case 0: file = ""; break;
    case 1: file = "\xEF\xBB\xBF" + text + rest; break;
    default: file = testing::Utf16File(text + rest, encoding == 3); break;
    }
    const std::string replaced = ReplaceRegInfoLine(file, edited);
    std::istringstream in(replaced);
    FUZZ_CHECK(ReadRegInfoText(in) == edited);
    if (encoding == 1) FUZZ_CHECK(replaced.ends_with(rest));
    return 0;
}
