#include "wire.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace parktotals::standin {
namespace {

constexpr std::size_t kHeader = 8;
constexpr std::uint8_t kEndOfMessage = 0x01;
constexpr std::uint8_t kIgnore = 0x02;

} // namespace

bool MessageReader::ReadExactly(char* out, std::size_t n) {
    while (n > 0) {
        const ssize_t got = recv(fd_, out, n, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

std::optional<Message> MessageReader::Read() {
    for (;;) {
        Message m;
        bool first = true;
        for (;;) {
            char header[kHeader];
            // A peer that goes away between packets is simply gone; one that
            // stops inside a message sent a broken one, which ends the same way.
            if (!ReadExactly(header, kHeader)) return std::nullopt;
            const auto type = static_cast<std::uint8_t>(header[0]);
            const auto status = static_cast<std::uint8_t>(header[1]);
            const std::size_t length =
                (static_cast<std::size_t>(static_cast<unsigned char>(header[2])) << 8) |
                static_cast<unsigned char>(header[3]);
            if (length < kHeader) throw ProtocolError("packet length below header size");
            if (!first && type != m.type) throw ProtocolError("packet type changed inside a message");
            if (m.payload.size() + length - kHeader > kMaxMessage) throw ProtocolError("message too big");
            m.type = type;
            first = false;
            const std::size_t at = m.payload.size();
            m.payload.resize(at + length - kHeader);
            if (!ReadExactly(m.payload.data() + at, length - kHeader)) return std::nullopt;
            if (status & kEndOfMessage) {
                if (status & kIgnore) break;  // the client took this message back
                return m;
            }
        }
    }
}

bool MessageReader::WaitReadable(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000 * 60)));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return true;  // let the read find out what is wrong
    }
}

bool SendMessage(int fd, std::uint8_t type, std::string_view payload, std::size_t packet_size, std::uint16_t spid,
                 bool complete) {
    const std::size_t body = packet_size - kHeader;
    std::uint8_t packet_id = 1;
    std::string packet;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(body, payload.size() - at);
        const bool last = complete && at + n == payload.size();
        const std::size_t length = n + kHeader;
        packet.assign({static_cast<char>(type), static_cast<char>(last ? kEndOfMessage : 0),
                       static_cast<char>(length >> 8), static_cast<char>(length & 0xFF),
                       static_cast<char>(spid >> 8), static_cast<char>(spid & 0xFF),
                       static_cast<char>(packet_id++), 0});
        packet.append(payload.substr(at, n));
        at += n;
        for (std::size_t sent = 0; sent < packet.size();) {
            const ssize_t r = send(fd, packet.data() + sent, packet.size() - sent, MSG_NOSIGNAL);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            sent += static_cast<std::size_t>(r);
        }
    } while (at < payload.size());
    return true;
}

} // namespace parktotals::standin
