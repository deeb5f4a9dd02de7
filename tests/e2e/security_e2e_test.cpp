// The built program, headless, on the failure paths where a password could
// slip out: nothing it prints, and nothing in memo1.txt or the run report,
// may hold the central password baked into it or the local one from
// RegInfo.INI.

#include "car_park_folder.h"
#include "standin/standin.h"
#include "support/network.h"
#include "support/odbc_drivers.h"
#include "support/process.h"
#include "support/standin_scripts.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "totals/figures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>


namespace parktotals {
namespace {

namespace fs = std::filesystem;
using standin::Answer;
using standin::Rule;
using standin::Script;
using standin::Server;

constexpr const char* kLocalPassword = "Loc4l-Secret";

Script Accepting(std::map<std::string, std::string> accounts) {
    Script script;
    script.accounts = std::move(accounts);
    script.rules.push_back(Rule::Regex("[\\s\\S]*", Answer::Scalar(standin::Value::Int(5))));
    return script;
}

class SecretsRunTest : public ::testing::Test, protected testing::CarParkFolder {
protected:
    SecretsRunTest() { SetLocalServer("Provider=SQLOLEDB.1;Data Source=127.0.0.1," + std::to_string(local.port())); }

    void SetLocalServer(const std::string& start) const {
        SetRegInfo(start + ";Initial Catalog=park;User ID=sa;Password=" + kLocalPassword);
    }

    // Runs the program and checks that no trace of either password is left.
    testing::ProcessResult RunAndCheck() {
        const testing::ProcessResult run = RunHeadless();
        const std::string memo = Read("memo1.txt");
        const std::string report = Read("parktotals.log");
        EXPECT_NE(report, "") << "every run is reported";
        for (const std::string& secret : {std::string(PARKTOTALS_E2E_PASSWORD), std::string(kLocalPassword)}) {
            EXPECT_EQ(run.out.find(secret), std::string::npos) << run.out;
            EXPECT_EQ(run.err.find(secret), std::string::npos) << run.err;
            EXPECT_EQ(memo.find(secret), std::string::npos) << memo;
            EXPECT_EQ(report.find(secret), std::string::npos) << report;
        }
        return run;
    }

    Server local{Accepting({{"sa", kLocalPassword}})};
};

TEST_F(SecretsRunTest, CentralLoginRefused) {
    Server central(Accepting({{PARKTOTALS_E2E_USER, "not the baked-in password"}}), PARKTOTALS_E2E_CENTRAL_PORT);
    const testing::ProcessResult run = RunAndCheck();
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "parktotals: Login failed for user '" PARKTOTALS_E2E_USER "'\n");
    ASSERT_EQ(central.logins().size(), 1u);
    EXPECT_EQ(central.logins()[0].password, PARKTOTALS_E2E_PASSWORD);
}

TEST_F(SecretsRunTest, CentralServerUnreachable) {
    const testing::ProcessResult run = RunAndCheck();
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err, "");
}

// Local failures are swallowed figure by figure: the run goes on, names
// each figure it could not send on stderr, and sends nothing.
TEST_F(SecretsRunTest, LocalConnectionFailures) {
    Server central(Accepting({{PARKTOTALS_E2E_USER, PARKTOTALS_E2E_PASSWORD}}), PARKTOTALS_E2E_CENTRAL_PORT);
    const std::string server = ";Data Source=127.0.0.1," + std::to_string(local.port());
    const testing::ClosedPort closed;
    const std::string bad_starts[] = {
        "Provider=Microsoft.Jet.OLEDB.4.0" + server,
        "Provider=SQLOLEDB.1;Integrated Security=SSPI" + server,
        "Provider=SQLOLEDB.1;Data Source=127.0.0.1," + std::to_string(closed.port()),
        "Provider=SQLOLEDB.1" + server, // with the login refused below
    };
    for (const std::string& start : bad_starts) {
        const bool refused = &start == &bad_starts[3];
        if (refused) local.SetScript(Accepting({{"sa", "not the password in RegInfo.INI"}}));
        SetLocalServer(start);
        const std::size_t logins_before = local.logins().size();
        const testing::ProcessResult run = RunAndCheck();
        // A refused login is not tried again for each figure.
        if (refused) {
            EXPECT_EQ(local.logins().size(), logins_before + 1) << run.err;
        }
        EXPECT_EQ(run.exit_code, 2) << start;
        EXPECT_EQ(run.out, "") << start;
        for (int i = 0; i < kFigureCount; ++i) {
            const std::string notice = "parktotals: figure " + std::to_string(i + 1) + " (" +
                                       std::string(kFigures[i].column) + ") not transferred: not sent: ";
            EXPECT_NE(run.err.find(notice), std::string::npos) << start << "\n" << run.err;
        }
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), kFigureCount) << run.err;
    }
    EXPECT_FALSE(local.logins().empty());
    for (const standin::Login& login : local.logins()) EXPECT_FALSE(login.accepted);
    // Each run's central session set itself up; no update went.
    for (const std::string& text : testing::Texts(central.batches())) EXPECT_EQ(text, testing::kSetNoCountOff);
}

// RegInfo.INI asks for encryption; the car park's server offers none. No
// login leaves the program (the stand-in records none), every figure says
// why, and the run ends as for a local server it could not connect to.
TEST_F(SecretsRunTest, EncryptionAskedForAndNotOfferedSendsNoLogin) {
    Server central(Accepting({{PARKTOTALS_E2E_USER, PARKTOTALS_E2E_PASSWORD}}), PARKTOTALS_E2E_CENTRAL_PORT);
    const std::string reason =
        "not sent: The connection with encryption failed: the server may not offer encryption, or its "
        "certificate is not trusted (Unable to connect to data source) (SQLSTATE 08001)";
    for (const char* ask : {";Use Encryption for Data=True", ";Encrypt=yes;Trust Server Certificate=True"}) {
        SetRegInfo("Provider=SQLOLEDB.1;Data Source=127.0.0.1," + std::to_string(local.port()) +
                   ";Initial Catalog=park;User ID=sa;Password=" + kLocalPassword + ask);
        const testing::ProcessResult run = RunAndCheck();
        EXPECT_EQ(run.exit_code, 2) << ask;
        const std::string report = testing::ReadBytes(dir / "parktotals.log");
        EXPECT_NE(report.find("Local database: server 127.0.0.1," + std::to_string(local.port()) +
                              ", database park: cannot connect: The connection with encryption failed"),
                  std::string::npos)
            << report;
        for (int i = 0; i < kFigureCount; ++i) {
            const std::string figure = std::to_string(i + 1) + " (" + std::string(kFigures[i].column) + ")";
            EXPECT_NE(run.err.find("parktotals: figure " + figure + " not transferred: " + reason + "\n"),
                      std::string::npos)
                << run.err;
        }
    }
    EXPECT_TRUE(local.logins().empty());
    // Each run's central session set itself up; no update went.
    for (const std::string& text : testing::Texts(central.batches())) EXPECT_EQ(text, testing::kSetNoCountOff);
    // A value the program does not understand stops it before any connection.
    SetRegInfo("Provider=SQLOLEDB.1;Data Source=127.0.0.1," + std::to_string(local.port()) +
               ";User ID=sa;Password=" + kLocalPassword + ";Encrypt=always");
    const testing::ProcessResult run = RunAndCheck();
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("not sent: \"Encrypt\" in the connection string must be yes, no, true, false, Optional, "
                           "Mandatory or Strict\n"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(local.logins().empty());
}

// A float the local server holds as NaN or infinity would go out as "NAN"
// or "INF": the figure is held back with its reason, the others still go.
TEST_F(SecretsRunTest, FloatsThatAreNoNumbersAreNotSent) {
    Server central(Accepting({{PARKTOTALS_E2E_USER, PARKTOTALS_E2E_PASSWORD}}), PARKTOTALS_E2E_CENTRAL_PORT);
    const standin::Value values[] = {standin::Value::Float(NAN), standin::Value::Float(INFINITY),
                                     standin::Value::Float(-INFINITY), standin::Value::Float(2.5),
                                     standin::Value::Float(-NAN)};
    Script script;
    script.accounts = {{"sa", kLocalPassword}};
    for (int i = 0; i < kFigureCount; ++i)
        script.rules.push_back(Rule::Exact(std::string(kFigures[i].query) + "\r\n", Answer::Scalar(values[i])));
    local.SetScript(script);

    const testing::ProcessResult run = RunAndCheck();
    EXPECT_EQ(run.exit_code, 2);
    const std::string report = testing::ReadBytes(dir / "parktotals.log");
    const char* reasons[] = {"The value is not a number (NaN) and cannot be sent",
                             "The value is infinity and cannot be sent",
                             "The value is minus infinity and cannot be sent", nullptr,
                             "The value is not a number (NaN) and cannot be sent"};
    for (int i = 0; i < kFigureCount; ++i) {
        if (reasons[i] == nullptr) continue;
        const std::string figure = std::to_string(i + 1) + " (" + std::string(kFigures[i].column) + ")";
        EXPECT_NE(run.err.find("parktotals: figure " + figure + " not transferred: not sent: " + reasons[i] + "\n"),
                  std::string::npos)
            << run.err;
        EXPECT_NE(report.find("Figure " + figure + ": not sent: " + reasons[i] + "\n"), std::string::npos) << report;
    }
    ASSERT_EQ(central.batches().size(), 2u);
    EXPECT_NE(central.batches()[1].text.find(" set xinjin_money_lishi='2.5'"), std::string::npos)
        << central.batches()[1].text;
}

} // namespace
} // namespace parktotals
