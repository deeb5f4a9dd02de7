// OLE DB -> ODBC connection strings. Three kinds of input:
//  - the central account as the program builds it (CentralConnectionString);
//  - well-formed pairs with the password among them;
//  - raw bytes, as a damaged RegInfo.INI might hold.
// Each password is translated twice, as itself and disguised (every letter
// and digit changed, nothing else): errors, and everything in the result but
// the PWD value, must come out the same, so no part of the password can show
// anywhere else. The PWD value must read back as the password, and the
// result must parse by the brace rules of the driver it goes to. Encryption
// asked for must reach the driver as its own keyword, and a certificate to
// be checked through FreeTDS must come with a freetds.conf section of plain
// "key = value" lines that names the server.

#include "db/central_connection.h"
#include "db/connection_string.h"
#include "db/odbc_driver.h"
#include "text/errors.h"
#include "fuzz_check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace parktotals;

using OdbcPairs = std::vector<std::pair<std::string, std::string>>;

struct Outcome {
    std::optional<OdbcConnectionString> result;
    std::string error;
};

Outcome Translate(const std::string& oledb, const OdbcTarget& target) {
    try {
        return {TranslateConnectionString(oledb, target), ""};
    } catch (const UserError& e) {
        return {std::nullopt, e.what()};
    }
}

std::string Disguise(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = c == 'z' ? 'a' : static_cast<char>(c + 1);
        else if (c >= 'A' && c <= 'Z') c = c == 'Z' ? 'A' : static_cast<char>(c + 1);
        else if (c >= '0' && c <= '9') c = c == '9' ? '0' : static_cast<char>(c + 1);
    }
    return text;
}

// An ODBC string read by one driver's rules; nullopt when it is malformed.
// Drivers that double '}' inside braces undo that; FreeTDS ends a braced
// value at the first "};".
std::optional<OdbcPairs> ParseOdbc(std::string_view text, bool doubles_brace) {
    OdbcPairs pairs;
    while (!text.empty()) {
        const std::size_t eq = text.find('=');
        if (eq == std::string_view::npos || eq == 0) return std::nullopt;
        std::string key(text.substr(0, eq));
        if (key.find_first_of(";{}") != std::string::npos) return std::nullopt;
        text.remove_prefix(eq + 1);
        std::string value;
        if (!text.empty() && text.front() == '{') {
            if (doubles_brace) {
                std::size_t i = 1;
                for (;;) {
                    if (i >= text.size()) return std::nullopt;
                    if (text[i] == '}') {
                        if (i + 1 < text.size() && text[i + 1] == '}') {
                            value += '}';
                            i += 2;
                            continue;
                        }
                        break;
                    }
                    value += text[i++];
                }
                if (i + 1 >= text.size() || text[i + 1] != ';') return std::nullopt;
                text.remove_prefix(i + 2);
            } else {
                const std::size_t end = text.find("};");
                if (end == std::string_view::npos) return std::nullopt;
                value = std::string(text.substr(1, end - 1));
                text.remove_prefix(end + 2);
            }
        } else {
            const std::size_t end = text.find(';');
            if (end == std::string_view::npos) return std::nullopt;
            value = std::string(text.substr(0, end));
            if (value.empty() || value.find_first_of("{}") != std::string::npos) return std::nullopt;
            text.remove_prefix(end + 1);
        }
        pairs.emplace_back(std::move(key), std::move(value));
    }
    return pairs;
}

const std::string* Find(const OdbcPairs& pairs, std::string_view key) {
    for (const auto& [k, v] : pairs)
        if (k == key) return &v;
    return nullptr;
}

// The driver the result names (or the target's), as the translation
// identifies it: by the library the target's register gives for the name,
// or the name itself when it is not registered. nullptr when unknown.
const OdbcDriver* DriverOf(const OdbcPairs& pairs, const OdbcTarget& target) {
    const std::string* named = Find(pairs, "Driver");
    const std::string name = named ? *named : target.driver;
    const std::optional<std::string> library = target.driver_library(name);
    return IdentifyOdbcDriver(library ? *library : name);
}

// The result as the driver it names reads it (an unknown one by ODBC's own
// rule, "}}" for "}").
std::optional<OdbcPairs> ParseTranslated(const std::string& odbc, const OdbcTarget& target) {
    for (const bool doubles_brace : {false, true}) {
        std::optional<OdbcPairs> pairs = ParseOdbc(odbc, doubles_brace);
        if (!pairs) continue;
        const OdbcDriver* driver = DriverOf(*pairs, target);
        if ((driver == nullptr || driver->undoes_doubled_brace) == doubles_brace) return pairs;
    }
    return std::nullopt;
}

OdbcPairs WithoutPassword(OdbcPairs pairs) {
    std::erase_if(pairs, [](const auto& pair) { return pair.first == "PWD"; });
    return pairs;
}

// Checks one translation against its disguised twin; returns the parsed
// result when the translation succeeded.
std::optional<OdbcPairs> CheckTwins(const std::string& oledb, const std::string& disguised,
                                    const OdbcTarget& target) {
    const Outcome plain = Translate(oledb, target);
    const Outcome twin = Translate(disguised, target);
    FUZZ_CHECK(plain.result.has_value() == twin.result.has_value());
    if (!plain.result) {
        FUZZ_CHECK(plain.error == twin.error);
        return std::nullopt;
    }
    std::optional<OdbcPairs> pairs = ParseTranslated(plain.result->odbc, target);
    const std::optional<OdbcPairs> twin_pairs = ParseTranslated(twin.result->odbc, target);
    FUZZ_CHECK(pairs && twin_pairs);
    FUZZ_CHECK(WithoutPassword(*pairs) == WithoutPassword(*twin_pairs));
    FUZZ_CHECK(plain.result->login_timeout_seconds == twin.result->login_timeout_seconds);
    FUZZ_CHECK(plain.result->encryption == twin.result->encryption);
    FUZZ_CHECK(plain.result->freetds_conf == twin.result->freetds_conf);
    FUZZ_CHECK(plain.result->adjustments == twin.result->adjustments);
    return pairs;
}

// Encryption asked for is never dropped: a driver the program knows gets
// its own keyword, and a FreeTDS certificate check its section.
void CheckEncryption(const OdbcConnectionString& result, const OdbcPairs& pairs, const OdbcTarget& target) {
    const std::string* freetds_keyword = Find(pairs, "Encryption");
    const std::string* microsoft_keyword = Find(pairs, "Encrypt");
    const std::string* trust = Find(pairs, "TrustServerCertificate");
    if (result.encryption == Encryption::Off) {
        FUZZ_CHECK(!freetds_keyword && !microsoft_keyword && !trust && result.freetds_conf.empty());
        return;
    }
    FUZZ_CHECK(!Find(pairs, "DSN"));
    const OdbcDriver* driver = DriverOf(pairs, target);
    FUZZ_CHECK(driver != nullptr);
    if (driver->checks_certificate_through_conf) {
        FUZZ_CHECK(freetds_keyword && *freetds_keyword == "require" && !microsoft_keyword && !trust);
    } else {
        FUZZ_CHECK(microsoft_keyword && (*microsoft_keyword == "yes" || *microsoft_keyword == "strict") &&
                   !freetds_keyword);
        FUZZ_CHECK((trust != nullptr) == (result.encryption == Encryption::Unchecked));
    }
    const bool checked_by_freetds =
        driver->checks_certificate_through_conf && result.encryption == Encryption::Required;
    FUZZ_CHECK(checked_by_freetds != result.freetds_conf.empty());
    if (!checked_by_freetds) return;
    const std::string* section = Find(pairs, "Servername");
    FUZZ_CHECK(section && *section == kFreeTdsSection && !Find(pairs, "Server") && !Find(pairs, "Port"));
    // "[name]", then lines of "\tkey = value", each value one plain word.
    const std::string& conf = result.freetds_conf;
    FUZZ_CHECK(conf.rfind(std::string("[") + kFreeTdsSection + "]\n", 0) == 0);
    std::size_t at = conf.find('\n') + 1;
    int lines = 0;
    while (at < conf.size()) {
        const std::size_t end = conf.find('\n', at);
        FUZZ_CHECK(end != std::string::npos);
        const std::string line = conf.substr(at, end - at);
        const std::size_t eq = line.find(" = ");
        FUZZ_CHECK(line.size() > 1 && line[0] == '\t' && eq != std::string::npos);
        for (const char c : line.substr(eq + 3)) FUZZ_CHECK(c > ' ' && c != ';' && c != '#' && c != '[' && c != ']');
        ++lines;
        at = end + 1;
    }
    FUZZ_CHECK(lines == 5);
    FUZZ_CHECK(conf.find("\n\tencryption = require\n") != std::string::npos);
    FUZZ_CHECK(conf.find("\n\tca file = " + target.freetds_ca_file + "\n") != std::string::npos);
}

bool HasLetterOrDigit(const std::string& text) { return Disguise(text) != text; }

// The OLE DB way of quoting a value, in the quote the input picks.
std::string QuoteOleDb(const std::string& value, char quote) {
    std::string out(1, quote);
    for (const char c : value) {
        out += c;
        if (c == quote) out += quote;
    }
    return out + quote;
}

const char* const kKeys[] = {"Provider", "Data Source", "Server", "Initial Catalog", "Database", "User ID", "UID",
                             "Password", "PWD", "Integrated Security", "Trusted_Connection", "Connect Timeout",
                             "Application Name", "Workstation ID", "DSN", "Driver", "Persist Security Info",
                             "Use Encryption for Data", "Encrypt", "Trust Server Certificate",
                             "TrustServerCertificate"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    OdbcTarget target;
    target.driver = input.ConsumeBool() ? "FreeTDS" : "SQL Server";
    // Every registered name served by one library; or none registered.
    static const char* const kLibraries[] = {"libtdsodbc.so", "sqlsrv32.dll", "libmsodbcsql-18.3.so.2.1",
                                             "libodd.so", nullptr};
    const char* const library = kLibraries[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kLibraries) - 1)];
    target.driver_library = [library](const std::string&) {
        return library ? std::optional<std::string>(library) : std::nullopt;
    };
    target.this_machine = "127.0.0.1";
    target.integrated_security = input.ConsumeBool();
    target.freetds_ca_file = input.ConsumeBool() ? "system" : "";

    switch (input.ConsumeIntegralInRange(0, 2)) {
    case 0: { // the central account
        const std::string host = input.ConsumeRandomLengthString(64);
        const std::string user = input.ConsumeRandomLengthString(64);
        const CentralEncryption encryption{input.ConsumeBool(), input.ConsumeBool()};
        const std::string password = input.ConsumeRemainingBytesAsString();
        if (!HasLetterOrDigit(password)) return 0;
        const std::string central = CentralConnectionString(host, user, password, encryption);
        const auto pairs = CheckTwins(central, CentralConnectionString(host, user, Disguise(password), encryption),
                                      target);
        if (!pairs) return 0;
        const Outcome outcome = Translate(central, target);
        CheckEncryption(*outcome.result, *pairs, target);
        FUZZ_CHECK((outcome.result->encryption != Encryption::Off) == encryption.encrypt);
        const std::string* pwd = Find(*pairs, "PWD");
        FUZZ_CHECK(pwd && *pwd == password);
        const std::string* database = Find(*pairs, "Database");
        FUZZ_CHECK(database && *database == user + "_db");
        if (!user.empty()) {
            const std::string* uid = Find(*pairs, "UID");
            FUZZ_CHECK(uid && *uid == user);
        }
        return 0;
    }
    case 1: { // well-formed pairs, the password quoted among them
        const std::string password = input.ConsumeRandomLengthString(64);
        if (!HasLetterOrDigit(password)) return 0;
        const int count = input.ConsumeIntegralInRange(0, 8);
        const int at = input.ConsumeIntegralInRange(0, count);
        std::string before, after;
        bool overridden = false;
        for (int i = 0; i < count; ++i) {
            std::string key = input.ConsumeBool() ? kKeys[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kKeys) - 1)]
                                                  : input.ConsumeRandomLengthString(16);
            std::erase_if(key, [](char c) { return c == '=' || c == ';'; });
            const std::string value = input.ConsumeRandomLengthString(32);
            const char quote = input.ConsumeBool() ? '"' : '\'';
            std::string lower;
            for (const char c : key)
                if (c != ' ' && c != '\t') lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            if (i >= at && (lower == "password" || lower == "pwd")) overridden = true;
            (i < at ? before : after) += key + "=" + QuoteOleDb(value, quote) + ";";
        }
        const char quote = input.ConsumeBool() ? '"' : '\'';
        const std::string oledb = before + "Password=" + QuoteOleDb(password, quote) + ";" + after;
        const auto pairs = CheckTwins(oledb, before + "Password=" + QuoteOleDb(Disguise(password), quote) + ";" + after,
                                      target);
        if (!pairs) return 0;
        CheckEncryption(*Translate(oledb, target).result, *pairs, target);
        if (overridden) return 0;
        const std::string* pwd = Find(*pairs, "PWD");
        FUZZ_CHECK(pwd == nullptr || *pwd == password);
        return 0;
    }
    default: { // raw bytes
        const std::string text = input.ConsumeRemainingBytesAsString();
        const Outcome outcome = Translate(text, target);
        if (!outcome.result) return 0;
        const auto pairs = ParseTranslated(outcome.result->odbc, target);
        FUZZ_CHECK(pairs.has_value());
        for (std::size_t i = 0; i < pairs->size(); ++i)
            for (std::size_t j = i + 1; j < pairs->size(); ++j) FUZZ_CHECK((*pairs)[i].first != (*pairs)[j].first);
        CheckEncryption(*outcome.result, *pairs, target);
        return 0;
    }
    }
}
