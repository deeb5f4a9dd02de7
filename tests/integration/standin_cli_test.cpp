// The sqlserver-standin program, as scripts use it.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "integration/standin_support.h"

namespace parktotals::testing {
namespace {

// The program in the background.
class StandinProcess {
public:
    explicit StandinProcess(std::vector<std::string> args) : process_(WithProgram(std::move(args)), {}) {}

    // The port of "listening on 127.0.0.1:PORT"; 0 when the program ended without it.
    std::uint16_t WaitForPort() {
        for (int k = 0; k < 400; ++k, std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
            unsigned port = 0;
            if (std::sscanf(process_.Stdout().c_str(), "listening on 127.0.0.1:%u", &port) == 1)
                return static_cast<std::uint16_t>(port);
            if (!process_.Running()) break;
        }
        return 0;
    }

    void Signal(int signal) { process_.Signal(signal); }

    // The exit code, or -1 when it has not ended within a second.
    int Wait() { return process_.Wait(std::chrono::seconds(1)).value_or(-1); }

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
    std::string reloaded;
    for (int k = 0; k < 100 && reloaded != "2"; ++k, std::this_thread::sleep_for(std::chrono::milliseconds(5)))
        reloaded = QueryText(client, u"q");
    EXPECT_EQ(reloaded, "2");

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

TEST(StandinProgram, BadRulesFileStopsItWithTheLine) {
    TempDir dir;
    const std::string rules = dir.Write("rules.txt", "exact int 1 | q\nexact int one | q\n");
    const ProcessResult r = RunProcess({STANDIN_PROGRAM, "--port", "0", "--rules", rules});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
    EXPECT_EQ(RunProcess({STANDIN_PROGRAM, "--rules", rules}).exit_code, 2);
}

} // namespace
} // namespace parktotals::testing
