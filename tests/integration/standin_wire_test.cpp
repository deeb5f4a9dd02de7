// Broken clients: each loses its own connection and nothing else.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "integration/standin_support.h"
#include "standin/standin.h"
#include "support/wait.h"

namespace parktotals::standin {
namespace {

using parktotals::testing::kGenerousTimeout;
using parktotals::testing::OdbcClient;

class RawClient {
public:
    explicit RawClient(std::uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawClient() { close(fd_); }

    bool connected() const { return connected_; }

    // Errors are expected once the server has closed its end.
    void Send(const std::string& bytes) {
        for (std::size_t at = 0; at < bytes.size();) {
            const ssize_t n = send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0) return;
            at += static_cast<std::size_t>(n);
        }
    }

    // True once the server has closed the connection, whatever it sent
    // first; false when it is still open after the generous time-out.
    bool ClosedByServer() {
        const auto deadline = std::chrono::steady_clock::now() + kGenerousTimeout;
        char buffer[4096];
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) return true;
        }
        return false;
    }

private:
    int fd_;
    bool connected_ = false;
};

std::string Packet(std::uint8_t type, const std::string& body, bool last = true) {
    const std::size_t length = body.size() + 8;
    return std::string{static_cast<char>(type), static_cast<char>(last ? 1 : 0), static_cast<char>(length >> 8),
                       static_cast<char>(length & 0xFF), 0, 0, 1, 0} +
           body;
}

std::string OversizedMessage() {
    const std::string chunk = Packet(1, std::string(65535 - 8, 'x'), false);
    std::string all;
    for (int k = 0; k < 70; ++k) all += chunk;  // about 4.6 MB, over the 4 MiB limit
    return all;
}

std::string Login7PointingPastItsEnd() {
    std::string body(94, '\0');
    body[0] = 94;
    body[4] = 4, body[7] = 0x74;  // TDS 7.4
    body[40] = static_cast<char>(0xF0), body[42] = 10;  // user name at offset 240
    return Packet(16, body);
}

TEST(StandinWire, MalformedInputClosesOnlyThatConnection) {
    Server server(Script{});
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"a header shorter than itself", std::string("\x12\x01\x00\x03\x00\x00\x00\x00", 8)},
        {"a batch before any login", Packet(1, std::string("s\0", 2))},
        {"a PRELOGIN without its terminator", Packet(18, std::string("\x00\x00\x05\x00\x01", 5))},
        {"a PRELOGIN option out of bounds", Packet(18, std::string("\x00\x01\x00\x00\x06\xff", 6))},
        {"a LOGIN7 too short", Packet(16, std::string(20, '\0'))},
        {"a LOGIN7 pointing past its end", Login7PointingPastItsEnd()},
        {"a LOGIN7 of TDS 4.2", Packet(16, std::string(94, '\0'))},
        {"packet types changing inside a message", Packet(18, "ab", false) + Packet(16, "cd")},
        {"a message over the size limit", OversizedMessage()},
    };
    for (const auto& [what, bytes] : cases) {
        RawClient raw(server.port());
        ASSERT_TRUE(raw.connected()) << what;
        raw.Send(bytes);
        EXPECT_TRUE(raw.ClosedByServer()) << what;
    }

    // A client that leaves halfway through a packet.
    {
        RawClient raw(server.port());
        raw.Send(std::string("\x12\x01\x00", 3));
    }

    OdbcClient client;
    ASSERT_TRUE(SQL_SUCCEEDED(client.Connect(server.port())));
    EXPECT_TRUE(SQL_SUCCEEDED(client.Exec(u"select 1")));
    EXPECT_EQ(server.logins().size(), 1u);
    EXPECT_EQ(server.batches().size(), 1u);
}

TEST(StandinWire, StopEndsConnectionsThatAreStillOpen) {
    auto server = std::make_unique<Server>(Script{});
    RawClient idle(server->port());
    OdbcClient client;
    ASSERT_TRUE(SQL_SUCCEEDED(client.Connect(server->port())));
    // The clients stay until Stop() has returned: it must not wait for them.
    const auto started = std::chrono::steady_clock::now();
    server->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, kGenerousTimeout);
    EXPECT_TRUE(idle.ClosedByServer());
    EXPECT_EQ(client.Exec(u"select 1"), SQL_ERROR);
    server.reset();  // a second stop, from the destructor, does no harm
}

} // namespace
} // namespace parktotals::standin
