// The sqlserver-standin program, as scripts use it.

#include <signal.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <sstream>

#include "integration/standin_support.h"
#include "support/wait.h"

namespace parktotals::testing {
namespace {

// The program in the background.
class StandinProcess {
public:
    explicit StandinProcess(std::vector<std::string> args) : process_(WithProgram(std::move(args)), {}) {}

    // The port of "listening on 127.0.0.1:PORT"; 0 when the program ended without it.
    std::uint16_t WaitForPort() {
        unsigned port = 0;
        WaitUntil([&] {
            return std::sscanf(process_.Stdout().c_str(), "listening on 127.0.0.1:%u", &port) == 1 ||
                   !process_.Running();
        });
        return static_cast<std::uint16_t>(port);
    }

    // True once standard error has a line with `text`.
    bool WaitForMessage(const std::string& text) {
        return WaitUntil([&] { return process_.Stderr().find(text) != std::string::npos; });
    }

    void Signal(int signal) { process_.Signal(signal); }

    // The exit code, or -1 when it has not ended in time.
    int Wait() { return process_.Wait(kGenerousTimeout).value_or(-1); }

private:
    static std::vector<std::string> WithProgram(std::vector<std::string> args) {
        args.insert(args.begin(), STANDIN_PROGRAM);
        return args;
    }
    ChildProcess process_;
};

std::string QueryText(OdbcClient& client, std::u16string batch) {
    if (!SQL_SUCCEEDED(client.Exec(std::move(batch))) || !SQL_SUCCEEDED(SQLFetch(client.statement()))) return "<none>";
    return client.Text();
}

TEST(StandinProgram, ServesTheRulesFileLogsJsonLinesReloadsOnSighupAndStopsOnSigterm) {
    TempDir dir;
    const std::string rules = dir.Write("rules.txt",
                                        "login u p\n"
                                        "escaped money 12.5 | select sum(金额) from t where a like '%x%'\\r\\n\n");
    const std::string log = dir / "log.jsonl";
    StandinProcess standin({"--port", "0", "--rules", rules, "--log", log});
    const std::uint16_t port = standin.WaitForPort();
    ASSERT_NE(port, 0);

    OdbcClient client;
    ASSERT_TRUE(SQL_SUCCEEDED(client.Connect(port, "u", "p", "park")));
    EXPECT_EQ(QueryText(client, u"select sum(金额) from t where a like '%x%'\r\n"), "12.5000");

    dir.Write("rules.txt", "exact int 2 | q\n");
    standin.Signal(SIGHUP);
    ASSERT_TRUE(standin.WaitForMessage("rules reloaded"));
    EXPECT_EQ(QueryText(client, u"q"), "2");

    standin.Signal(SIGTERM);
    EXPECT_EQ(standin.Wait(), 0);

    std::vector<std::string> lines;
    std::istringstream in(ReadBytes(log));
    for (std::string line; std::getline(in, line);)
        if (line.find(R"("event":"attention")") == std::string::npos) lines.push_back(line);  // FreeTDS's own cancels
    ASSERT_GE(lines.size(), 3u) << ReadBytes(log);
    EXPECT_TRUE(lines[0].starts_with(R"({"event":"login","connection":1,"user":"u","password":"p","database":"park",)"))
        << lines[0];
    EXPECT_NE(lines[0].find(R"("accepted":true)"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], R"({"event":"batch","connection":1,"text":"select sum(金额) from t where a like '%x%'\r\n"})");
    EXPECT_EQ(lines.back(), R"({"event":"batch","connection":1,"text":"q"})");
}

TEST(StandinProgram, SigusrOneReleasesHeldAnswers) {
    TempDir dir;
    const std::string rules = dir.Write("rules.txt", "regex hold int 3 | held[\\s\\S]*\n");
    const std::string log = dir / "log.jsonl";
    StandinProcess standin({"--port", "0", "--rules", rules, "--log", log});
    const std::uint16_t port = standin.WaitForPort();
    ASSERT_NE(port, 0);

    OdbcClient client;
    ASSERT_TRUE(SQL_SUCCEEDED(client.Connect(port)));
    auto held = std::async(std::launch::async, [&] { return QueryText(client, u"held 1"); });
    EXPECT_TRUE(WaitUntil([&] { return ReadBytes(log).find(R"("text":"held 1")") != std::string::npos; }));
    standin.Signal(SIGUSR1);
    if (held.wait_for(kGenerousTimeout) != std::future_status::ready) {
        ADD_FAILURE() << "the answer is still held";
        standin.Signal(SIGKILL);  // ends the query, so that the test ends
    }
    EXPECT_EQ(held.get(), "3");
    EXPECT_TRUE(standin.WaitForMessage("held answers released"));
    // Released for good.
    EXPECT_EQ(QueryText(client, u"held 2"), "3");

    standin.Signal(SIGTERM);
    EXPECT_EQ(standin.Wait(), 0);
}

TEST(StandinProgram, BadRulesFileStopsItWithTheLine) {
    TempDir dir;
    const std::string rules = dir.Write("rules.txt", "exact int 1 | q\nexact int one | q\n");
    const ProcessResult r = RunProcess({STANDIN_PROGRAM, "--port", "0", "--rules", rules});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
    EXPECT_EQ(RunProcess({STANDIN_PROGRAM, "--rules", rules}).exit_code, 2);
}

TEST(StandinProgram, OffersEncryptionWithACertificateAndLogsHowEachLoginCame) {
    TempDir dir;
    const TlsCertificate certificate;
    const std::string log = dir / "log.jsonl";
    StandinProcess offered({"--port", "0", "--log", log, "--tls-cert", certificate.certificate_file(), "--tls-key",
                            certificate.key_file()});
    const std::uint16_t port = offered.WaitForPort();
    ASSERT_NE(port, 0);
    for (const std::string more : {";Encryption=require", "", ";Encryption=off"}) {
        OdbcClient client;
        EXPECT_TRUE(SQL_SUCCEEDED(client.Connect(port, "u", "p", "db", more))) << more;
    }
    offered.Signal(SIGTERM);
    EXPECT_EQ(offered.Wait(), 0);
    std::vector<std::string> encryption;
    std::istringstream in(ReadBytes(log));
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(R"({"event":"login")")) encryption.push_back(line.substr(line.rfind(',') + 1));
    EXPECT_EQ(encryption, (std::vector<std::string>{R"("encryption":"tls"})", R"("encryption":"login-only"})",
                                                    R"("encryption":"none"})"}));

    StandinProcess required({"--port", "0", "--tls-cert", certificate.certificate_file(), "--tls-key",
                             certificate.key_file(), "--encryption", "required"});
    const std::uint16_t required_port = required.WaitForPort();
    ASSERT_NE(required_port, 0);
    OdbcClient unable;
    EXPECT_EQ(unable.Connect(required_port, "u", "p", "db", ";Encryption=off"), SQL_ERROR);
    EXPECT_TRUE(required.WaitForMessage(
        "sqlserver-standin: connection 1 closed: refused: the client does not support encryption"));
    required.Signal(SIGTERM);
    EXPECT_EQ(required.Wait(), 0);
}

TEST(StandinProgram, UnusableEncryptionOptionsStopItAtOnce) {
    const TlsCertificate certificate;
    const std::string& cert = certificate.certificate_file();
    const std::string& key = certificate.key_file();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--tls-cert", cert},                                         // no key
             {"--encryption", "required"},                                 // no certificate
             {"--tls-cert", cert, "--tls-key", key, "--encryption", "sometimes"},
         }) {
        std::vector<std::string> argv = {STANDIN_PROGRAM, "--port", "0"};
        argv.insert(argv.end(), args.begin(), args.end());
        const ProcessResult r = RunProcess(argv);
        EXPECT_EQ(r.exit_code, 2) << args.back();
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << r.err;
    }
    // A key that is not the certificate's: said at start, not at the first client.
    const TlsCertificate other;
    const ProcessResult r = RunProcess({STANDIN_PROGRAM, "--port", "0", "--tls-cert", cert, "--tls-key",
                                        other.key_file()});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("cannot use the TLS key " + other.key_file() + ": "), std::string::npos) << r.err;
    const ProcessResult missing = RunProcess({STANDIN_PROGRAM, "--port", "0", "--tls-cert", "/nonexistent.pem",
                                              "--tls-key", key});
    EXPECT_EQ(missing.exit_code, 2);
    EXPECT_NE(missing.err.find("cannot use the TLS certificate /nonexistent.pem: "), std::string::npos)
        << missing.err;
}

} // namespace
} // namespace parktotals::testing
