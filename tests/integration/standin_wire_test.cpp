// Broken clients: each loses its own connection and nothing else.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>

#include "integration/standin_support.h"
#include "standin/standin.h"
#include "support/wait.h"

namespace parktotals::standin {
namespace {

using parktotals::testing::EncryptionWith;
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

    // One packet's body, or "" when none comes within the generous time-out.
    std::string ReceivePacket() {
        std::string header = Receive(8);
        if (header.size() < 8) return "";
        const std::size_t length = (std::size_t{static_cast<unsigned char>(header[2])} << 8) |
                                   static_cast<unsigned char>(header[3]);
        return length > 8 ? Receive(length - 8) : "";
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
    std::string Receive(std::size_t n) {
        std::string bytes;
        const auto deadline = std::chrono::steady_clock::now() + kGenerousTimeout;
        while (bytes.size() < n && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buffer[4096];
            const ssize_t got = recv(fd_, buffer, std::min(sizeof buffer, n - bytes.size()), 0);
            if (got <= 0) break;
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
        return bytes;
    }

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

// A PRELOGIN with just the ENCRYPTION option set to `encryption`.
std::string PreloginAsking(std::uint8_t encryption) {
    return Packet(18, std::string("\x01\x00\x06\x00\x01\xff", 6) + static_cast<char>(encryption));
}

// The ENCRYPTION value of a PRELOGIN answer, or -1.
int EncryptionIn(const std::string& answer) {
    for (std::size_t at = 0; at + 5 <= answer.size() && answer[at] != '\xff'; at += 5) {
        const std::size_t offset = (std::size_t{static_cast<unsigned char>(answer[at + 1])} << 8) |
                                   static_cast<unsigned char>(answer[at + 2]);
        if (answer[at] == 1 && offset < answer.size()) return static_cast<unsigned char>(answer[offset]);
    }
    return -1;
}

// The answers of MS-TDS's table, for each thing a client can say:
// OFF 0, ON 1, NOT_SUP 2, REQ 3.
TEST(StandinWire, PreloginAnswersEncryptionAsSqlServerDoes) {
    const parktotals::testing::TlsCertificate certificate;
    Server plain(Script{});
    Server offered(Script{}, EncryptionWith(certificate));
    Server required(Script{}, EncryptionWith(certificate, Encryption::Mode::Required));
    struct Case {
        const Server& server;
        std::uint8_t asked;
        int answer;
    };
    const Case cases[] = {
        {plain, 0, 2},    {plain, 1, 2},    {plain, 2, 2},    {plain, 3, 2},
        {offered, 0, 0},  {offered, 1, 1},  {offered, 2, 2},  {offered, 3, 1},
        {required, 0, 3}, {required, 1, 1}, {required, 2, 3}, {required, 3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "port " << c.server.port() << ", asked " << int{c.asked});
        RawClient raw(c.server.port());
        raw.Send(PreloginAsking(c.asked));
        EXPECT_EQ(EncryptionIn(raw.ReceivePacket()), c.answer);
    }

    // Without a certificate the answer is what it always was, to the byte.
    RawClient raw(plain.port());
    raw.Send(PreloginAsking(1));
    EXPECT_EQ(raw.ReceivePacket(), std::string("\x00\x00\x1a\x00\x06\x01\x00\x20\x00\x01\x02\x00\x21\x00\x01"
                                               "\x03\x00\x22\x00\x00\x04\x00\x22\x00\x01\xff"
                                               "\x0b\x00\x1b\x59\x00\x00\x02\x00\x00",
                                               35));
}

TEST(StandinWire, BrokenTlsHandshakeClosesOnlyThatConnection) {
    const parktotals::testing::TlsCertificate certificate;
    std::mutex mutex;
    std::vector<std::string> errors;
    Observer observer;
    observer.error = [&](int, const std::string& reason) {
        std::lock_guard lock(mutex);
        errors.push_back(reason);
    };
    Server server(Script{}, EncryptionWith(certificate, Encryption::Mode::Required), 0, observer);
    const std::string client_hello_start("\x16\x03\x01\x00\x05\x01\x00\x00\x01\x00", 10);  // cut short inside
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"TLS garbage", Packet(18, "this is no TLS record")},
        {"a batch instead of the handshake", Packet(1, std::string("s\0", 2))},
        {"a LOGIN7 in plain text instead", Login7PointingPastItsEnd()},
        {"a ClientHello that makes no sense", Packet(18, client_hello_start)},
    };
    for (const auto& [what, bytes] : cases) {
        RawClient raw(server.port());
        raw.Send(PreloginAsking(1));
        EXPECT_EQ(EncryptionIn(raw.ReceivePacket()), 1) << what;
        raw.Send(bytes);
        EXPECT_TRUE(raw.ClosedByServer()) << what;
    }
    {
        RawClient raw(server.port());
        raw.Send(PreloginAsking(1));
        raw.ReceivePacket();
    }  // and gone in the middle of the handshake
    {
        RawClient raw(server.port());
        raw.Send(Login7PointingPastItsEnd());  // no PRELOGIN at all, so no encryption
        EXPECT_TRUE(raw.ClosedByServer());
    }

    OdbcClient client;
    ASSERT_TRUE(SQL_SUCCEEDED(client.Connect(server.port(), "u", "p", "db", ";Encryption=require")));
    EXPECT_TRUE(SQL_SUCCEEDED(client.Exec(u"select 1")));
    ASSERT_EQ(server.logins().size(), 1u);
    EXPECT_EQ(server.logins()[0].encryption, LoginEncryption::Tls);

    // Each failure said why; the server carried on.
    EXPECT_TRUE(parktotals::testing::WaitUntil([&] {
        std::lock_guard lock(mutex);
        return errors.size() >= cases.size() + 2;
    }));
    std::lock_guard lock(mutex);
    std::string all;
    for (const std::string& e : errors) all += e + "\n";
    EXPECT_NE(all.find("TLS handshake failed: "), std::string::npos) << all;
    EXPECT_NE(all.find("left during the TLS handshake"), std::string::npos) << all;
    EXPECT_NE(all.find("without PRELOGIN"), std::string::npos) << all;
}

} // namespace
} // namespace parktotals::standin
