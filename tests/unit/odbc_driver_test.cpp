#include "db/database.h"
#include "support/network.h"
#include "support/wait.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

// Runs the real unixODBC + FreeTDS pair, with nothing but sockets of its own
// on the other side.
namespace parktotals {
namespace {

int ListeningSocket(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        ADD_FAILURE() << "cannot listen on 127.0.0.1";
    port = ntohs(address.sin_port);
    return fd;
}

// Takes every connection and hangs up at once, counting them.
class HangUpListener {
public:
    HangUpListener() : fd_(ListeningSocket(port_)), thread_([this] { Serve(); }) {}
    ~HangUpListener() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    std::uint16_t port() const { return port_; }
    int accepted() const { return accepted_; }

private:
    void Serve() {
        while (!stop_) {
            pollfd waiting{fd_, POLLIN, 0};
            if (::poll(&waiting, 1, 50) <= 0) continue;
            const int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0) continue;
            ++accepted_;
            ::close(client);
        }
    }

    std::uint16_t port_ = 0;
    int fd_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

std::string LocalString(std::uint16_t port, const std::string& more = "") {
    return "Provider=SQLOLEDB.1;Data Source=127.0.0.1," + std::to_string(port) + ";User ID=u;Password=secret" + more;
}

TEST(OdbcDriverTest, ClosedPortGivesTheDriversOwnText) {
    const testing::ClosedPort closed;
    Connection connection;
    // A refused connection fails at once: with a login time-out far beyond
    // the generous bound below, a driver that waited it out is caught.
    connection.SetConnectionString(LocalString(closed.port(), ";Connect Timeout=120"));

    const auto start = std::chrono::steady_clock::now();
    try {
        connection.Open();
        FAIL() << "connected to a closed port";
    } catch (const DatabaseError& error) {
        EXPECT_STREQ(error.what(), "Unable to connect: Adaptive Server is unavailable or does not exist");
        EXPECT_EQ(error.SqlState(), "08S01");
        EXPECT_EQ(error.NativeCode(), 20009);
        EXPECT_EQ(std::string(error.what()).find("secret"), std::string::npos);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, testing::kGenerousTimeout);
    EXPECT_FALSE(connection.IsOpen());

    Query query(connection);
    EXPECT_THROW(query.Scalar("SELECT 1"), DatabaseError);
    EXPECT_FALSE(connection.IsOpen());
}

TEST(OdbcDriverTest, EachStatementOnAClosedConnectionConnectsOnce) {
    HangUpListener listener;
    Connection connection;
    connection.SetConnectionString(LocalString(listener.port()));

    // One TCP connection per login: FreeTDS must not go on to try TDS 5.0,
    // whose login never times out.
    EXPECT_THROW(connection.Open(), DatabaseError);
    EXPECT_EQ(listener.accepted(), 1);

    Query query(connection);
    EXPECT_THROW(query.Scalar("SELECT 1"), DatabaseError);
    EXPECT_EQ(listener.accepted(), 2);
    EXPECT_THROW(query.Execute("UPDATE t SET a = 1"), DatabaseError);
    EXPECT_EQ(listener.accepted(), 3);
    EXPECT_FALSE(connection.IsOpen());
}

} // namespace
} // namespace parktotals
