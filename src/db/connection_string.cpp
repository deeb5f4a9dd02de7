#include "db/connection_string.h"

#include "text/ascii.h"
#include "text/errors.h"

#include <algorithm>
#include <initializer_list>
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

struct Pair {
    std::string key;     // lower case, for matching
    std::string written; // as the string has it
    std::string value;
};

// Every key the program knows, used or not. Messages name only these: with
// an unquoted password holding ';' or '=', any other "key" may be a piece
// of the password.
bool IsKnownKey(std::string_view key) {
    static constexpr std::string_view kKnown[] = {
        "provider", "data source", "server", "address", "addr", "network address", "initial catalog",
        "database", "user id", "uid", "user", "password", "pwd", "integrated security", "trusted_connection",
        "connect timeout", "connection timeout", "timeout", "application name", "workstation id", "dsn",
        "driver", "persist security info", "packet size", "auto translate", "use procedure for prepare",
        "network library", "tag with column collation when possible", "use encryption for data",
        "locale identifier", "current language", "mode"};
    for (const std::string_view known : kKnown)
        if (key == known) return true;
    return false;
}

std::string NameInMessage(const Pair& pair) {
    return IsKnownKey(pair.key) ? "the value of \"" + pair.written + "\"" : "a value";
}

std::vector<Pair> ParsePairs(std::string_view text) {
    std::vector<Pair> pairs;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const std::size_t mark = text.find_first_of("=;", i);
        if (mark == std::string_view::npos || text[mark] == ';') {
            const std::size_t end = mark == std::string_view::npos ? n : mark;
            // The text itself may be a piece of an unquoted password.
            if (!TrimBlanks(text.substr(i, end - i)).empty())
                throw UserError(pairs.empty() ? "The connection string starts with a part that has no \"=\""
                                              : "In the connection string, " + NameInMessage(pairs.back()) +
                                                    " is followed by a part that has no \"=\"");
            i = end + 1;
            continue;
        }
        Pair pair;
        pair.written = std::string(TrimBlanks(text.substr(i, mark - i)));
        pair.key = AsciiLower(pair.written);
        if (pair.key.empty()) throw UserError("The connection string has a value without a name");
        i = mark + 1;
        while (i < n && IsBlank(text[i])) ++i;

        std::string value;
        if (i < n && (text[i] == '"' || text[i] == '\'')) {
            const char quote = text[i++];
            for (;;) {
                if (i >= n)
                    throw UserError("In the connection string, the quote around " + NameInMessage(pair) +
                                    " is not closed");
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i++];
            }
            while (i < n && IsBlank(text[i])) ++i;
            if (i < n && text[i] != ';')
                throw UserError("In the connection string, " + NameInMessage(pair) +
                                " has more text after its closing quote");
        } else {
            const std::size_t end = std::min(text.find(';', i), n);
            value = std::string(TrimBlanks(text.substr(i, end - i)));
            i = end;
        }
        ++i; // the ';'
        pair.value = std::move(value);
        pairs.push_back(std::move(pair));
    }
    return pairs;
}

class Settings {
public:
    explicit Settings(std::vector<Pair> pairs) : pairs_(std::move(pairs)) {}

    bool Empty() const { return pairs_.empty(); }

    // The last pair under any of the names.
    const Pair* Find(std::initializer_list<std::string_view> names) const {
        for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it)
            for (const std::string_view name : names)
                if (it->key == name) return &*it;
        return nullptr;
    }
    std::string Value(std::initializer_list<std::string_view> names) const {
        const Pair* pair = Find(names);
        return pair ? pair->value : std::string();
    }

private:
    std::vector<Pair> pairs_;
};

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

int LoginTimeout(const Settings& settings) {
    const Pair* pair = settings.Find({"connect timeout", "connection timeout", "timeout"});
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
    const Settings settings(ParsePairs(oledb));
    if (settings.Empty()) throw UserError("The connection string is empty");

    const ProviderKind kind = ClassifyProvider(settings.Value({"provider"}));
    const bool trusted = IsYes(settings.Value({"integrated security", "trusted_connection"}));
    if (trusted && !target.integrated_security)
        throw UserError("Integrated (Windows) security is not supported on this platform; the connection string "
                        "needs a User ID and Password");

    OdbcConnectionString result;
    result.login_timeout_seconds = LoginTimeout(settings);

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

    const bool freetds = IsFreeTds(driver.empty() ? target.driver : driver);
    OdbcStringBuilder odbc(!freetds);
    odbc.Add("DSN", dsn, "data source name");
    if (!driver.empty()) odbc.AddBraced("Driver", driver, "driver name");
    // With "tds version = auto" (Debian's freetds.conf) FreeTDS follows a
    // failed TDS 7.4 login with a TDS 5.0 one, which only Sybase speaks and
    // which waits on a silent server with no time-out at all. SQL Server
    // answers a 7.4 login with the version it speaks itself.
    if (freetds && kind == ProviderKind::SqlServer) odbc.Add("TDS_Version", "7.4", "");
    odbc.Add("Server", server, "server");
    // FreeTDS makes no connection at all for a bare host: it needs the port
    // (SQL Server's default instance listens on 1433) or an instance name,
    // whose port it asks the SQL Browser for.
    if (freetds && kind == ProviderKind::SqlServer && server.find_first_of("\\,") == std::string::npos)
        odbc.Add("Port", kDefaultSqlServerPort, "");
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
        const Settings settings(ParsePairs(oledb));
        return {settings.Value({"data source", "server", "address", "addr", "network address"}),
                settings.Value({"initial catalog", "database"})};
    } catch (...) {
        return {};
    }
}

} // namespace parktotals
