#include "db/connection_string.h"

#include "db/oledb_string.h"
#include "text/ascii.h"
#include "text/errors.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

namespace parktotals {
namespace {

bool IsDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

enum class ProviderKind { SqlServer, OdbcBridge };

// "NAME" or "NAME.<version>".
bool IsProvider(std::string_view provider, std::string_view name) {
    if (!StartsWithNoCase(provider, name)) return false;
    const std::string_view rest = provider.substr(name.size());
    return rest.empty() || (rest.front() == '.' && IsDigits(rest.substr(1)));
}

ProviderKind ClassifyProvider(const std::string& provider) {
    if (provider.empty() || IsProvider(provider, "sqloledb") || StartsWithNoCase(provider, "sqlncli") ||
        StartsWithNoCase(provider, "msoledbsql"))
        return ProviderKind::SqlServer;
    if (IsProvider(provider, "msdasql")) return ProviderKind::OdbcBridge;
    throw UserError("The connection string names the provider \"" + provider +
                    "\", which this program cannot use (it takes SQLOLEDB, SQLNCLI, MSOLEDBSQL or MSDASQL)");
}

bool IsYes(std::string_view value) {
    return EqualsNoCase(value, "sspi") || EqualsNoCase(value, "true") || EqualsNoCase(value, "yes");
}

// True/False as OLE DB writes them, yes/no as ODBC does; nullopt otherwise.
std::optional<bool> ParseYesNo(std::string_view value) {
    if (EqualsNoCase(value, "true") || EqualsNoCase(value, "yes")) return true;
    if (EqualsNoCase(value, "false") || EqualsNoCase(value, "no")) return false;
    return std::nullopt;
}

// The older providers' "Use Encryption for Data", the newer ones' "Encrypt"
// (MSOLEDBSQL 19 adds Optional, Mandatory and Strict). When both are given
// the one that asks for encryption wins: never less than asked.
Encryption EncryptionAsked(const OledbSettings& settings) {
    bool asked = false;
    bool strict = false;
    if (const OledbPair* pair = settings.Find({"use encryption for data"})) {
        const auto yes = ParseYesNo(pair->value);
        if (!yes) throw UserError("\"" + pair->written + "\" in the connection string must be True or False");
        asked = *yes;
    }
    if (const OledbPair* pair = settings.Find({"encrypt"})) {
        if (EqualsNoCase(pair->value, "strict")) {
            asked = strict = true;
        } else if (EqualsNoCase(pair->value, "mandatory")) {
            asked = true;
        } else if (!EqualsNoCase(pair->value, "optional")) {
            const auto yes = ParseYesNo(pair->value);
            if (!yes)
                throw UserError("\"" + pair->written +
                                "\" in the connection string must be yes, no, true, false, Optional, Mandatory or "
                                "Strict");
            asked = asked || *yes;
        }
    }
    bool trust = false;
    if (const OledbPair* pair = settings.Find({"trust server certificate", "trustservercertificate"})) {
        const auto yes = ParseYesNo(pair->value);
        if (!yes) throw UserError("\"" + pair->written + "\" in the connection string must be True or False");
        trust = *yes;
    }
    if (!asked) return Encryption::Off;
    // Strict is TDS 8, which neither FreeTDS 1.3 nor the Windows "SQL
    // Server" driver speaks. The closest they give is encryption with the
    // certificate checked, and Strict checks it whatever the trust says.
    return trust && !strict ? Encryption::Unchecked : Encryption::Required;
}

// Characters a freetds.conf value can hold without being read as something
// else (a comment, a line end, a blank to trim).
bool IsPlainConfValue(std::string_view value) {
    if (value.empty()) return false;
    for (const char c : value)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
              c == '_' || c == ':' || c == '$'))
            return false;
    return true;
}

// The freetds.conf section for a connection whose certificate FreeTDS has
// to check: the server as "host", "host,port" or "host\instance", the CA
// file, and the host name checked against the certificate.
std::string FreeTdsSection(std::string_view server, const OdbcTarget& target) {
    if (target.freetds_ca_file.empty())
        throw UserError("This build cannot check the server certificate through FreeTDS; add \"Trust Server "
                        "Certificate=True\" to encrypt without checking it");
    const std::size_t cut = server.find_first_of("\\,");
    const std::string_view host = server.substr(0, cut);
    std::string where;
    if (cut == std::string_view::npos)
        where = std::string("port = ") + kDefaultSqlServerPort;
    else if (server[cut] == ',')
        where = "port = " + std::string(server.substr(cut + 1));
    else
        where = "instance = " + std::string(server.substr(cut + 1));
    if (!IsPlainConfValue(host) || !IsPlainConfValue(where.substr(where.find('=') + 2)))
        throw UserError("With encryption asked for, the server name may hold only letters, digits and . - _ : $ "
                        "(and a port after a comma, or an instance after a backslash)");
    return std::string("[") + kFreeTdsSection + "]\n\thost = " + std::string(host) + "\n\t" + where +
           "\n\tencryption = require\n\tca file = " + target.freetds_ca_file +
           "\n\tcheck certificate hostname = yes\n";
}

int LoginTimeout(const OledbSettings& settings) {
    const OledbPair* pair = settings.Find({"connect timeout", "connection timeout", "timeout"});
    if (!pair) return kDefaultLoginTimeoutSeconds;
    // Nine digits keep clear of int overflow and are years anyway.
    if (!IsDigits(pair->value) || pair->value.size() > 9)
        throw UserError("\"" + pair->written + "\" in the connection string must be a whole number of seconds");
    return std::stoi(pair->value);
}

// "tcp:host,port" -> "host,port"; "." and "(local)" -> this machine; an
// instance name stays, the driver finds the instance's port itself.
std::string TranslateServer(std::string_view server, const OdbcTarget& target) {
    server = TrimBlanks(server);
    if (StartsWithNoCase(server, "tcp:")) server = TrimBlanks(server.substr(4));
    if (server.empty()) return target.this_machine;
    const std::size_t cut = server.find_first_of("\\,");
    std::string host(TrimBlanks(server.substr(0, cut)));
    if (host == "." || EqualsNoCase(host, "(local)")) host = target.this_machine;
    if (cut == std::string_view::npos) return host;
    if (server[cut] == ',') return host + "," + std::string(TrimBlanks(server.substr(cut + 1)));
    return host + std::string(server.substr(cut));
}

bool IsFreeTds(std::string_view driver) { return AsciiLower(driver).find("freetds") != std::string::npos; }

class OdbcStringBuilder {
public:
    // FreeTDS (1.3 at least) takes a braced value up to the first "};" and
    // does not turn "}}" back into "}", where the Microsoft drivers do.
    explicit OdbcStringBuilder(bool doubles_closing_brace) : doubles_closing_brace_(doubles_closing_brace) {}

    // `label` names the value in errors; the value itself never shows.
    void Add(std::string_view key, std::string_view value, std::string_view label) {
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

    void AddBraced(std::string_view key, std::string_view value, std::string_view label) {
        if (!doubles_closing_brace_ && value.find("};") != std::string_view::npos)
            throw UserError("The ODBC driver cannot take a " + std::string(label) + " that contains \"};\"");
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

OdbcConnectionString TranslateConnectionString(std::string_view oledb, const OdbcTarget& target) {
    const OledbSettings settings(oledb);
    if (settings.Empty()) throw UserError("The connection string is empty");

    const ProviderKind kind = ClassifyProvider(settings.Value({"provider"}));
    const bool trusted = IsYes(settings.Value({"integrated security", "trusted_connection"}));
    if (trusted && !target.integrated_security)
        throw UserError("Integrated (Windows) security is not supported on this platform; the connection string "
                        "needs a User ID and Password");

    OdbcConnectionString result;
    result.login_timeout_seconds = LoginTimeout(settings);
    result.encryption = EncryptionAsked(settings);

    std::string driver = target.driver;
    std::string dsn;
    std::string server;
    if (kind == ProviderKind::SqlServer) {
        server = TranslateServer(settings.Value({"data source", "server", "address", "addr", "network address"}),
                                 target);
    } else {
        // Through MSDASQL, "Data Source" is the name of an ODBC data source.
        dsn = settings.Value({"dsn"});
        if (dsn.empty()) dsn = settings.Value({"data source"});
        driver = StripBraces(settings.Value({"driver"}));
        if (dsn.empty() && driver.empty())
            throw UserError("The connection string for provider MSDASQL needs a DSN or a Driver");
        const std::string given = settings.Value({"server", "address", "addr", "network address"});
        if (!given.empty()) server = TranslateServer(given, target);
    }

    if (server.find('\\') != std::string::npos && server.find(',') == std::string::npos)
        result.named_instance = server;

    // A data source's driver, and so its keywords, are not known here.
    if (result.encryption != Encryption::Off && !dsn.empty())
        throw UserError("Encryption cannot be asked for in a connection string that names an ODBC data source "
                        "(DSN); ask for it in the data source itself");

    const bool freetds = IsFreeTds(driver.empty() ? target.driver : driver);
    // FreeTDS 1.3 takes its CA file only from freetds.conf: the server then
    // goes into a section of its own, which the string names instead.
    const bool checked_by_freetds = freetds && result.encryption == Encryption::Required;
    if (checked_by_freetds) result.freetds_conf = FreeTdsSection(server, target);
    OdbcStringBuilder odbc(!freetds);
    odbc.Add("DSN", dsn, "data source name");
    if (!driver.empty()) odbc.AddBraced("Driver", driver, "driver name");
    // With "tds version = auto" (Debian's freetds.conf) FreeTDS follows a
    // failed TDS 7.4 login with a TDS 5.0 one, which only Sybase speaks and
    // which waits on a silent server with no time-out at all. SQL Server
    // answers a 7.4 login with the version it speaks itself.
    if (freetds && kind == ProviderKind::SqlServer) odbc.Add("TDS_Version", "7.4", "");
    if (checked_by_freetds) {
        odbc.Add("Servername", kFreeTdsSection, "");
    } else {
        odbc.Add("Server", server, "server");
        // FreeTDS makes no connection at all for a bare host: it needs the
        // port (SQL Server's default instance listens on 1433) or an
        // instance name, whose port it asks the SQL Browser for.
        if (freetds && kind == ProviderKind::SqlServer && server.find_first_of("\\,") == std::string::npos)
            odbc.Add("Port", kDefaultSqlServerPort, "");
    }
    // FreeTDS 1.3.17 ignores "Encrypt" and the Microsoft drivers ignore
    // "Encryption": each driver gets only its own keyword.
    if (result.encryption != Encryption::Off) {
        if (freetds) {
            odbc.Add("Encryption", "require", "");
        } else {
            odbc.Add("Encrypt", "yes", "");
            if (result.encryption == Encryption::Unchecked) odbc.Add("TrustServerCertificate", "yes", "");
        }
    }
    odbc.Add("Database", settings.Value({"initial catalog", "database"}), "database name");
    if (trusted) {
        odbc.Add("Trusted_Connection", "Yes", "");
    } else {
        odbc.Add("UID", settings.Value({"user id", "uid", "user"}), "user name");
        odbc.Add("PWD", settings.Value({"password", "pwd"}), "password");
    }
    odbc.Add("APP", settings.Value({"application name"}), "application name");
    odbc.Add("WSID", settings.Value({"workstation id"}), "workstation name");
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
