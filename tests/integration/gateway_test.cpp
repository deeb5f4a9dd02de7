// The real gateway over ODBC (unixODBC + FreeTDS) against in-process
// stand-ins for the local and the central SQL Server.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <iterator>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "db/database_error.h"
#include "integration/gateway_support.h"
#include "support/temp_dir.h"
#include "totals/figures.h"

namespace parktotals {
namespace {

using standin::Answer;
using standin::Rule;
using standin::Server;
using standin::SqlType;
using standin::Value;
using testing::CentralString;
using testing::FormComponents;
using testing::LocalConnectionString;
using testing::Rules;
using testing::Texts;

constexpr const char* kUpdate = "update T_kextotal set day_count_qinfei='3'";
constexpr const char* kNextUpdate = "update T_kextotal set day_count_qinfei='4'";

// The central stand-in is declared before the components, so that they
// disconnect while it still listens.
class GatewayTest : public ::testing::Test {
protected:
    // A local stand-in the local connection is pointed at, not yet opened.
    void PointLocalAt(const Server& local) { form.Conn.SetConnectionString(LocalConnectionString(local.port())); }

    Server central{Rules({Rule::Exact(std::string(kUpdate) + "\r\n", Answer::RowCount(1)),
                          Rule::Exact(std::string(kNextUpdate) + "\r\n", Answer::RowCount(1))})};
    FormComponents form{CentralString(central.port())};
    testing::TempDir dir;
};

// FreeTDS describes money as SQL_DECIMAL (19,4) and hands it out as
// "12.5000"; the gateway drops the trailing zeros, so the figure goes out as
// "12.5".
TEST_F(GatewayTest, LocalQueryRendersEachResultTypeAsText) {
    Server local(Rules({
        Rule::Exact("int\r\n", Answer::Scalar(Value::Int(7))),
        Rule::Exact("money\r\n", Answer::Scalar(Value::Money("12.5"))),
        Rule::Exact("round money\r\n", Answer::Scalar(Value::Money("100"))),
        Rule::Exact("negative money\r\n", Answer::Scalar(Value::Money("-3.25"))),
        Rule::Exact("decimal\r\n", Answer::Scalar(Value::Decimal(38, 6, "1.2345678"))),
        Rule::Exact("float\r\n", Answer::Scalar(Value::Float(0.00001))),
        Rule::Exact("bigint\r\n", Answer::Scalar(Value::BigInt(9007199254740993))),
        Rule::Exact("nvarchar\r\n", Answer::Scalar(Value::NVarChar("停车场 'A' 1.50"))),
        Rule::Exact("null\r\n", Answer::Scalar(Value::Null(SqlType::Money))),
    }));
    PointLocalAt(local);
    const auto text_of = [&](const std::string& query) {
        std::string value = "unset";
        return form.gateway.QueryLocalScalar(query, value) ? value : "<failed>";
    };
    EXPECT_EQ(text_of("int"), "7");
    EXPECT_EQ(text_of("money"), "12.5");
    EXPECT_EQ(text_of("round money"), "100");
    EXPECT_EQ(text_of("negative money"), "-3.25");
    EXPECT_EQ(text_of("decimal"), "1.2346");
    EXPECT_EQ(text_of("float"), "1E-5");
    EXPECT_EQ(text_of("bigint"), "9007199254740993");
    EXPECT_EQ(text_of("nvarchar"), "停车场 'A' 1.50");
    EXPECT_EQ(text_of("null"), "");
}

TEST_F(GatewayTest, ChineseFigureQueriesReachTheServerExactlyAsWritten) {
    const std::string wechat = std::string(kFigures[2].query) + "\r\n";
    const std::string released = std::string(kFigures[3].query) + "\r\n";
    Server local(Rules({Rule::Exact(wechat, Answer::Scalar(Value::Money("88"))),
                        Rule::Exact(released, Answer::Scalar(Value::Money("66")))}));
    PointLocalAt(local);
    std::string value;
    ASSERT_TRUE(form.gateway.QueryLocalScalar(std::string(kFigures[2].query), value));
    EXPECT_EQ(value, "88");
    ASSERT_TRUE(form.gateway.QueryLocalScalar(std::string(kFigures[3].query), value));
    EXPECT_EQ(value, "66");
    EXPECT_EQ(Texts(local.batches()), (std::vector<std::string>{wechat, released}));
}

TEST_F(GatewayTest, LocalLoginComesFromRegInfo) {
    Server local(Rules({}));
    form.gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", LocalConnectionString(local.port()) + "\r\n"));
    EXPECT_TRUE(form.Conn.IsOpen());
    const auto logins = local.logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0].user, "sa");
    EXPECT_EQ(logins[0].password, "pw");
    EXPECT_EQ(logins[0].database, "park");
    EXPECT_TRUE(logins[0].accepted);
}

TEST_F(GatewayTest, CentralLoginComesFromTheBuiltInString) {
    form.gateway.OpenCentral();
    EXPECT_TRUE(form.gateway.IsCentralOpen());
    const auto logins = central.logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0].user, "parktotals");
    EXPECT_EQ(logins[0].password, "Cen;tral'Pass-1");
    EXPECT_EQ(logins[0].database, "parktotals_db");
    form.gateway.CloseCentral();
    EXPECT_FALSE(form.gateway.IsCentralOpen());
}

// A central session that cannot ask for row counts is not used: updates
// would come back without them.
TEST_F(GatewayTest, CentralSessionThatCannotAskForRowCountsDoesNotOpen) {
    central.SetScript(Rules({Rule::Exact(testing::kSetNoCountOff, Answer::Error(50000, "Not here."))}));
    try {
        form.gateway.OpenCentral();
        FAIL() << "opened";
    } catch (const DatabaseError& error) {
        EXPECT_NE(std::string(error.what()).find("SET NOCOUNT OFF failed: Not here"), std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(form.gateway.IsCentralOpen());
    EXPECT_EQ(Texts(central.batches()), std::vector<std::string>{testing::kSetNoCountOff});
}

TEST_F(GatewayTest, LocalQueryOpensAClosedConnectionAndKeepsItOpen) {
    Server local(Rules({Rule::Exact("select 1\r\n", Answer::Scalar(Value::Int(1)))}));
    PointLocalAt(local);
    std::string value;
    EXPECT_TRUE(form.gateway.QueryLocalScalar("select 1", value));
    EXPECT_TRUE(form.Conn.IsOpen());
    EXPECT_TRUE(form.gateway.QueryLocalScalar("select 1", value));
    EXPECT_EQ(local.logins().size(), 1u);
    EXPECT_EQ(local.batches().size(), 2u);
}

// A refused login would be refused again, and each try counts towards a
// lockout: the first query does not try it. A server that did not answer
// in time may answer now: the first query tries again.
TEST_F(GatewayTest, LocalLoginRefusedAtSetUpIsNotTriedAgainButATimedOutOneIs) {
    standin::Script refusing = Rules({Rule::Exact("select 1\r\n", Answer::Scalar(Value::Int(1)))});
    refusing.accounts = {{"sa", "another password"}};
    Server local(refusing);
    form.gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", LocalConnectionString(local.port())));
    EXPECT_FALSE(form.Conn.IsOpen());

    refusing.accounts.clear();
    local.SetScript(refusing);
    std::string value = "before";
    const QueryResult refused = form.gateway.QueryLocalScalar("select 1", value);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.failure()->message,
              "Not tried again after the server refused the login: Login failed for user 'sa'");
    EXPECT_EQ(refused.failure()->native_code, 18456);
    EXPECT_EQ(value, "before");
    ASSERT_EQ(local.logins().size(), 1u);
    EXPECT_FALSE(local.logins()[0].accepted);

    standin::Script silent = refusing;
    silent.login_delay = standin::Script::kNeverAnswer;
    local.SetScript(silent);
    const LocalSetUp timed_out = form.gateway.SetUpLocalConnection(
        dir.Write("RegInfo.INI", LocalConnectionString(local.port()) + ";Connect Timeout=2"));
    EXPECT_EQ(timed_out.status, LocalSetUp::Status::Unreachable);
    local.SetScript(refusing);
    EXPECT_TRUE(form.gateway.QueryLocalScalar("select 1", value));
    EXPECT_EQ(value, "1");
    const auto logins = local.logins();
    ASSERT_EQ(logins.size(), 2u);
    EXPECT_TRUE(logins[1].accepted);
}

// ".", "(local)", no Data Source and a bare address reach the default
// instance on port 1433, as the Windows driver does. The test needs that
// port free on 127.0.0.1; it says so and skips when something holds it.
TEST(DefaultPortTest, ServersWithoutAPortReachPort1433) {
    std::unique_ptr<Server> local;
    try {
        local = std::make_unique<Server>(Rules({Rule::Exact("select 1\r\n", Answer::Scalar(Value::Int(1)))}), 1433);
    } catch (const std::system_error& error) {
        GTEST_SKIP() << "needs port 1433 on 127.0.0.1 free: " << error.what();
    }
    testing::TempDir dir;
    Server central(Rules({}));
    const std::string servers[] = {"Data Source=.;", "Data Source=(local);", "", "Data Source=127.0.0.1;",
                                   "Server=tcp:127.0.0.1;"};
    for (const std::string& server : servers) {
        FormComponents form(CentralString(central.port()));
        const LocalSetUp set_up = form.gateway.SetUpLocalConnection(
            dir.Write("RegInfo.INI", "Provider=SQLOLEDB.1;" + server + "Initial Catalog=park;User ID=sa;Password=pw"));
        EXPECT_EQ(set_up.status, LocalSetUp::Status::Open) << server << ": " << set_up.failure.message;
        std::string value;
        EXPECT_TRUE(form.gateway.QueryLocalScalar("select 1", value)) << server;
        EXPECT_EQ(value, "1") << server;
    }
    EXPECT_EQ(local->logins().size(), std::size(servers));
}

// A SQL Browser on UDP 1434 of 127.0.0.1 that answers each instance
// request (CLNT_UCAST_INST) with two instances, SQLEXPRESS on `port`, and
// keeps the names asked for.
class SqlBrowser {
public:
    explicit SqlBrowser(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(1434);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            const int error = errno;
            if (fd_ >= 0) ::close(fd_);
            throw std::system_error(error, std::generic_category(), "bind to 127.0.0.1:1434/udp");
        }
        thread_ = std::thread([this, port] { Serve(port); });
    }
    ~SqlBrowser() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }

    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void Serve(std::uint16_t port) {
        while (!stop_) {
            pollfd wait{fd_, POLLIN, 0};
            // A short poll only so that the destructor is heard.
            if (::poll(&wait, 1, 100) <= 0) continue;
            char buffer[512];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (n <= 0) continue;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.emplace_back(buffer, static_cast<std::size_t>(n));
            }
            const std::string text = "ServerName;PARK;InstanceName;OTHER;IsClustered;No;Version;15.0.2000.5;tcp;1;;"
                                     "ServerName;PARK;InstanceName;SQLEXPRESS;IsClustered;No;Version;15.0.2000.5;tcp;" +
                                     std::to_string(port) + ";;";
            std::string reply = {'\x05', static_cast<char>(text.size() & 0xFF), static_cast<char>(text.size() >> 8)};
            reply += text;
            ::sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
        }
    }

    int fd_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// host\INSTANCE: FreeTDS asks the SQL Browser for the instance's port.
TEST(DefaultPortTest, NamedInstanceIsFoundThroughTheSqlBrowserOrTheMessageSaysSo) {
    Server local(Rules({Rule::Exact("select 1\r\n", Answer::Scalar(Value::Int(1)))}));
    std::unique_ptr<SqlBrowser> browser;
    try {
        browser = std::make_unique<SqlBrowser>(local.port());
    } catch (const std::system_error& error) {
        GTEST_SKIP() << "needs UDP port 1434 on 127.0.0.1 free: " << error.what();
    }
    testing::TempDir dir;
    Server central(Rules({}));
    FormComponents form(CentralString(central.port()));
    const LocalSetUp set_up = form.gateway.SetUpLocalConnection(dir.Write(
        "RegInfo.INI", "Provider=SQLOLEDB.1;Data Source=.\\SQLEXPRESS;Initial Catalog=park;User ID=sa;Password=pw"));
    EXPECT_EQ(set_up.status, LocalSetUp::Status::Open) << set_up.failure.message;
    std::string value;
    EXPECT_TRUE(form.gateway.QueryLocalScalar("select 1", value));
    EXPECT_EQ(value, "1");
    EXPECT_EQ(browser->Requests(), std::vector<std::string>{std::string("\x04SQLEXPRESS", 11) + '\0'});
    EXPECT_EQ(local.logins().size(), 1u);

    // The Browser names a port where nothing listens: the message points at
    // the Browser and the instance, which the driver's own words do not.
    // (In this test, not a second one: two cannot share UDP port 1434.)
    browser.reset();
    const testing::ClosedPort closed;
    browser = std::make_unique<SqlBrowser>(closed.port());
    FormComponents other(CentralString(central.port()));
    const LocalSetUp unanswered = other.gateway.SetUpLocalConnection(dir.Write(
        "RegInfo.INI", "Provider=SQLOLEDB.1;Data Source=127.0.0.1\\SQLEXPRESS;Initial Catalog=park;User ID=sa;"
                       "Password=Zq7-Secret"));
    EXPECT_EQ(unanswered.status, LocalSetUp::Status::Unreachable) << unanswered.failure.message;
    EXPECT_NE(unanswered.failure.message.find("(the port of the instance 127.0.0.1\\SQLEXPRESS comes from the SQL "
                                              "Server Browser service on 127.0.0.1, UDP port 1434"),
              std::string::npos)
        << unanswered.failure.message;
    EXPECT_EQ(unanswered.failure.message.find("Zq7"), std::string::npos);
    EXPECT_EQ(browser->Requests().size(), 1u);
}

// No Browser answering ends the look-up with the login time-out; FreeTDS
// alone asks 16 times a second apart for each address, whatever it is.
TEST(DefaultPortTest, NamedInstanceNothingAnswersForEndsWithTheLoginTimeOut) {
    testing::TempDir dir;
    Server central(Rules({}));
    FormComponents form(CentralString(central.port()));
    const auto started = std::chrono::steady_clock::now();
    // 127.0.0.2 is this machine too, but not where the test Browser above listens.
    const LocalSetUp set_up = form.gateway.SetUpLocalConnection(
        dir.Write("RegInfo.INI", "Provider=SQLOLEDB.1;Data Source=127.0.0.2\\NOBROWSER;Initial Catalog=park;User ID=sa;"
                                 "Password=pw;Connect Timeout=2"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(12));
    EXPECT_EQ(set_up.status, LocalSetUp::Status::Unreachable) << set_up.failure.message;
    EXPECT_NE(set_up.failure.message.find("SQL Server Browser service on 127.0.0.2"), std::string::npos)
        << set_up.failure.message;
}

TEST_F(GatewayTest, LocalServerErrorKeepsTheValueAndTheConnection) {
    Server local(Rules({Rule::Exact("select bad\r\n", Answer::Error(208, "Invalid object name 'T_noinmoeny'.")),
                        Rule::Exact("select 1\r\n", Answer::Scalar(Value::Int(1)))}));
    PointLocalAt(local);
    std::string value = "before";
    EXPECT_FALSE(form.gateway.QueryLocalScalar("select bad", value));
    EXPECT_EQ(value, "before");
    EXPECT_TRUE(form.gateway.QueryLocalScalar("select 1", value));
    EXPECT_EQ(local.logins().size(), 1u);
}

TEST_F(GatewayTest, LocalQueryWithoutAResultFails) {
    Server local(Rules({Rule::Exact("update x\r\n", Answer::RowCount(2))}));
    PointLocalAt(local);
    std::string value = "before";
    EXPECT_FALSE(form.gateway.QueryLocalScalar("update x", value));
    EXPECT_EQ(value, "before");
}

TEST_F(GatewayTest, CentralServerErrorPropagatesWithTheServersMessage) {
    central.SetScript(Rules({Rule::Exact(std::string(kUpdate) + "\r\n",
                                         Answer::Error(547, "The UPDATE statement conflicted with the CHECK "
                                                            "constraint \"CK_total\".")),
                             Rule::Exact(std::string(kNextUpdate) + "\r\n", Answer::RowCount(1))}));
    form.gateway.OpenCentral();
    try {
        form.gateway.ExecCentral(kUpdate);
        FAIL() << "the refused update passed";
    } catch (const DatabaseError& error) {
        EXPECT_STREQ(error.what(), "The UPDATE statement conflicted with the CHECK constraint \"CK_total\"");
        EXPECT_EQ(error.NativeCode(), 547);
        EXPECT_FALSE(error.LinkLost());
    }
    // A refused statement costs nothing else.
    EXPECT_TRUE(form.gateway.IsCentralOpen());
    EXPECT_NO_THROW(form.gateway.ExecCentral(kNextUpdate));
    EXPECT_EQ(central.logins().size(), 1u);
}

TEST_F(GatewayTest, UpdateThatTouchesNoRowSucceeds) {
    central.SetScript(Rules({Rule::Exact(std::string(kUpdate) + "\r\n", Answer::RowCount(0)),
                             Rule::Exact(std::string(kNextUpdate) + "\r\n", Answer::Ok())}));
    form.gateway.OpenCentral();
    EXPECT_NO_THROW(form.gateway.ExecCentral(kUpdate));
    EXPECT_NO_THROW(form.gateway.ExecCentral(kNextUpdate)); // SQL_NO_DATA, as with NOCOUNT
}

TEST_F(GatewayTest, UnreachableCentralServerGivesAClearErrorWithoutThePassword) {
    const testing::ClosedPort closed;
    FormComponents unreachable(CentralString(closed.port()));
    try {
        unreachable.gateway.OpenCentral();
        FAIL() << "opened a closed port";
    } catch (const DatabaseError& error) {
        // The reason is the driver's own text (db_driver_tests looks at it);
        // the gateway's part is to pass it on without the driver's [...]
        // tags and without the password.
        const std::string message = error.what();
        EXPECT_FALSE(message.empty());
        EXPECT_NE(message.front(), '[') << message;
        EXPECT_EQ(message.find("[FreeTDS]"), std::string::npos) << message;
        EXPECT_EQ(message.find("tral'Pass"), std::string::npos) << message;
    }
    EXPECT_FALSE(unreachable.gateway.IsCentralOpen());
    EXPECT_NO_THROW(unreachable.gateway.CloseCentral());
}

// FreeTDS reports a link that dies mid-statement as 01000 "Unexpected EOF
// from the server" (20017), not as a link failure; the gateway has to notice
// anyway, or every later statement would fail on the dead link.
TEST_F(GatewayTest, UpdateWhoseConnectionDropsFailsAndTheNextOneReconnects) {
    central.SetScript(Rules({Rule::Exact(std::string(kUpdate) + "\r\n", Answer::Drop()),
                             Rule::Exact(std::string(kNextUpdate) + "\r\n", Answer::RowCount(1))}));
    form.gateway.OpenCentral();
    EXPECT_THROW(form.gateway.ExecCentral(kUpdate), DatabaseError);
    EXPECT_FALSE(form.gateway.IsCentralOpen());
    EXPECT_NO_THROW(form.gateway.ExecCentral(kNextUpdate));
    EXPECT_TRUE(form.gateway.IsCentralOpen());
    const auto logins = central.logins();
    ASSERT_EQ(logins.size(), 2u);
    EXPECT_TRUE(logins[1].accepted);
    EXPECT_EQ(central.batches().back().connection, logins[1].connection);
    EXPECT_NO_THROW(form.gateway.CloseCentral());
}

TEST_F(GatewayTest, LocalQueryWhoseConnectionDropsFailsAndTheNextOneReconnects) {
    Server local(Rules({Rule::Exact("select dropped\r\n", Answer::Drop()),
                        Rule::Exact("select 1\r\n", Answer::Scalar(Value::Int(1)))}));
    PointLocalAt(local);
    std::string value = "before";
    ASSERT_TRUE(form.gateway.QueryLocalScalar("select 1", value));
    value = "before";
    EXPECT_FALSE(form.gateway.QueryLocalScalar("select dropped", value));
    EXPECT_EQ(value, "before");
    EXPECT_TRUE(form.gateway.QueryLocalScalar("select 1", value));
    EXPECT_EQ(value, "1");
    EXPECT_EQ(local.logins().size(), 2u);
}

TEST_F(GatewayTest, ConnectionsCutBetweenStatementsCostOnlyTheNextStatement) {
    Server local(Rules({Rule::Exact("select 1\r\n", Answer::Scalar(Value::Int(1)))}));
    PointLocalAt(local);
    std::string value;
    ASSERT_TRUE(form.gateway.QueryLocalScalar("select 1", value));
    form.gateway.OpenCentral();
    form.gateway.ExecCentral(kUpdate);

    local.DropConnections();
    central.DropConnections();
    EXPECT_FALSE(form.gateway.QueryLocalScalar("select 1", value));
    EXPECT_THROW(form.gateway.ExecCentral(kNextUpdate), DatabaseError);

    EXPECT_TRUE(form.gateway.QueryLocalScalar("select 1", value));
    EXPECT_NO_THROW(form.gateway.ExecCentral(kNextUpdate));
    EXPECT_EQ(local.logins().size(), 2u);
    EXPECT_EQ(central.logins().size(), 2u);
}

TEST_F(GatewayTest, ClosingAfterTheServerCutTheConnectionDoesNotThrow) {
    form.gateway.OpenCentral();
    form.gateway.ExecCentral(kUpdate);
    central.DropConnections();
    EXPECT_NO_THROW(form.gateway.CloseCentral());
    EXPECT_FALSE(form.gateway.IsCentralOpen());
}

} // namespace
} // namespace parktotals
