#include "db/connection_string.h"
#include "db/freetds_conf.h"
#include "db/oledb_string.h"
#include "text/errors.h"
#include "text/message_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>

namespace parktotals {
namespace {

// A driver manager's register: driver name -> library.
using Register = std::map<std::string, std::string>;

std::function<std::optional<std::string>(const std::string&)> Serving(Register drivers) {
    return [drivers](const std::string& name) -> std::optional<std::string> {
        const auto found = drivers.find(name);
        if (found == drivers.end()) return std::nullopt;
        return found->second;
    };
}

// FreeTDS also registered as "SQL Server", as machines that run Windows
// connection strings unchanged have it.
const OdbcTarget kLinux{"FreeTDS", "127.0.0.1", false, "system",
                        Serving({{"FreeTDS", "libtdsodbc.so"},
                                 {"SQL Server", "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"},
                                 {"ODBC Driver 18 for SQL Server",
                                  "/opt/microsoft/msodbcsql18/lib64/libmsodbcsql-18.3.so.2.1"},
                                 {"Odd", "/opt/odd/libodd.so"}})};
const OdbcTarget kWindows{"SQL Server", "(local)", true, "",
                          Serving({{"SQL Server", "C:\\WINDOWS\\system32\\SQLSRV32.dll"}, {"FreeTDS", "tdsodbc.dll"}})};
// The Windows build under Wine: its "SQL Server" is the host's FreeTDS.
const OdbcTarget kWine{"SQL Server", "(local)", true, "", Serving({{"SQL Server", "libtdsodbc.so"}})};
const std::string kFreeTds = "Driver={FreeTDS};TDS_Version=7.4;";

std::string Odbc(const std::string& oledb, const OdbcTarget& target = kLinux) {
    return TranslateConnectionString(oledb, target).odbc;
}

// The message of the UserError the translation throws; "" when none.
std::string ErrorOf(const std::string& oledb, const OdbcTarget& target = kLinux) {
    try {
        TranslateConnectionString(oledb, target);
    } catch (const UserError& error) {
        return error.what();
    }
    return "";
}

TEST(ConnectionStringTest, TypicalLocalString) {
    const std::string local = "Provider=SQLOLEDB.1;Data Source=.;Initial Catalog=park;User ID=sa;Password=pw";
    EXPECT_EQ(Odbc(local), kFreeTds + "Server=127.0.0.1;Port=1433;Database=park;UID=sa;PWD=pw;");
    EXPECT_EQ(Odbc(local, kWindows), "Driver={SQL Server};Server=(local);Database=park;UID=sa;PWD=pw;");
    EXPECT_EQ(TranslateConnectionString(local, kLinux).login_timeout_seconds, 15);
}

TEST(ConnectionStringTest, Providers) {
    for (const char* provider : {"SQLOLEDB", "sqloledb.1", "SQLNCLI", "SQLNCLI11", "sqlncli11.1", "MSOLEDBSQL",
                                 "MSOLEDBSQL19;Encrypt=Optional", " SQLOLEDB.1 ", ""})
        EXPECT_EQ(Odbc(std::string("Provider=") + provider + ";Server=db"), kFreeTds + "Server=db;Port=1433;") << provider;
    EXPECT_EQ(Odbc("Server=db"), kFreeTds + "Server=db;Port=1433;");

    EXPECT_EQ(ErrorOf("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb"),
              "The connection string names a provider this program cannot use (it takes SQLOLEDB, SQLNCLI, "
              "MSOLEDBSQL or MSDASQL)");
    EXPECT_NE(ErrorOf("Provider=SQLOLEDBX;Server=a"), "");

    // MSDASQL hands DSN or Driver to ODBC as they are.
    EXPECT_EQ(Odbc("Provider=MSDASQL.1;DSN=park;UID=u;PWD=p"), "DSN=park;UID=u;PWD=p;");
    EXPECT_EQ(Odbc("Provider=msdasql;Data Source=park"), "DSN=park;");
    EXPECT_EQ(Odbc("Provider=MSDASQL;Driver={ODBC Driver 18 for SQL Server};Server=.;Database=d"),
              "Driver={ODBC Driver 18 for SQL Server};Server=127.0.0.1;Database=d;");
    EXPECT_EQ(ErrorOf("Provider=MSDASQL;Server=x"),
              "The connection string for provider MSDASQL needs a DSN or a Driver");
}

TEST(ConnectionStringTest, ServerForms) {
    const auto server = [](const std::string& value, const OdbcTarget& target = kLinux) {
        const std::string odbc = Odbc("Data Source=" + value, target);
        const std::size_t at = odbc.find("Server=") + 7;
        return odbc.substr(at, odbc.find(';', at) - at);
    };
    EXPECT_EQ(server("db\\SQLEXPRESS"), "db\\SQLEXPRESS");
    EXPECT_EQ(server("db , 1433"), "db,1433");
    EXPECT_EQ(server("tcp:db,1433"), "db,1433");
    EXPECT_EQ(server("(local)"), "127.0.0.1");
    EXPECT_EQ(server("(LOCAL)\\SQLEXPRESS"), "127.0.0.1\\SQLEXPRESS");
    EXPECT_EQ(server(".,14330"), "127.0.0.1,14330");
    EXPECT_EQ(server("localhost"), "localhost");
    EXPECT_EQ(server(".\\SQLEXPRESS", kWindows), "(local)\\SQLEXPRESS");
    EXPECT_EQ(Odbc("User ID=u"), kFreeTds + "Server=127.0.0.1;Port=1433;UID=u;");
    for (const char* key : {"Server", "Address", "Addr", "Network Address"})
        EXPECT_EQ(Odbc(std::string(key) + "=db"), kFreeTds + "Server=db;Port=1433;") << key;
}

// FreeTDS connects nowhere with a bare host: it is given the default
// instance's port. A port or an instance name is left to the driver, and
// the Windows driver needs no help.
TEST(ConnectionStringTest, ServersWithoutAPortGetTheDefaultPortOnFreeTds) {
    EXPECT_EQ(Odbc("Data Source=."), kFreeTds + "Server=127.0.0.1;Port=1433;");
    EXPECT_EQ(Odbc("Data Source=(local)"), kFreeTds + "Server=127.0.0.1;Port=1433;");
    EXPECT_EQ(Odbc("Initial Catalog=park"), kFreeTds + "Server=127.0.0.1;Port=1433;Database=park;");
    EXPECT_EQ(Odbc("Data Source=tcp:park-db"), kFreeTds + "Server=park-db;Port=1433;");
    EXPECT_EQ(Odbc("Data Source=10.0.0.5"), kFreeTds + "Server=10.0.0.5;Port=1433;");
    EXPECT_EQ(Odbc("Data Source=10.0.0.5,1500"), kFreeTds + "Server=10.0.0.5,1500;");
    EXPECT_EQ(Odbc("Data Source=.\\SQLEXPRESS"), kFreeTds + "Server=127.0.0.1\\SQLEXPRESS;");
    EXPECT_EQ(Odbc("Data Source=park-db", kWindows), "Driver={SQL Server};Server=park-db;");
    EXPECT_EQ(Odbc("Provider=MSDASQL;Driver={ODBC Driver 18 for SQL Server};Server=db"),
              "Driver={ODBC Driver 18 for SQL Server};Server=db;");
}

TEST(ConnectionStringTest, KeysIgnoreCaseAndBlanksAndTheLastOneWins) {
    EXPECT_EQ(Odbc("  data SOURCE = srv ;USER id=u ;; ;DATABASE=d;uid=v"), kFreeTds + "Server=srv;Port=1433;Database=d;UID=v;");
    EXPECT_EQ(Odbc("Server=a;Data Source=b;User=u;Pwd=p"), kFreeTds + "Server=b;Port=1433;UID=u;PWD=p;");
}

TEST(ConnectionStringTest, QuotedValuesAndBraces) {
    EXPECT_EQ(Odbc("Server=s;Password=\"a;b\""), kFreeTds + "Server=s;Port=1433;PWD={a;b};");
    EXPECT_EQ(Odbc("Server=s;Password='it''s'"), kFreeTds + "Server=s;Port=1433;PWD=it's;");
    EXPECT_EQ(Odbc("Server=s;Password=\"say \"\"hi\"\"\" ;"), kFreeTds + "Server=s;Port=1433;PWD=say \"hi\";");
    EXPECT_EQ(Odbc("Server=s;Password=' x '"), kFreeTds + "Server=s;Port=1433;PWD={ x };");
    EXPECT_EQ(Odbc("Server=s;Password=a=b"), kFreeTds + "Server=s;Port=1433;PWD={a=b};");
    EXPECT_EQ(Odbc("Server=s;Password={x"), kFreeTds + "Server=s;Port=1433;PWD={{x};");
    // FreeTDS reads a braced value up to "};" and keeps "}}" as it is.
    EXPECT_EQ(Odbc("Server=s;Password=a}b}"), kFreeTds + "Server=s;Port=1433;PWD={a}b}};");
    EXPECT_EQ(Odbc("Server=s;Password=a}b}", kWindows), "Driver={SQL Server};Server=s;PWD={a}}b}}};");
    EXPECT_EQ(ErrorOf("Server=s;Password=\"a};b\""), "The ODBC driver cannot take a password that contains \"};\"");
    // As the program builds its central string.
    EXPECT_EQ(Odbc("Provider=SQLOLEDB.1;Password=\"p;w\";Persist Security Info=True;User ID=parktotals;"
                   "Initial Catalog=parktotals_db;Data Source=127.0.0.1,14330"),
              kFreeTds + "Server=127.0.0.1,14330;Database=parktotals_db;UID=parktotals;PWD={p;w};");
}

// The installer's edit of RegInfo.INI's line: the page's keys set, the rest
// kept as written.
TEST(OledbLoginTest, EditSetsThePagesKeysAndKeepsTheRestInItsPlace) {
    const OledbLogin sql{"PC\\SQL", "park", "sa", "new", false};
    const OledbLogin windows{"PC\\SQL", "park", "", "", true};
    const struct {
        std::string text;
        OledbLogin login;
        std::string edited;
    } cases[] = {
        // Only the password changes; synonyms, blanks and every other key stay.
        {"Provider=SQLOLEDB.1; Server = PC\\SQL ;Use Encryption for Data=True;pwd = 'old' ;Connect Timeout=30;"
         "Trust Server Certificate=True;uid=sa;Database=park;Whatever=1;",
         sql,
         "Provider=SQLOLEDB.1; Server = PC\\SQL ;Use Encryption for Data=True;pwd = new ;Connect Timeout=30;"
         "Trust Server Certificate=True;uid=sa;Database=park;Whatever=1;"},
        // Quoted only where the reader needs it.
        {"Data Source=a;Initial Catalog=b;User ID=c;Password=d",
         {"x=y", "'q", "say \"hi\"", " a;\"b ", false},
         "Data Source=x=y;Initial Catalog=\"'q\";User ID=say \"hi\";Password=\" a;\"\"b \""},
        // The last of two synonyms is the one set; the earlier goes. Missing
        // keys go at the end.
        {"Data Source=old;Address=PC\\SQL;PWD=a;Password=b;", sql,
         "Address=PC\\SQL;Password=new;User ID=sa;Initial Catalog=park;"},
        // Windows authentication takes the login's place, and back.
        {"Provider=SQLOLEDB.1;Password=p;Persist Security Info=True;User ID=sa;Initial Catalog=park;"
         "Data Source=PC\\SQL;Connect Timeout=30",
         windows,
         "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=True;Initial Catalog=park;"
         "Data Source=PC\\SQL;Connect Timeout=30"},
        {"Trusted_Connection=yes;Server=PC\\SQL;Database=park", sql,
         "User ID=sa;Password=new;Server=PC\\SQL;Database=park"},
        {"Trusted_Connection=no;Server=PC\\SQL;Database=park", windows,
         "Trusted_Connection=yes;Server=PC\\SQL;Database=park"},
        // A new file's line.
        {" ", windows,
         "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=park;"
         "Data Source=PC\\SQL"},
    };
    for (const auto& c : cases) {
        const std::string edited = EditOledbLogin(c.text, c.login);
        EXPECT_EQ(edited, c.edited) << c.text;
        EXPECT_EQ(ReadOledbLogin(OledbSettings(edited)), c.login) << edited;
    }
    // A field not given keeps what the string says, whatever the login;
    // one given empty is set empty. A value starting with '=' is quoted.
    OledbLoginEdit password_only;
    password_only.password = "=x";
    EXPECT_EQ(EditOledbLogin("Provider=SQLOLEDB.1;Password=old;User ID=sa;Data Source=PC;", password_only),
              "Provider=SQLOLEDB.1;Password=\"=x\";User ID=sa;Data Source=PC;");
    EXPECT_EQ(EditOledbLogin("Trusted_Connection=yes;Server=PC", password_only), "Trusted_Connection=yes;Server=PC");
    OledbLoginEdit empty;
    empty.server = "";
    empty.database = "";
    EXPECT_EQ(EditOledbLogin("Server=PC;Database=park", empty), "Server=;Database=");
    EXPECT_EQ(EditOledbLogin("Server=PC", empty), "Server=") << "no empty key added";
    EXPECT_THROW(EditOledbLogin("Server=s;Password='x", sql), UserError);
    try {
        EditOledbLogin("Server=s", OledbLogin{"s", "d", "u", "pa\nss", false});
        ADD_FAILURE() << "a line break taken";
    } catch (const UserError& error) {
        EXPECT_STREQ(error.what(), "The password holds a line break, which the connection string cannot");
    }
}

TEST(ConnectionStringTest, IntegratedSecurity) {
    for (const char* pair : {"Integrated Security=SSPI", "integrated security=true", "Trusted_Connection=yes"}) {
        EXPECT_EQ(ErrorOf(std::string("Server=s;") + pair),
                  "Integrated (Windows) security is not supported on this platform; the connection string needs a "
                  "User ID and Password");
        EXPECT_EQ(Odbc(std::string("Server=s;User ID=u;Password=p;") + pair, kWindows),
                  "Driver={SQL Server};Server=s;Trusted_Connection=Yes;");
    }
    EXPECT_EQ(Odbc("Server=s;Integrated Security=False;UID=u"), kFreeTds + "Server=s;Port=1433;UID=u;");
}

TEST(ConnectionStringTest, LoginTimeoutAndOtherKeys) {
    EXPECT_EQ(TranslateConnectionString("Server=s;Connect Timeout=30", kLinux).login_timeout_seconds, 30);
    EXPECT_EQ(TranslateConnectionString("Server=s;Connection Timeout=5", kLinux).login_timeout_seconds, 5);
    EXPECT_EQ(ErrorOf("Server=s;Connect Timeout=abc"),
              "\"Connect Timeout\" in the connection string must be a whole number of seconds");
    for (const char* bad : {"-5", "1.5", ""}) EXPECT_NE(ErrorOf(std::string("Server=s;Timeout=") + bad), "");
    // No limit, or more than a nightly run can wait: capped, and said.
    for (const char* value : {"0", "121", "99999999999"}) {
        const OdbcConnectionString capped = TranslateConnectionString(std::string("Server=s;Timeout=") + value, kLinux);
        EXPECT_EQ(capped.login_timeout_seconds, 120) << value;
        ASSERT_EQ(capped.adjustments.size(), 1u) << value;
        EXPECT_EQ(capped.adjustments[0].rfind("\"Timeout\" in the connection string asks for ", 0), 0u);
    }
    EXPECT_NE(TranslateConnectionString("Server=s;Timeout=0", kLinux).adjustments[0].find("no limit"),
              std::string::npos);
    EXPECT_TRUE(TranslateConnectionString("Server=s;Timeout=120", kLinux).adjustments.empty());

    EXPECT_EQ(Odbc("Server=s;Connect Timeout=30;Application Name=Park Totals;Workstation ID=GATE-1;"
                   "Persist Security Info=False;Packet Size=4096;Auto Translate=True;Network Library=dbmssocn;"
                   "Locale Identifier=2052;Current Language=us_english;Mode=Read;Whatever=1"),
              kFreeTds + "Server=s;Port=1433;APP=Park Totals;WSID=GATE-1;");
}

TEST(ConnectionStringTest, EmptyOrMalformed) {
    for (const char* empty : {"", "   ", " ; ;"}) EXPECT_EQ(ErrorOf(empty), "The connection string is empty");
    EXPECT_EQ(ErrorOf("Server=s;=x"), "The connection string has a value without a name");
    EXPECT_EQ(ErrorOf("Server"), "The connection string starts with a part that has no \"=\"");
    EXPECT_EQ(ErrorOf("Server=s;Database='d"),
              "In the connection string, the quote around the value of \"Database\" is not closed");
    EXPECT_EQ(ErrorOf("Server=s;Database='d'x"),
              "In the connection string, the value of \"Database\" has more text after its closing quote");
}

// What each driver takes, found by trying FreeTDS 1.3.17 (GnuTLS) against
// a server that offers no encryption and one that offers it with a
// self-signed certificate:
//   Encryption=require  no login is sent to a server without encryption
//                       (only 20002 "Adaptive Server connection failed");
//                       with encryption, ANY certificate is taken: FreeTDS
//                       checks one only when given a "ca file"
//   Encryption=request  (also the default) the login goes in plain text to
//                       a server without encryption
//   Encryption=off      the same
//   Encryption=bogus    20214? no: "Local configuration error", no connection
//   Encrypt=yes         ignored: the login goes in plain text
//   CAFile=, ca file=   not connection string keys: ignored. Only a
//                       freetds.conf section (Servername=) carries "ca file";
//                       "ca file = system" is the system's trust store, and
//                       the host name is then checked against the
//                       certificate ("check certificate hostname", default yes)
// The Windows "SQL Server" driver (and the Microsoft drivers after it) take
// Encrypt=yes, checking the certificate, and TrustServerCertificate=yes to
// skip the check; Microsoft's documentation of the driver keywords.
TEST(ConnectionStringTest, EncryptionAskedForBecomesTheDriversOwnKeyword) {
    const std::string base = "Provider=SQLOLEDB.1;Data Source=db,1500;User ID=sa;Password=pw;";
    const std::string checked = kFreeTds + "Servername=parktotals-encrypted;Encryption=require;UID=sa;PWD=pw;";
    for (const char* ask : {"Use Encryption for Data=True", "use encryption for data=YES", "Encrypt=yes",
                            "Encrypt=true", "ENCRYPT=Mandatory", "Encrypt=strict"}) {
        const OdbcConnectionString linux = TranslateConnectionString(base + ask, kLinux);
        EXPECT_EQ(linux.odbc, checked) << ask;
        EXPECT_EQ(linux.encryption, Encryption::Required) << ask;
        EXPECT_EQ(linux.freetds_conf,
                  "[parktotals-encrypted]\n\thost = db\n\tport = 1500\n\tencryption = require\n"
                  "\tca file = system\n\tcheck certificate hostname = yes\n")
            << ask;
        const OdbcConnectionString windows = TranslateConnectionString(base + ask, kWindows);
        EXPECT_EQ(windows.odbc, "Driver={SQL Server};Server=db,1500;Encrypt=yes;UID=sa;PWD=pw;") << ask;
        EXPECT_EQ(windows.freetds_conf, "") << ask;
    }
    for (const char* none : {"", "Use Encryption for Data=False", "Encrypt=no", "Encrypt=Optional",
                             "Encrypt=false;Trust Server Certificate=True"}) {
        const OdbcConnectionString linux = TranslateConnectionString(base + none, kLinux);
        EXPECT_EQ(linux.odbc, kFreeTds + "Server=db,1500;UID=sa;PWD=pw;") << none;
        EXPECT_EQ(linux.encryption, Encryption::Off) << none;
        EXPECT_EQ(linux.freetds_conf, "") << none;
        EXPECT_EQ(Odbc(base + none, kWindows), "Driver={SQL Server};Server=db,1500;UID=sa;PWD=pw;") << none;
    }
    // Asked by either key is asked: never less than one of them says.
    EXPECT_EQ(TranslateConnectionString(base + "Use Encryption for Data=True;Encrypt=no", kLinux).encryption,
              Encryption::Required);

    // Trusting the certificate: encrypted, unchecked, the server named directly.
    for (const char* trust : {"Trust Server Certificate=True", "TrustServerCertificate=yes"}) {
        const OdbcConnectionString linux = TranslateConnectionString(base + "Encrypt=yes;" + trust, kLinux);
        EXPECT_EQ(linux.odbc, kFreeTds + "Server=db,1500;Encryption=require;UID=sa;PWD=pw;") << trust;
        EXPECT_EQ(linux.encryption, Encryption::Unchecked);
        EXPECT_EQ(linux.freetds_conf, "");
        EXPECT_EQ(Odbc(base + "Encrypt=yes;" + trust, kWindows),
                  "Driver={SQL Server};Server=db,1500;Encrypt=yes;TrustServerCertificate=yes;UID=sa;PWD=pw;");
    }
    // Strict checks the certificate whatever the trust says.
    EXPECT_EQ(TranslateConnectionString(base + "Encrypt=Strict;TrustServerCertificate=True", kLinux).encryption,
              Encryption::Required);
}

TEST(ConnectionStringTest, CheckedCertificateServerForms) {
    const auto conf = [](const std::string& source) {
        return TranslateConnectionString("Data Source=" + source + ";Encrypt=yes", kLinux).freetds_conf;
    };
    EXPECT_NE(conf("park-db").find("\thost = park-db\n\tport = 1433\n"), std::string::npos);
    EXPECT_NE(conf(".\\SQLEXPRESS").find("\thost = 127.0.0.1\n\tinstance = SQLEXPRESS\n"), std::string::npos);
    EXPECT_NE(conf("tcp:10.0.0.5, 1500").find("\thost = 10.0.0.5\n\tport = 1500\n"), std::string::npos);
    EXPECT_NE(conf("db\\SQLEXPRESS,1500").find("\thost = db\n\tport = 1500\n"), std::string::npos);
    // A value freetds.conf would read as something else.
    for (const char* bad : {"db;x", "db,15 00", "db#1", "db\\in st"})
        EXPECT_EQ(ErrorOf(std::string("Data Source=\"") + bad + "\";Encrypt=yes"),
                  "With encryption asked for, the server name may hold only letters, digits and . - _ : $ (and a "
                  "port after a comma, or an instance after a backslash)")
            << bad;
    // Through MSDASQL: the named driver's keywords; a DSN's driver is unknown.
    EXPECT_EQ(Odbc("Provider=MSDASQL;Driver={ODBC Driver 18 for SQL Server};Server=db;Encrypt=yes"),
              "Driver={ODBC Driver 18 for SQL Server};Server=db;Encrypt=yes;");
    EXPECT_EQ(ErrorOf("Provider=MSDASQL;DSN=park;Encrypt=yes"),
              "Encryption cannot be asked for in a connection string that names an ODBC data source (DSN); ask "
              "for it in the data source itself");
    EXPECT_EQ(ErrorOf("Provider=MSDASQL;Driver={FreeTDS};Server=db;Encrypt=yes", kWindows),
              "This build cannot check the server certificate through FreeTDS; add \"Trust Server "
              "Certificate=True\" to encrypt without checking it");
}

TEST(ConnectionStringTest, EncryptionValuesNotUnderstoodAreErrors) {
    EXPECT_EQ(ErrorOf("Server=s;Use Encryption for Data=maybe"),
              "\"Use Encryption for Data\" in the connection string must be True or False");
    EXPECT_EQ(ErrorOf("Server=s;encrypt=1"),
              "\"encrypt\" in the connection string must be yes, no, true, false, Optional, Mandatory or Strict");
    EXPECT_EQ(ErrorOf("Server=s;Encrypt="),
              "\"Encrypt\" in the connection string must be yes, no, true, false, Optional, Mandatory or Strict");
    EXPECT_EQ(ErrorOf("Server=s;Encrypt=yes;TrustServerCertificate=sometimes"),
              "\"TrustServerCertificate\" in the connection string must be True or False");
    EXPECT_EQ(ErrorOf("Server=s;Trust Server Certificate=on"),
              "\"Trust Server Certificate\" in the connection string must be True or False");
}

// Each driver by the library that serves its name, whatever the name: its
// brace rule, TDS version, port and encryption keywords.
TEST(ConnectionStringTest, DriversAreToldApartByTheirLibrary) {
    const std::string ask = "Server=db;PWD=a}b;Encrypt=yes;TrustServerCertificate=yes";
    struct Case {
        const char* library;
        std::string odbc; // with Driver={D}; before it; "" when refused
    };
    const Case cases[] = {
        {"libtdsodbc.so", "Server=db;Encryption=require;PWD={a}b};"},
        {"C:\\Windows\\system32\\sqlsrv32.dll", "Server=db;Encrypt=yes;TrustServerCertificate=yes;PWD={a}}b};"},
        {"C:\\Windows\\system32\\sqlncli11.dll", "Server=db;Encrypt=yes;TrustServerCertificate=yes;PWD={a}}b};"},
        {"msodbcsql17.dll", "Server=db;Encrypt=yes;TrustServerCertificate=yes;PWD={a}}b};"},
        {"libmsodbcsql-18.3.so.2.1", "Server=db;Encrypt=yes;TrustServerCertificate=yes;PWD={a}}b};"},
        {"/opt/odd/libodd.so", ""},
    };
    for (const Case& c : cases) {
        const OdbcTarget target{"D", "127.0.0.1", false, "system", Serving({{"D", c.library}})};
        const std::string translated = c.odbc.empty() ? "" : "Driver={D};" + c.odbc;
        EXPECT_EQ(ErrorOf("Provider=MSDASQL;Driver=D;" + ask, target).empty(), !c.odbc.empty()) << c.library;
        if (!c.odbc.empty()) {
            EXPECT_EQ(Odbc("Provider=MSDASQL;Driver=D;" + ask, target), translated) << c.library;
        }
    }
    // The SQL Server providers: FreeTDS's TDS version and port go with the
    // library, not with the name "FreeTDS".
    EXPECT_EQ(Odbc("Data Source=db;Encrypt=yes;Trust Server Certificate=True", {"SQL Server", "127.0.0.1", false,
                                                                               "system", kLinux.driver_library}),
              "Driver={SQL Server};TDS_Version=7.4;Server=db;Port=1433;Encryption=require;");
    // Strict where the driver speaks TDS 8.
    EXPECT_EQ(Odbc("Provider=MSDASQL;Driver={ODBC Driver 18 for SQL Server};Server=db;Encrypt=Strict"),
              "Driver={ODBC Driver 18 for SQL Server};Server=db;Encrypt=strict;");
    // A driver the program does not know, or no driver at all, is refused
    // when encryption is asked, named with its library.
    EXPECT_EQ(ErrorOf("Provider=MSDASQL;Driver={Odd};Server=db;Use Encryption for Data=True"),
              "Encryption is asked for, but the ODBC driver \"Odd\" (library /opt/odd/libodd.so) is not one whose "
              "encryption keywords this program knows (it knows FreeTDS and Microsoft's SQL Server drivers)");
    EXPECT_NE(ErrorOf("Provider=MSDASQL;Driver={TDS};Server=db;Encrypt=yes").find("\"TDS\" (not registered)"),
              std::string::npos);
    EXPECT_EQ(Odbc("Provider=MSDASQL;Driver={Odd};Server=db;PWD=a}b"), "Driver={Odd};Server=db;PWD={a}}b};");
    // Under Wine the Windows build's "SQL Server" is FreeTDS, which it
    // cannot hand a freetds.conf: encrypted unchecked, or refused.
    EXPECT_EQ(Odbc("Data Source=db;Use Encryption for Data=True;Trust Server Certificate=True", kWine),
              "Driver={SQL Server};TDS_Version=7.4;Server=db;Port=1433;Encryption=require;");
    EXPECT_EQ(ErrorOf("Data Source=db;Use Encryption for Data=True", kWine),
              "This build cannot check the server certificate through FreeTDS; add \"Trust Server "
              "Certificate=True\" to encrypt without checking it");
}

// What each provider does when the string says nothing of encryption, and
// the values its "Use Encryption for Data" takes, from Microsoft's
// documentation of SQLOLEDB, SQL Server Native Client, and the OLE DB
// Driver 18 and 19 ("major version differences": 19 defaults to Mandatory).
TEST(ConnectionStringTest, ProvidersEncryptionDefaultsAndValues) {
    struct Case {
        const char* provider;
        const char* more;
        Encryption encryption; // when translated
        bool refused;
    };
    const Case cases[] = {
        {"SQLOLEDB.1", "", Encryption::Off, false},
        {"SQLNCLI11", "", Encryption::Off, false},
        {"MSOLEDBSQL", "", Encryption::Off, false},
        {"MSOLEDBSQL19", "", Encryption::Required, false},
        {"msoledbsql19.1", "Trust Server Certificate=True", Encryption::Unchecked, false},
        {"MSOLEDBSQL19", "Use Encryption for Data=Optional", Encryption::Off, false},
        {"MSOLEDBSQL19", "Use Encryption for Data=false", Encryption::Off, false},
        {"MSOLEDBSQL19", "Encrypt=no", Encryption::Off, false},
        {"MSOLEDBSQL19", "Use Encryption for Data=Mandatory", Encryption::Required, false},
        {"MSOLEDBSQL19", "Use Encryption for Data=Strict;Trust Server Certificate=True", Encryption::Required, false},
        {"MSOLEDBSQL19", "Use Encryption for Data=maybe", Encryption::Off, true},
        {"MSOLEDBSQL", "Use Encryption for Data=True", Encryption::Required, false},
        {"MSOLEDBSQL", "Use Encryption for Data=Mandatory", Encryption::Off, true},
        {"SQLOLEDB", "Use Encryption for Data=Optional", Encryption::Off, true},
    };
    for (const Case& c : cases) {
        const std::string oledb = std::string("Provider=") + c.provider + ";Data Source=db;" + c.more;
        EXPECT_EQ(ErrorOf(oledb).empty(), !c.refused) << oledb;
        if (!c.refused) {
            EXPECT_EQ(TranslateConnectionString(oledb, kLinux).encryption, c.encryption) << oledb;
        }
    }
    EXPECT_EQ(ErrorOf("Provider=MSOLEDBSQL19;Use Encryption for Data=1"),
              "\"Use Encryption for Data\" in the connection string must be yes, no, true, false, Optional, "
              "Mandatory or Strict");
}

// The section for a checked certificate, as FreeTDS finds it. Were it not
// there to read, FreeTDS would look the section's name up as a host name
// and log in to whatever answered, unchecked: refused instead.
TEST(FreeTdsConfTest, SettingsFreeTdsCannotReadAreRefused) {
    ASSERT_EQ(std::getenv("FREETDSCONF"), nullptr);
    {
        const ScopedFreeTdsConf conf("[parktotals-encrypted]\n");
        ASSERT_NE(std::getenv("FREETDSCONF"), nullptr);
    }
    // A process with one descriptor left: the file is made, but cannot be
    // opened again by its name.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int free_fd = ::open("/dev/null", O_RDONLY);
        ::close(free_fd);
        rlimit before{};
        if (::getrlimit(RLIMIT_NOFILE, &before) != 0) ::_exit(2);
        const rlimit limit{static_cast<rlim_t>(free_fd + 1), before.rlim_max};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(2);
        try {
            const ScopedFreeTdsConf conf("[parktotals-encrypted]\n");
        } catch (const UserError& error) {
            // The sanitizers' checks of the call below open files of their own.
            ::setrlimit(RLIMIT_NOFILE, &before);
            const std::string expected =
                "The settings for checking the server certificate cannot be made: /proc/self/fd/";
            ::_exit(std::string(error.what()).rfind(expected, 0) == 0 && !std::getenv("FREETDSCONF") ? 0 : 3);
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "exit 1: handed to FreeTDS; 3: refused with another message";
    EXPECT_EQ(std::getenv("FREETDSCONF"), nullptr);
}

// Keys as the string writes them, and the pieces a message is made of, in
// a Chinese run.
TEST(ConnectionStringTest, MessagesInChineseKeepKeysAndNamesAsWritten) {
    struct InChinese {
        InChinese() { SetCurrentLanguage(Language::Chinese); }
        ~InChinese() { SetCurrentLanguage(Language::English); }
    };
    const auto chinese = [](const Message& message, std::initializer_list<std::string_view> arguments) {
        return Say(Language::Chinese, message, arguments);
    };
    const InChinese run;
    const struct {
        std::string said;
        std::string expected;
    } cases[] = {
        {ErrorOf("Server=s;DataBase='d"),
         chinese(msg::kConnectionQuoteNotClosed, {chinese(msg::kConnectionValueOfKey, {"DataBase"})})},
        {ErrorOf("Provider=MSDASQL;Driver={Odd};Server=db;Encrypt=yes"),
         chinese(msg::kEncryptionDriverUnknown, {"Odd", chinese(msg::kDriverLibrary, {"/opt/odd/libodd.so"})})},
        {TranslateConnectionString("Server=s;TimeOut=0", kLinux).adjustments.at(0),
         chinese(msg::kTimeoutNoLimitCapped, {"TimeOut", "120"})},
    };
    for (const auto& c : cases) EXPECT_EQ(c.said, c.expected);
}

TEST(ConnectionStringTest, PasswordNeverInErrors) {
    // Each string fails near a password "Pa55word" its writer forgot to quote.
    for (const char* text : {"Provider=Nope;Password=Pa55word", "Server=s;Password=Pa55word;Integrated Security=SSPI",
                             "Server=s;Password=Pa55word;Connect Timeout=Pa55word", "Server=s;Password=Pa;55word",
                             "Server=s;Password=Pa;55word='x", "Server=s;Password=Pa;55word='x'y",
                             "Server=s;Password='Pa55word", "Server=s;Password='Pa55word'x",
                             "Server=s;Password=\"Pa55word};\"", "Password=Pa55word;=Pa55word",
                             "Server=s;Password=Pa;Encrypt=55word", "Server=s;Password=Pa;55word;Encrypt=x",
                             "Server=s;Encrypt=yes;Password=Pa;55word;Trust Server Certificate=Pa55word",
                             "Provider=SQLOLEDB;Server=s;Password=Pa;Provider=55word"}) {
        const std::string message = ErrorOf(text);
        EXPECT_NE(message, "") << text;
        EXPECT_EQ(message.find("Pa55"), std::string::npos) << message;
        EXPECT_EQ(message.find("55word"), std::string::npos) << message;
    }
}

} // namespace
} // namespace parktotals
