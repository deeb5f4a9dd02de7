#include "db/connection_string.h"

#include "db/odbc_driver.h"
#include "db/oledb_string.h"
#include "text/ascii.h"
#include "text/errors.h"
#include "text/message_table.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace parktotals {
namespace {

// "NAME" or "NAME.<version>".
bool IsProvider(std::string_view provider, std::string_view name) {
    if (!StartsWithNoCase(provider, name)) return false;
    const std::string_view rest = provider.substr(name.size());
    return rest.empty() || (rest.front() == '.' && AllDigits(rest.substr(1)));
}

// What a provider does with encryption when the string says nothing, and
// the values its "Use Encryption for Data" takes, as Microsoft documents
// them: SQLOLEDB, SQLNCLI* and MSOLEDBSQL (18) encrypt only when asked,
// with True or False; MSOLEDBSQL19 encrypts unless told otherwise, and
// takes yes, no, true, false, Optional, Mandatory and Strict.
struct Provider {
    bool odbc_bridge = false; // MSDASQL: names an ODBC data source or driver
    bool encrypts_by_default = false;
    bool takes_encryption_modes = false;
};

Provider ClassifyProvider(const std::string& provider) {
    if (provider.empty() || IsProvider(provider, "sqloledb") || StartsWithNoCase(provider, "sqlncli")) return {};
    if (StartsWithNoCase(provider, "msoledbsql")) {
        const bool v19 = VersionAt(provider, 10) >= 19; // after "msoledbsql"
        return {false, v19, v19};
    }
    if (IsProvider(provider, "msdasql")) return {true, false, false};
    // The value itself may be a piece of an unquoted password.
    throw UserError(Say(msg::kProviderNotUsable));
}

// True/False as OLE DB writes them, yes/no as ODBC does; nullopt otherwise.
std::optional<bool> ParseYesNo(std::string_view value) {
    if (EqualsNoCase(value, "true") || EqualsNoCase(value, "yes")) return true;
    if (EqualsNoCase(value, "false") || EqualsNoCase(value, "no")) return false;
    return std::nullopt;
}

// Ordered: when two keys disagree, the one that asks for more wins.
enum class Asked { Off, On, Strict };

std::optional<Asked> ParseAsked(std::string_view value, bool takes_modes) {
    if (const auto yes = ParseYesNo(value)) return *yes ? Asked::On : Asked::Off;
    if (!takes_modes) return std::nullopt;
    if (EqualsNoCase(value, "optional")) return Asked::Off;
    if (EqualsNoCase(value, "mandatory")) return Asked::On;
    if (EqualsNoCase(value, "strict")) return Asked::Strict;
    return std::nullopt;
}

struct EncryptionRequest {
    Encryption encryption = Encryption::Off;
    bool strict = false; // TDS 8, for a driver that speaks it
};

// The older providers' "Use Encryption for Data", the newer ones' "Encrypt".
// When both are given the one that asks for encryption wins: never less
// than asked.
EncryptionRequest EncryptionAsked(const OledbSettings& settings, const Provider& provider) {
    std::optional<Asked> asked;
    const auto take = [&asked](Asked one) { asked = asked ? std::max(*asked, one) : one; };
    if (const OledbPair* pair = settings.Find({"use encryption for data"})) {
        const auto one = ParseAsked(pair->value, provider.takes_encryption_modes);
        if (!one)
            throw UserError(Say(provider.takes_encryption_modes ? msg::kEncryptionModeValue : msg::kTrueOrFalseValue,
                                {pair->written}));
        take(*one);
    }
    if (const OledbPair* pair = settings.Find({"encrypt"})) {
        const auto one = ParseAsked(pair->value, true);
        if (!one) throw UserError(Say(msg::kEncryptionModeValue, {pair->written}));
        take(*one);
    }
    bool trust = false;
    if (const OledbPair* pair = settings.Find({"trust server certificate", "trustservercertificate"})) {
        const auto yes = ParseYesNo(pair->value);
        if (!yes) throw UserError(Say(msg::kTrueOrFalseValue, {pair->written}));
        trust = *yes;
    }
    const Asked mode = asked.value_or(provider.encrypts_by_default ? Asked::On : Asked::Off);
    if (mode == Asked::Off) return {};
    // Strict checks the certificate whatever the trust says. A driver
    // without TDS 8 gets the closest it has: encryption with the
    // certificate checked.
    if (mode == Asked::Strict) return {Encryption::Required, true};
    return {trust ? Encryption::Unchecked : Encryption::Required, false};
}

int LoginTimeout(const OledbSettings& settings, std::vector<std::string>& adjustments) {
    const OledbPair* pair = settings.Find({"connect timeout", "connection timeout", "timeout"});
    if (!pair) return kDefaultLoginTimeoutSeconds;
    if (!AllDigits(pair->value)) throw UserError(Say(msg::kTimeoutNotWholeSeconds, {pair->written}));
    long long seconds = 0;
    for (const char c : pair->value) seconds = std::min(seconds * 10 + (c - '0'), 1000000LL);
    if (seconds > 0 && seconds <= kMaxLoginTimeoutSeconds) return static_cast<int>(seconds);
    // A nightly job cannot wait without end, nor for hours: the nights
    // behind it would pile up. Capped, not refused, so a night that works
    // today still runs.
    adjustments.push_back(Say(seconds == 0 ? msg::kTimeoutNoLimitCapped : msg::kTimeoutTooLongCapped,
                              {pair->written, std::to_string(kMaxLoginTimeoutSeconds)}));
    return kMaxLoginTimeoutSeconds;
}

// A server as "host[\instance][,port]", read once; "tcp:" dropped, "." and
// "(local)" (and a missing server) this machine.
struct ServerAddress {
    std::string host;
    std::string instance; // empty for the default instance
    std::string port;     // empty when not given

    // As the drivers take it.
    std::string Text() const {
        std::string text = host;
        if (!instance.empty()) text += "\\" + instance;
        if (!port.empty()) text += "," + port;
        return text;
    }
};

ServerAddress ParseServer(std::string_view server, const OdbcTarget& target) {
    server = TrimBlanks(server);
    if (StartsWithNoCase(server, "tcp:")) server = TrimBlanks(server.substr(4));
    ServerAddress address;
    const std::size_t cut = server.find_first_of("\\,");
    address.host = std::string(TrimBlanks(server.substr(0, cut)));
    if (server.empty() || address.host == "." || EqualsNoCase(address.host, "(local)"))
        address.host = target.this_machine;
    if (cut == std::string_view::npos) return address;
    std::string_view rest = server.substr(cut + 1);
    if (server[cut] == '\\') {
        const std::size_t comma = rest.find(',');
        address.instance = std::string(TrimBlanks(rest.substr(0, comma)));
        if (comma == std::string_view::npos) return address;
        rest = rest.substr(comma + 1);
    }
    address.port = std::string(TrimBlanks(rest));
    return address;
}

// Characters a freetds.conf value can hold without being read as something
// else (a comment, a line end, a blank to trim).
bool IsPlainConfValue(std::string_view value) {
    if (value.empty()) return false;
    for (const char c : value)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '.' || c == '-' ||
              c == '_' || c == ':' || c == '$'))
            return false;
    return true;
}

// The freetds.conf section for a connection whose certificate FreeTDS has
// to check: the server's host and its port (or instance), the CA file, and
// the host name checked against the certificate.
std::string FreeTdsSection(const ServerAddress& server, const OdbcTarget& target) {
    if (target.freetds_ca_file.empty()) throw UserError(Say(msg::kNoCertificateCheckThroughFreeTds));
    // A port given wins over the instance, as with the Microsoft drivers.
    const bool by_instance = server.port.empty() && !server.instance.empty();
    const std::string& where =
        !server.port.empty() ? server.port : by_instance ? server.instance : std::string(kDefaultSqlServerPort);
    if (!IsPlainConfValue(server.host) || !IsPlainConfValue(where))
        throw UserError(Say(msg::kEncryptedServerNameCharacters));
    return std::string("[") + kFreeTdsSection + "]\n\thost = " + server.host + "\n\t" +
           (by_instance ? "instance = " : "port = ") + where + "\n\tencryption = require\n\tca file = " +
           target.freetds_ca_file + "\n\tcheck certificate hostname = yes\n";
}

// What the program makes of a driver it does not know when no encryption
// is asked for: Microsoft's rules, as ODBC itself has them.
constexpr OdbcDriver kOtherDriver{true, false, false, "", "", "", false};

// The driver serving `name`, identified once by the library the driver
// manager loads for it. unixODBC loads a name it has not registered as a
// library file of that name.
const OdbcDriver* DriverServing(const std::string& name, const OdbcTarget& target, Encryption encryption) {
    const std::optional<std::string> library = target.driver_library ? target.driver_library(name) : std::nullopt;
    if (const OdbcDriver* known = IdentifyOdbcDriver(library ? *library : name)) return known;
    if (encryption == Encryption::Off) return &kOtherDriver;
    // The driver's name and library come from odbcinst.ini or the registry,
    // or name a driver: no secret.
    throw UserError(Say(msg::kEncryptionDriverUnknown,
                        {name, library ? Say(msg::kDriverLibrary, {*library}) : Say(msg::kDriverNotRegistered)}));
}

class OdbcStringBuilder {
public:
    explicit OdbcStringBuilder(bool doubles_closing_brace) : doubles_closing_brace_(doubles_closing_brace) {}

    // `label` names the value in errors; the value itself never shows. None
    // for values that never need braces.
    void Add(std::string_view key, std::string_view value, const Message* label) {
        if (value.empty()) return;
        const bool needs_braces = value.find_first_of(";{}=") != std::string_view::npos || IsBlank(value.front()) ||
                                  IsBlank(value.back());
        if (needs_braces) {
            AddBraced(key, value, label);
            return;
        }
        text_ += key;
        text_ += '=';
        text_ += value;
        text_ += ';';
    }

    // "Key=value" of a driver's own, plain.
    void AddKeyword(std::string_view pair) {
        if (pair.empty()) return;
        text_ += pair;
        text_ += ';';
    }

    void AddBraced(std::string_view key, std::string_view value, const Message* label) {
        if (!doubles_closing_brace_ && value.find("};") != std::string_view::npos)
            throw UserError(Say(msg::kOdbcValueCannotHold, {label ? Say(*label) : std::string(key), "};"}));
        text_ += key;
        text_ += "={";
        for (const char c : value) {
            text_ += c;
            if (c == '}' && doubles_closing_brace_) text_ += '}';
        }
        // Always closed with ';': FreeTDS keeps the '}' of a braced value
        // that ends the string.
        text_ += "};";
    }

    std::string Take() { return std::move(text_); }

private:
    bool doubles_closing_brace_;
    std::string text_;
};

std::string StripBraces(std::string_view value) {
    if (value.size() >= 2 && value.front() == '{' && value.back() == '}') value = value.substr(1, value.size() - 2);
    return std::string(value);
}

} // namespace

OdbcConnectionString TranslateConnectionString(std::string_view oledb, const OdbcTarget& target,
                                               const InstancePortLookUp& instance_port) {
    const OledbSettings settings(oledb);
    if (settings.Empty()) throw UserError(Say(msg::kConnectionStringEmpty));

    const Provider provider = ClassifyProvider(settings.Value({"provider"}));
    const bool trusted = IsOledbYes(settings.Value({"integrated security", "trusted_connection"}));
    if (trusted && !target.integrated_security)
        throw UserError(Say(msg::kIntegratedSecurityUnsupported));

    OdbcConnectionString result;
    result.login_timeout_seconds = LoginTimeout(settings, result.adjustments);
    const EncryptionRequest asked = EncryptionAsked(settings, provider);
    result.encryption = asked.encryption;

    std::string driver = target.driver;
    std::string dsn;
    ServerAddress server;
    if (!provider.odbc_bridge) {
        server = ParseServer(settings.Value({"data source", "server", "address", "addr", "network address"}), target);
    } else {
        // Through MSDASQL, "Data Source" is the name of an ODBC data source.
        dsn = settings.Value({"dsn"});
        if (dsn.empty()) dsn = settings.Value({"data source"});
        driver = StripBraces(settings.Value({"driver"}));
        if (dsn.empty() && driver.empty()) throw UserError(Say(msg::kMsdasqlNeedsDsnOrDriver));
        const std::string given = settings.Value({"server", "address", "addr", "network address"});
        if (!given.empty()) server = ParseServer(given, target);
    }

    if (!server.instance.empty() && server.port.empty()) {
        result.named_instance = server.Text();
        // With the port known the driver asks no Browser itself.
        if (instance_port) {
            if (std::optional<std::string> port =
                    instance_port(server.host, server.instance, result.login_timeout_seconds)) {
                server.instance.clear();
                server.port = std::move(*port);
            }
        }
    }

    // A data source's driver, and so its keywords, are not known here.
    if (result.encryption != Encryption::Off && !dsn.empty())
        throw UserError(Say(msg::kNoEncryptionWithDsn));

    const OdbcDriver& odbc_driver = *DriverServing(driver.empty() ? target.driver : driver, target, result.encryption);
    // FreeTDS 1.3 takes its CA file only from freetds.conf: the server then
    // goes into a section of its own, which the string names instead.
    const bool checked_through_conf =
        odbc_driver.checks_certificate_through_conf && result.encryption == Encryption::Required;
    if (checked_through_conf) result.freetds_conf = FreeTdsSection(server, target);
    OdbcStringBuilder odbc(odbc_driver.undoes_doubled_brace);
    odbc.Add("DSN", dsn, &msg::kOdbcValueDataSourceName);
    if (!driver.empty()) odbc.AddBraced("Driver", driver, &msg::kOdbcValueDriverName);
    // Through MSDASQL the string is the writer's own.
    if (odbc_driver.pins_tds_version && !provider.odbc_bridge) odbc.AddKeyword("TDS_Version=7.4");
    if (checked_through_conf) {
        odbc.Add("Servername", kFreeTdsSection, nullptr);
    } else {
        odbc.Add("Server", server.Text(), &msg::kOdbcValueServer);
        if (odbc_driver.needs_port && !provider.odbc_bridge && server.instance.empty() && server.port.empty())
            odbc.Add("Port", kDefaultSqlServerPort, nullptr);
    }
    // Each driver gets only its own keywords: FreeTDS 1.3.17 ignores
    // "Encrypt", the Microsoft drivers "Encryption".
    if (result.encryption != Encryption::Off) {
        odbc.AddKeyword(asked.strict && !odbc_driver.strict.empty() ? odbc_driver.strict : odbc_driver.encrypt);
        if (result.encryption == Encryption::Unchecked) odbc.AddKeyword(odbc_driver.trust);
    }
    odbc.Add("Database", settings.Value({"initial catalog", "database"}), &msg::kOdbcValueDatabaseName);
    if (trusted) {
        odbc.Add("Trusted_Connection", "Yes", nullptr);
    } else {
        odbc.Add("UID", settings.Value({"user id", "uid", "user"}), &msg::kOdbcValueUserName);
        odbc.Add("PWD", settings.Value({"password", "pwd"}), &msg::kOdbcValuePassword);
    }
    odbc.Add("APP", settings.Value({"application name"}), &msg::kOdbcValueApplicationName);
    odbc.Add("WSID", settings.Value({"workstation id"}), &msg::kOdbcValueWorkstationName);
    result.odbc = odbc.Take();
    return result;
}

ConnectionTarget DescribeConnectionString(std::string_view oledb) noexcept {
    try {
        const OledbSettings settings(oledb);
        return {settings.Value({"data source", "server", "address", "addr", "network address"}),
                settings.Value({"initial catalog", "database"})};
    } catch (...) {
        return {};
    }
}

} // namespace parktotals
