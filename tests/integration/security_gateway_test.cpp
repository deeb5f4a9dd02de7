// Hostile values and secrets on the real path: unixODBC + FreeTDS to the
// stand-ins. A spliced value must never change an update's structure on the
// wire, a statement goes out whole or not at all, and no password may show
// in what an error says.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "db/database_error.h"
#include "integration/gateway_support.h"
#include "support/daily_totals_shortcuts.h"
#include "support/sql_literals.h"
#include "support/temp_dir.h"
#include "support/tls_certificate.h"
#include "support/utf16_files.h"
#include "totals/figures.h"
#include "totals/memo.h"

namespace parktotals {
namespace {

using standin::Answer;
using standin::Rule;
using standin::Server;
using standin::Value;
using testing::Rules;
using testing::Texts;

const std::string kNul(1, '\0');
constexpr const char* kDate = "20260228";
using testing::kSetNoCountOff;

// What the central server received after the one session's set-up, which
// comes first.
std::vector<std::string> AfterSetUp(const Server& central) {
    std::vector<std::string> sent = Texts(central.batches());
    if (sent.empty() || sent.front() != kSetNoCountOff) {
        ADD_FAILURE() << "the session did not start with " << kSetNoCountOff;
        return sent;
    }
    sent.erase(sent.begin());
    return sent;
}

// Only sessions' set-ups reached the central server, no update.
void ExpectOnlySetUps(const Server& central) {
    for (const std::string& text : Texts(central.batches())) EXPECT_EQ(text, kSetNoCountOff);
}

// The nightly job with the figures coming back as text columns, so that they
// can carry what no number would.
class HostileRunTest : public ::testing::Test {
protected:
    Outcome Run(const std::vector<std::string>& values, const std::string& park) {
        std::vector<Rule> rules;
        for (int i = 0; i < kFigureCount; ++i)
            rules.push_back(Rule::Exact(std::string(kFigures[i].query) + "\r\n",
                                        Answer::Scalar(Value::NVarChar(values[static_cast<std::size_t>(i)]))));
        local.SetScript(Rules(std::move(rules)));
        JobSettings settings;
        settings.park_config_path = dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=" + park + "\r\n");
        settings.memo_path = dir / "memo1.txt";
        settings.nights_path = dir / "transferred-nights.txt";
        settings.today = [] { return LocalDate{2026, 3, 1}; };
        form.gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", testing::LocalConnectionString(local.port())));
        return RunDailyTotals(form.gateway, memo, settings);
    }

    // Every update finds its row: one that matched none would not count
    // as transferred.
    static standin::Script CentralScript() {
        standin::Script script = Rules({});
        script.fallback = Answer::RowCount(1);
        return script;
    }

    testing::TempDir dir;
    Server local{Rules({})};
    Server central{CentralScript()};
    testing::FormComponents form{testing::CentralString(central.port())};
    Memo memo;
};

TEST_F(HostileRunTest, QuotesCommentsAndSeparatorsStayInsideTheirLiteralsOnTheWire) {
    const std::vector<std::string> values = {"1'; drop table T_kextotal --", "1'/*", "0';\r\ngo\r\nshutdown --",
                                             "\xE5\x8C\x97\xE4\xBA\xAC'\xF0\x9F\x9A\x97", "*/'"};
    const std::string park = "7' or '1'='1' --";
    ASSERT_EQ(Run(values, park), Outcome::AllTransferred);

    const std::vector<std::string> sent = AfterSetUp(central);
    ASSERT_EQ(sent.size(), values.size());
    for (int i = 0; i < kFigureCount; ++i) {
        const std::string statement = BuildUpdateStatement(i, values[static_cast<std::size_t>(i)], park, kDate);
        EXPECT_EQ(sent[static_cast<std::size_t>(i)], statement + "\r\n") << "figure " << i + 1;
        const auto shape = testing::ShapeOf(sent[static_cast<std::size_t>(i)]);
        const auto plain = testing::ShapeOf(BuildUpdateStatement(i, "0", "1", kDate));
        ASSERT_TRUE(shape.has_value()) << "figure " << i + 1 << " has an open literal";
        EXPECT_EQ(shape->skeleton, plain->skeleton + "\r\n") << "figure " << i + 1;
        EXPECT_EQ(shape->literals, (std::vector<std::string>{values[static_cast<std::size_t>(i)], park, kDate}));
    }
}

// FreeTDS would cut the statement at the NUL and send "...set x='12": the
// figure is refused instead, and the others still go.
TEST_F(HostileRunTest, FigureWithANulIsRefusedNotSentCutShort) {
    const std::vector<std::string> values = {"12" + kNul + "'; drop table T_kextotal --", "5", "6", "7", kNul};
    ASSERT_EQ(Run(values, "208"), Outcome::Incomplete);
    const std::vector<std::string> expected = {BuildUpdateStatement(1, "5", "208", kDate),
                                               BuildUpdateStatement(2, "6", "208", kDate),
                                               BuildUpdateStatement(3, "7", "208", kDate)};
    EXPECT_EQ(memo.Lines(), expected);
    const std::vector<std::string> sent = AfterSetUp(central);
    ASSERT_EQ(sent.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(sent[i], expected[i] + "\r\n");

    // A car park number with a NUL holds back every figure.
    ASSERT_EQ(Run({"1", "2", "3", "4", "5"}, "20" + kNul + "8"), Outcome::Incomplete);
    EXPECT_TRUE(memo.Lines().empty());
    EXPECT_EQ(central.batches().size(), expected.size() + 2) << "the second run's session set itself up, no more";
}

TEST_F(HostileRunTest, RefusedStatementSaysWhyAndLeavesTheConnectionUsable) {
    form.gateway.OpenCentral();
    try {
        form.gateway.ExecCentral(BuildUpdateStatement(0, "1" + kNul, "208", kDate));
        FAIL() << "a statement with a NUL went to the driver";
    } catch (const UserError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "The statement cannot be sent to the database: it contains a NUL character");
    }
    EXPECT_TRUE(form.gateway.IsCentralOpen());
    form.gateway.ExecCentral(BuildUpdateStatement(0, "1", "208", kDate));
    EXPECT_EQ(AfterSetUp(central), std::vector<std::string>{BuildUpdateStatement(0, "1", "208", kDate) + "\r\n"});
}

TEST_F(HostileRunTest, LongStatementGoesOutWhole) {
    // 100 kB of quotes and non-ASCII: the batch spans many TDS packets.
    std::string value;
    for (int i = 0; i < 52 * 1024; ++i) value += i % 2 ? "'" : "\xC3\xA9";
    const std::string statement = BuildUpdateStatement(4, value, "208", kDate);
    ASSERT_GT(statement.size(), 100u * 1024);
    form.gateway.OpenCentral();
    form.gateway.ExecCentral(statement);
    EXPECT_EQ(AfterSetUp(central), std::vector<std::string>{statement + "\r\n"});
}

// What opening the central connection with this string says; "" if it opened.
std::string CentralErrorFor(const std::string& connection_string) {
    testing::FormComponents components(connection_string);
    try {
        components.gateway.OpenCentral();
    } catch (const UserError& error) {
        return error.what();
    }
    return "";
}

TEST(SecretsTest, NoFailureToConnectNamesThePassword) {
    const std::string password = "Zq7-Secret;Pw'9";
    standin::Script refusing = Rules({});
    refusing.accounts = {{testing::kCentralUser, "another password"}};
    Server server(refusing);
    const std::string host = testing::StandinHost(server.port());
    const std::string quoted = "\"Zq7-Secret;Pw'9\"";
    const testing::ClosedPort closed;
    const std::string cases[] = {
        CentralConnectionString(host, testing::kCentralUser, password),                        // login refused
        CentralConnectionString(testing::StandinHost(closed.port()), "u", password),           // unreachable
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + host + ";Password=" + quoted,         // bad provider
        "Provider=SQLOLEDB;Integrated Security=SSPI;Data Source=" + host + ";Password=" + quoted, // no Windows logins
        "Provider=SQLOLEDB;Data Source=" + host + ";Connect Timeout=soon;Password=" + quoted,   // bad timeout
        "Provider=SQLOLEDB;Data Source=" + host + ";Password=Zq7-Secret;Pw'9",                  // password not quoted
        CentralConnectionString(host, "u" + kNul, password),                                   // would be cut
    };
    for (const std::string& text : cases) {
        const std::string message = CentralErrorFor(text);
        EXPECT_NE(message, "") << text;
        for (const char* piece : {"Zq7", "Secret", "Pw'9"}) EXPECT_EQ(message.find(piece), std::string::npos) << message;
    }
    EXPECT_EQ(CentralErrorFor(cases[6]), "The connection string cannot be sent to the database: it contains a NUL character");
    ASSERT_EQ(server.logins().size(), 1u) << "only the refused login reached the server";
    EXPECT_EQ(server.logins()[0].password, password);
}

// Encryption asked for, and a server that offers none (the stand-in's
// PRELOGIN says "not supported"): the connection fails before any login,
// so no password leaves the program, and the reason says encryption.
class EncryptionRefusedTest : public ::testing::Test {
protected:
    static standin::Observer Counting(std::atomic<int>& connections) {
        standin::Observer observer;
        observer.connected = [&connections](int) { ++connections; };
        return observer;
    }

    static constexpr const char* kPassword = "Zq7-Secret;Pw'9";
    static constexpr const char* kRefusal =
        "The connection with encryption failed: the server may not offer encryption, or its certificate is not "
        "trusted (";

    std::atomic<int> local_connections{0};
    std::atomic<int> central_connections{0};
    Server local{testing::LocalFiguresScript(), 0, Counting(local_connections)};
    Server central{testing::CentralScript(), 0, Counting(central_connections)};
    testing::TempDir dir;
};

TEST_F(EncryptionRefusedTest, LocalServerGetsNoLoginAndNoFigureIsSent) {
    // Checked through the freetds.conf section, unchecked straight, Strict.
    const char* asks[] = {"Use Encryption for Data=True", "Encrypt=Mandatory;TrustServerCertificate=yes",
                          "encrypt=STRICT"};
    int tries = 0;
    for (const char* ask : asks) {
        testing::FormComponents form(testing::CentralString(central.port()));
        const std::string reginfo = "Provider=SQLOLEDB.1;Data Source=" + testing::StandinHost(local.port()) +
                                    ";Initial Catalog=park;User ID=sa;Password=\"" + kPassword + "\";" + ask;
        const LocalSetUp set_up = form.gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", reginfo));
        ++tries;
        EXPECT_EQ(set_up.status, LocalSetUp::Status::Failed) << ask;
        EXPECT_EQ(set_up.failure.message.rfind(kRefusal, 0), 0u) << ask << ": " << set_up.failure.message;
        EXPECT_EQ(set_up.failure.message, std::string(kRefusal) + "Unable to connect to data source)");

        JobSettings settings;
        settings.park_config_path = dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=208\r\n");
        settings.memo_path = dir / "memo1.txt";
        settings.nights_path = dir / "transferred-nights.txt";
        settings.today = [] { return LocalDate{2026, 3, 1}; };
        Memo memo;
        JobRecord record;
        EXPECT_EQ(RunDailyTotals(form.gateway, memo, settings, record), Outcome::Incomplete) << ask;
        ++tries; // once a pass: the pass's other figures meet the same failure
        for (const FigureRecord& figure : record.nights.at(0).figures) {
            EXPECT_EQ(figure.status, FigureStatus::NotSent);
            EXPECT_EQ(figure.failure.message.rfind(kRefusal, 0), 0u) << figure.failure.message;
            for (const char* piece : {"Zq7", "Secret", "Pw'9"})
                EXPECT_EQ(figure.failure.message.find(piece), std::string::npos) << figure.failure.message;
        }
        EXPECT_TRUE(memo.Lines().empty());
    }
    // Each try reached the server (so the section named it rightly), and
    // none sent a login. The section was FreeTDS's only while it connected.
    EXPECT_EQ(local_connections.load(), tries);
    EXPECT_EQ(std::getenv("FREETDSCONF"), nullptr);
    EXPECT_TRUE(local.logins().empty());
    ExpectOnlySetUps(central);
}

TEST_F(EncryptionRefusedTest, CentralServerGetsNoLoginAndTheRunStops) {
    for (const bool trust : {false, true}) {
        testing::FormComponents form(CentralConnectionString(testing::StandinHost(central.port()),
                                                             testing::kCentralUser, kPassword, {true, trust}));
        try {
            form.gateway.OpenCentral();
            FAIL() << "connected without encryption";
        } catch (const DatabaseError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.rfind(kRefusal, 0), 0u) << message;
            for (const char* piece : {"Zq7", "Secret", "Pw'9"}) EXPECT_EQ(message.find(piece), std::string::npos);
        }
        EXPECT_FALSE(form.gateway.IsCentralOpen());
    }
    EXPECT_EQ(central_connections.load(), 2);

    // A job with a retry to spare tries once: a refusal does not pass.
    testing::FormComponents form(CentralConnectionString(testing::StandinHost(central.port()),
                                                         testing::kCentralUser, kPassword, {true, true}));
    JobSettings settings;
    settings.memo_path = dir / "memo1.txt";
    settings.options.retries = 1;
    settings.wait_before_retry = [](const RetryRound&) { return true; };
    Memo memo;
    JobRecord record;
    EXPECT_THROW(RunDailyTotals(form.gateway, memo, settings, record), EncryptionRefusedError);
    EXPECT_EQ(central_connections.load(), 3);
    EXPECT_TRUE(central.logins().empty());
}

// FreeTDS registered under the Windows driver's name ignores that driver's
// Encrypt=yes: told apart by its library, it gets its own keyword.
TEST_F(EncryptionRefusedTest, FreeTdsUnderTheWindowsDriversNameSendsNoLogin) {
    testing::FormComponents form(testing::CentralString(central.port()));
    for (const char* ask : {"Encrypt=yes", "Use Encryption for Data=True;Trust Server Certificate=True"}) {
        const std::string reginfo = "Provider=MSDASQL;Driver={SQL Server};Server=" +
                                    testing::StandinHost(local.port()) + ";Database=park;User ID=sa;Password=\"" +
                                    kPassword + "\";" + ask;
        const LocalSetUp set_up = form.gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", reginfo));
        EXPECT_EQ(set_up.status, LocalSetUp::Status::Failed) << ask;
        EXPECT_EQ(set_up.failure.message.rfind(kRefusal, 0), 0u) << ask << ": " << set_up.failure.message;
    }
    EXPECT_EQ(local_connections.load(), 2);
    EXPECT_TRUE(local.logins().empty());
}

// A server that does not answer at all is not blamed on encryption.
TEST_F(EncryptionRefusedTest, UnreachableServerIsNotBlamedOnEncryption) {
    const testing::ClosedPort closed;
    testing::FormComponents form(testing::CentralString(central.port()));
    for (const char* ask : {"Encrypt=yes", "Encrypt=yes;Trust Server Certificate=True"}) {
        const LocalSetUp set_up = form.gateway.SetUpLocalConnection(
            dir.Write("RegInfo.INI", testing::EncryptedLocalConnectionString(closed.port(), ask)));
        EXPECT_EQ(set_up.status, LocalSetUp::Status::Unreachable) << ask;
        EXPECT_EQ(set_up.failure.message.find("encryption"), std::string::npos) << set_up.failure.message;
    }
}

// Both servers offer TLS with a throw-away self-signed certificate. Asked
// to trust it, the night goes through with every login inside TLS; asked
// to check it (the default), the certificate nobody vouches for is refused
// before a login is sent.
class EncryptedRunTest : public ::testing::Test {
protected:
    std::string Reginfo(const std::string& ask) const {
        return "Provider=SQLOLEDB.1;Data Source=" + testing::StandinHost(local.port()) +
               ";Initial Catalog=park;User ID=sa;Password=\"Zq7-Secret;Pw'9\";" + ask;
    }

    JobSettings Settings() {
        JobSettings settings;
        settings.park_config_path = dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=208\r\n");
        settings.memo_path = dir / "memo1.txt";
        settings.nights_path = dir / "transferred-nights.txt";
        settings.today = [] { return LocalDate{2026, 3, 1}; };
        return settings;
    }

    testing::TempDir dir;
    testing::TlsCertificate certificate;
    standin::Encryption offered{standin::Encryption::Mode::Offered, certificate.certificate_file(),
                                certificate.key_file()};
    Server local{testing::LocalFiguresScript(), offered};
    Server central{testing::CentralScript(), offered};
};

TEST_F(EncryptedRunTest, TrustedCertificateCarriesTheWholeNightInsideTls) {
    for (const char* ask : {"Use Encryption for Data=True;Trust Server Certificate=True",
                            "Encrypt=Mandatory;TrustServerCertificate=yes"}) {
        const std::size_t logins_before = local.logins().size();
        const std::size_t batches_before = central.batches().size();
        testing::FormComponents form(CentralConnectionString(testing::StandinHost(central.port()),
                                                             testing::kCentralUser, testing::kCentralPassword,
                                                             {true, true}));
        const LocalSetUp set_up = form.gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", Reginfo(ask)));
        ASSERT_EQ(set_up.status, LocalSetUp::Status::Open) << ask << ": " << set_up.failure.message;
        Memo memo;
        JobRecord record;
        EXPECT_EQ(RunDailyTotals(form.gateway, memo, Settings(), record), Outcome::AllTransferred) << ask;
        EXPECT_EQ(memo.Lines().size(), static_cast<std::size_t>(kFigureCount));

        // The session's set-up, then the five updates.
        const std::vector<std::string> sent = Texts(central.batches());
        ASSERT_EQ(sent.size(), batches_before + 1 + kFigureCount) << ask;
        EXPECT_EQ(sent[batches_before], kSetNoCountOff);
        for (int i = 0; i < kFigureCount; ++i)
            EXPECT_EQ(sent[batches_before + 1 + static_cast<std::size_t>(i)],
                      BuildUpdateStatement(i, testing::kLocalFigureValues[static_cast<std::size_t>(i)], "208",
                                           kDate) + "\r\n");
        ASSERT_GT(local.logins().size(), logins_before);
        for (std::size_t i = logins_before; i < local.logins().size(); ++i) {
            EXPECT_EQ(local.logins()[i].encryption, standin::LoginEncryption::Tls) << ask;
            EXPECT_EQ(local.logins()[i].password, "Zq7-Secret;Pw'9");
        }
    }
    ASSERT_FALSE(central.logins().empty());
    for (const standin::Login& login : central.logins()) {
        EXPECT_EQ(login.encryption, standin::LoginEncryption::Tls);
        EXPECT_EQ(login.password, testing::kCentralPassword);
    }
}

TEST_F(EncryptedRunTest, UncheckedSelfSignedCertificateIsRefusedBeforeTheLogin) {
    // The local string asks for a checked certificate; the central one
    // would trust it, so only the local refusal is seen.
    testing::FormComponents form(CentralConnectionString(testing::StandinHost(central.port()),
                                                         testing::kCentralUser, testing::kCentralPassword,
                                                         {true, true}));
    for (const char* ask : {"Use Encryption for Data=True", "Encrypt=yes;Trust Server Certificate=False",
                            "Encrypt=Strict;TrustServerCertificate=yes"}) {
        const LocalSetUp set_up = form.gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", Reginfo(ask)));
        EXPECT_EQ(set_up.status, LocalSetUp::Status::Failed) << ask;
        EXPECT_NE(set_up.failure.message.find("certificate is not trusted"), std::string::npos)
            << ask << ": " << set_up.failure.message;
        EXPECT_EQ(set_up.failure.message.find("Secret"), std::string::npos) << set_up.failure.message;
    }
    EXPECT_TRUE(local.logins().empty());
}

// The central link broken once in the TLS handshake: a network fault, tried
// again, not a refusal.
TEST_F(EncryptedRunTest, HandshakeBrokenOnceIsTriedAgain) {
    standin::Script script = testing::CentralScript();
    script.prelogin_fault = standin::PreloginFault::DropInHandshake;
    script.prelogin_fault_count = 1;
    central.SetScript(script);
    testing::FormComponents form(CentralConnectionString(testing::StandinHost(central.port()), testing::kCentralUser,
                                                         testing::kCentralPassword, {true, true}));
    form.gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", Reginfo("Encrypt=yes;TrustServerCertificate=yes")));
    JobSettings settings = Settings();
    settings.options.retries = 1;
    settings.wait_before_retry = [](const RetryRound&) { return true; };
    Memo memo;
    JobRecord record;
    EXPECT_EQ(RunDailyTotals(form.gateway, memo, settings, record), Outcome::AllTransferred);
    EXPECT_EQ(record.rounds.size(), 1u);
}

// A database the server does not have, after a good encrypted handshake:
// the server's own answer is the reason, not encryption.
TEST_F(EncryptedRunTest, WrongDatabaseAfterTheHandshakeKeepsItsOwnMessage) {
    standin::Script script = testing::LocalFiguresScript();
    script.databases = {"park"};
    local.SetScript(script);
    testing::FormComponents form(testing::CentralString(central.port()));
    const LocalSetUp set_up = form.gateway.SetUpLocalConnection(
        dir.Write("RegInfo.INI", Reginfo("Encrypt=yes;Trust Server Certificate=True;Initial Catalog=parc")));
    EXPECT_EQ(set_up.status, LocalSetUp::Status::Failed) << set_up.failure.sqlstate;
    EXPECT_EQ(set_up.failure.message.rfind("Cannot open database \"parc\" requested by the login.", 0), 0u)
        << set_up.failure.message;
    EXPECT_EQ(set_up.failure.native_code, 4060);
    ASSERT_EQ(local.logins().size(), 1u);
    EXPECT_EQ(local.logins()[0].encryption, standin::LoginEncryption::Tls);
}

// RegInfo.INI and weixinconfig.ini saved by Notepad as "Unicode" or
// "Unicode big endian": the night goes to this car park's row, with the
// password as written.
TEST(Utf16FilesTest, RunWithBothFilesSavedAsUtf16) {
    const std::string password = "\xE5\xAF\x86\xE7\xA0\x81-7";
    for (const bool big_endian : {false, true}) {
        testing::TempDir dir;
        standin::Script figures = testing::LocalFiguresScript();
        figures.accounts = {{"sa", password}};
        Server local(figures);
        Server central(testing::CentralScript());
        testing::FormComponents form(testing::CentralString(central.port()));
        JobSettings settings;
        settings.park_config_path =
            dir.Write("weixinconfig.ini", testing::Utf16File("[code]\r\njov_park_id=208\r\n", big_endian));
        settings.memo_path = dir / "memo1.txt";
        settings.nights_path = dir / "transferred-nights.txt";
        settings.today = [] { return LocalDate{2026, 3, 1}; };
        const std::string reginfo = "Provider=SQLOLEDB.1;Data Source=" + testing::StandinHost(local.port()) +
                                    ";Initial Catalog=park;User ID=sa;Password=" + password + "\r\n";
        const LocalSetUp set_up =
            form.gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", testing::Utf16File(reginfo, big_endian)));
        EXPECT_EQ(set_up.status, LocalSetUp::Status::Open) << set_up.failure.message;
        Memo memo;
        JobRecord record;
        EXPECT_EQ(RunDailyTotals(form.gateway, memo, settings, record), Outcome::AllTransferred) << big_endian;
        EXPECT_EQ(record.park.number, "208");
        EXPECT_EQ(record.park.source, ParkNumber::Source::File);
        ASSERT_EQ(local.logins().size(), 1u);
        EXPECT_EQ(local.logins()[0].password, password);
        const std::vector<std::string> sent = AfterSetUp(central);
        ASSERT_EQ(sent.size(), 5u);
        for (int i = 0; i < kFigureCount; ++i)
            EXPECT_EQ(sent[static_cast<std::size_t>(i)],
                      BuildUpdateStatement(i, testing::kLocalFigureValues[static_cast<std::size_t>(i)], "208",
                                           kDate) + "\r\n");
    }
}

// A wrong password in RegInfo.INI: one failed login a run, not one per
// figure, so that a lockout policy cannot lock the car park's account.
TEST(RefusedLoginTest, LocalLoginRefusedOnceIsNotTriedAgainThatRun) {
    testing::TempDir dir;
    standin::Script refusing = testing::LocalFiguresScript();
    refusing.accounts = {{"sa", "another password"}};
    Server local(refusing);
    Server central(testing::CentralScript());
    testing::FormComponents form(testing::CentralString(central.port()));
    JobSettings settings;
    settings.park_config_path = dir.Write("weixinconfig.ini", "[code]\r\njov_park_id=208\r\n");
    settings.memo_path = dir / "memo1.txt";
    settings.nights_path = dir / "transferred-nights.txt";
    settings.today = [] { return LocalDate{2026, 3, 1}; };

    const LocalSetUp set_up =
        form.gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", testing::LocalConnectionString(local.port())));
    EXPECT_EQ(set_up.status, LocalSetUp::Status::LoginRefused);
    Memo memo;
    JobRecord record;
    EXPECT_EQ(RunDailyTotals(form.gateway, memo, settings, record), Outcome::Incomplete);
    ASSERT_EQ(local.logins().size(), 1u);
    EXPECT_FALSE(local.logins()[0].accepted);
    for (const FigureRecord& figure : record.nights.at(0).figures) {
        EXPECT_EQ(figure.status, FigureStatus::NotSent);
        EXPECT_EQ(figure.failure.message, "Not tried again after the server refused the login: Login failed for user 'sa'");
        EXPECT_EQ(figure.failure.native_code, 18456);
    }
    ExpectOnlySetUps(central);

    // Set up anew, as the next run does, the string is tried again.
    local.SetScript(testing::LocalFiguresScript());
    form.gateway.SetUpLocalConnection(dir / "RegInfo.INI");
    EXPECT_EQ(RunDailyTotals(form.gateway, memo, settings, record), Outcome::AllTransferred);
    EXPECT_EQ(local.logins().size(), 2u);
}

} // namespace
} // namespace parktotals
