// The stand-in checked with a TDS client we did not write: FreeTDS's tsql,
// at each TDS version FreeTDS speaks to SQL Server.

#include <gtest/gtest.h>

#include <mutex>
#include <sstream>

#include "integration/standin_support.h"
#include "standin/standin.h"
#include "support/wait.h"

namespace parktotals::standin {
namespace {

using parktotals::testing::FindOnPath;
using parktotals::testing::ProcessOptions;
using parktotals::testing::ProcessResult;
using parktotals::testing::RunProcess;
using parktotals::testing::EncryptionWith;
using parktotals::testing::TempDir;
using parktotals::testing::TlsCertificate;

class Tsql {
public:
    // `settings`: more lines for the [global] section of its freetds.conf.
    explicit Tsql(std::string tds_version, const std::string& settings = "") : tds_version_(std::move(tds_version)) {
        // Our own configuration, so that no freetds.conf of the machine or user gets a say.
        config_ = dir_.Write("freetds.conf", "[global]\n\ttds version = auto\n" + settings);
    }

    // Runs the batches, each ended by "go", quietly (-o q): tsql then prints
    // only column names, values and messages.
    ProcessResult Run(std::uint16_t port, const std::string& batches, const std::string& password = "p") const {
        ProcessOptions options;
        options.input = batches;
        options.environment = {{"FREETDSCONF", config_}, {"TDSVER", tds_version_}};
        return RunProcess({FindOnPath("tsql"), "-H", "127.0.0.1", "-p", std::to_string(port), "-U", "u", "-P",
                           password, "-D", "park", "-o", "q"},
                          options, parktotals::testing::kGenerousTimeout);
    }

private:
    std::string tds_version_;
    TempDir dir_;
    std::string config_;
};

// The line after each line that is just `header`: tsql's quiet output of
// one-column results named `header`.
std::vector<std::string> ValuesUnder(const std::string& out, const std::string& header) {
    std::vector<std::string> values;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line != header) continue;
        if (std::getline(lines, line)) values.push_back(line);
    }
    return values;
}

class StandinTsql : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (FindOnPath("tsql").empty()) GTEST_SKIP() << "needs tsql on PATH (Debian package freetds-bin)";
    }
};

TEST_P(StandinTsql, LogsInAndReadsEveryResultTypeBack) {
    const std::vector<std::pair<std::string, Value>> results = {
        {"select i\n", Value::Int(7)},
        {"select b\n", Value::BigInt(-9007199254740993)},
        {"select m\n", Value::Money("12.5")},
        {"select sm\n", Value::SmallMoney("-3.25")},
        {"select d\n", Value::Decimal(38, 6, "1.2345678")},
        {"select n\n", Value::Numeric(10, 2, "-99.995")},
        {"select f\n", Value::Float(0.5)},
        {"select s\n", Value::NVarChar("停车场 'A'")},
        {"select z\n", Value::Null(SqlType::Money)},
    };
    Script script;
    std::string input;
    for (const auto& [text, value] : results) {
        script.rules.push_back(Rule::Exact(text, Answer::Scalar(value, "v")));
        input += text + "go\n";
    }
    script.rules.push_back(Rule::Exact("select * from x\n", Answer::Error(208, "Invalid object name 'x'.")));
    input += "select * from x\ngo\n";
    Server server(script);

    const ProcessResult r = Tsql(GetParam()).Run(server.port(), input);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ValuesUnder(r.out, "v"),
              (std::vector<std::string>{"7", "-9007199254740993", "12.5000", "-3.2500", "1.234568", "-100.00", "0.5",
                                        "停车场 'A'", "NULL"}))
        << r.out;
    EXPECT_NE(r.err.find("Msg 208 (severity 16, state 1)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Invalid object name 'x'."), std::string::npos) << r.err;

    const auto logins = server.logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0].user, "u");
    EXPECT_EQ(logins[0].password, "p");
    EXPECT_EQ(logins[0].database, "park");
    EXPECT_EQ(logins[0].app, "TSQL");
    EXPECT_EQ(logins[0].library, "TDS-Library");
    const std::uint32_t asked = GetParam() == "auto" ? 0x74 : std::stoi(GetParam().substr(2)) + 0x70;
    EXPECT_EQ(logins[0].tds_version >> 24, asked);

    // Exactly our batches, in order: tsql sends nothing of its own at connect time.
    const auto batches = server.batches();
    ASSERT_EQ(batches.size(), results.size() + 1);
    for (std::size_t k = 0; k < results.size(); ++k) EXPECT_EQ(batches[k].text, results[k].first);
}

TEST_P(StandinTsql, WrongPasswordIsALoginFailure) {
    Script script;
    script.accounts = {{"u", "p"}};
    Server server(script);
    const ProcessResult r = Tsql(GetParam()).Run(server.port(), "select 1\ngo\n", "wrong");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("Msg 18456"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Login failed for user 'u'."), std::string::npos) << r.err;
    ASSERT_EQ(server.logins().size(), 1u);
    EXPECT_FALSE(server.logins()[0].accepted);
    EXPECT_EQ(server.logins()[0].password, "wrong");
    EXPECT_TRUE(server.batches().empty());
}

class StandinTsqlTls : public StandinTsql {};

Script Rules(const std::string& text, Value value) {
    Script script;
    script.rules.push_back(Rule::Exact(text, Answer::Scalar(std::move(value), "v")));
    return script;
}

INSTANTIATE_TEST_SUITE_P(TdsVersions, StandinTsql, ::testing::Values("auto", "7.1", "7.2", "7.3", "7.4"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return "tds_" + name;
                         });

// Counts what reached a server, to tell "refused" from "never got there".
struct Seen {
    std::mutex mutex;
    int connections = 0;
    std::vector<std::string> errors;

    Observer observer() {
        Observer o;
        o.connected = [this](int) {
            std::lock_guard lock(mutex);
            ++connections;
        };
        o.error = [this](int, const std::string& reason) {
            std::lock_guard lock(mutex);
            errors.push_back(reason);
        };
        return o;
    }
    int Connections() {
        std::lock_guard lock(mutex);
        return connections;
    }
    std::string Errors() {
        std::lock_guard lock(mutex);
        std::string all;
        for (const std::string& e : errors) all += e + "\n";
        return all;
    }
};

TEST_F(StandinTsqlTls, EncryptionSettingDecidesHowTheLoginTravels) {
    const TlsCertificate certificate;
    Server server(Rules("select 1\n", Value::Int(1)), EncryptionWith(certificate));
    struct Case {
        std::string tds_version, encryption;
        LoginEncryption expected;
    };
    const Case cases[] = {
        {"7.4", "require", LoginEncryption::Tls},   {"7.1", "require", LoginEncryption::Tls},
        {"7.2", "require", LoginEncryption::Tls},   {"7.3", "require", LoginEncryption::Tls},
        {"7.4", "request", LoginEncryption::LoginOnly},  // also FreeTDS's default
        {"7.4", "off", LoginEncryption::None},      // "cannot encrypt": nothing is
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tds_version + " " + c.encryption);
        const ProcessResult r =
            Tsql(c.tds_version, "\tencryption = " + c.encryption + "\n").Run(server.port(), "select 1\ngo\n");
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(ValuesUnder(r.out, "v"), std::vector<std::string>{"1"}) << r.out;
        ASSERT_FALSE(server.logins().empty());
        EXPECT_EQ(server.logins().back().encryption, c.expected);
        EXPECT_EQ(server.logins().back().password, "p");
    }
    EXPECT_EQ(server.batches().size(), std::size(cases));
}

// What FreeTDS 1.3.17 (GnuTLS) checks of the server's certificate. With
// `encryption = require` and no CA file it checks nothing: a self-signed
// certificate, or anyone in the middle, is taken. Only a CA file makes it
// check the chain and, unless told not to, that the certificate names the
// host it connected to (an IP address must be in the certificate as one).
// Through ODBC the CA file can only come from freetds.conf: the driver's
// connection string has no keyword for it (see the ODBC tests).
TEST_F(StandinTsqlTls, FreeTdsChecksTheCertificateOnlyWithACaFile) {
    const TlsCertificate certificate;          // for 127.0.0.1
    const TlsCertificate stranger;             // another key, the same name
    const TlsCertificate named("db.example");  // the right key, another name
    Server server(Script{}, EncryptionWith(certificate));
    Server misnamed(Script{}, EncryptionWith(named));
    struct Case {
        const Server& server;
        std::string settings;
        bool connects;
    };
    const Case cases[] = {
        {server, "", true},
        {server, "\tca file = system\n", false},
        {server, "\tca file = " + certificate.certificate_file() + "\n", true},
        {server, "\tca file = " + stranger.certificate_file() + "\n", false},
        {misnamed, "\tca file = " + named.certificate_file() + "\n", false},
        {misnamed, "\tca file = " + named.certificate_file() + "\n\tcheck certificate hostname = no\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        const std::size_t before = c.server.logins().size();
        const ProcessResult r =
            Tsql("7.4", "\tencryption = require\n" + c.settings).Run(c.server.port(), "select 1\ngo\n");
        EXPECT_EQ(r.exit_code, c.connects ? 0 : 1) << r.err;
        // Refused by the client itself, before it sent its login.
        EXPECT_EQ(c.server.logins().size(), before + (c.connects ? 1 : 0));
    }
}

TEST_F(StandinTsqlTls, ClientAskingForEncryptionOfAServerWithoutCertificateSendsNoLogin) {
    Seen seen;
    Server server(Script{}, 0, seen.observer());
    const ProcessResult r = Tsql("7.4", "\tencryption = require\n").Run(server.port(), "select 1\ngo\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(seen.Connections(), 1) << "it never reached the server, so this proves nothing";
    EXPECT_TRUE(server.logins().empty());
}

TEST_F(StandinTsqlTls, RequiredEncryptionRefusesAClientThatCannotEncrypt) {
    const TlsCertificate certificate;
    Seen seen;
    Server server(Rules("select 1\n", Value::Int(1)), EncryptionWith(certificate, Encryption::Mode::Required), 0,
                  seen.observer());
    const ProcessResult refused = Tsql("7.4", "\tencryption = off\n").Run(server.port(), "select 1\ngo\n");
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(seen.Connections(), 1);
    EXPECT_TRUE(server.logins().empty());
    EXPECT_TRUE(parktotals::testing::WaitUntil([&] { return !seen.Errors().empty(); }));
    EXPECT_NE(seen.Errors().find("does not support encryption"), std::string::npos) << seen.Errors();

    // "Off, but I can" is not refused: the whole connection is encrypted.
    const ProcessResult willing = Tsql("7.4", "\tencryption = request\n").Run(server.port(), "select 1\ngo\n");
    EXPECT_EQ(willing.exit_code, 0) << willing.err;
    EXPECT_EQ(ValuesUnder(willing.out, "v"), std::vector<std::string>{"1"});
    ASSERT_EQ(server.logins().size(), 1u);
    EXPECT_EQ(server.logins()[0].encryption, LoginEncryption::Tls);
}

} // namespace
} // namespace parktotals::standin
