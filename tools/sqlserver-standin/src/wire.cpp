#include "wire.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "tls.h"

namespace parktotals::standin {
namespace {

constexpr std::size_t kHeader = 8;
constexpr std::uint8_t kEndOfMessage = 0x01;
constexpr std::uint8_t kIgnore = 0x02;

} // namespace

std::size_t Stream::Read(char* out, std::size_t n) {
    if (tls_) return tls_->Read(out, n);
    for (;;) {
        const ssize_t got = recv(fd_, out, n, 0);
        if (got < 0 && errno == EINTR) continue;
        return got < 0 ? 0 : static_cast<std::size_t>(got);
    }
}

bool Stream::Write(std::string_view bytes) {
    if (tls_) return tls_->Write(bytes);
    return SendAll(fd_, bytes);
}

bool Stream::Buffered() const { return tls_ && tls_->Buffered(); }

bool SendAll(int fd, std::string_view bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t r = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        sent += static_cast<std::size_t>(r);
    }
    return true;
}

bool MessageReader::ReadExactly(char* out, std::size_t n) {
    while (n > 0) {
        const std::size_t got = stream_.Read(out, n);
        if (got == 0) return false;
        out += got;
        n -= got;
    }
    return true;
}

std::optional<Packet> MessageReader::ReadPacket() {
    char header[kHeader];
    if (!ReadExactly(header, kHeader)) return std::nullopt;
    Packet p;
    p.type = static_cast<std::uint8_t>(header[0]);
    p.status = static_cast<std::uint8_t>(header[1]);
    const std::size_t length = (static_cast<std::size_t>(static_cast<unsigned char>(header[2])) << 8) |
                               static_cast<unsigned char>(header[3]);
    if (length < kHeader) throw ProtocolError("packet length below header size");
    p.body.resize(length - kHeader);
    if (!ReadExactly(p.body.data(), p.body.size())) return std::nullopt;
    return p;
}

std::optional<Message> MessageReader::Read() {
    for (;;) {
        Message m;
        bool first = true;
        for (;;) {
            // A peer that goes away between packets is simply gone; one that
            // stops inside a message sent a broken one, which ends the same way.
            auto packet = ReadPacket();
            if (!packet) return std::nullopt;
            if (!first && packet->type != m.type) throw ProtocolError("packet type changed inside a message");
            if (m.payload.size() + packet->body.size() > kMaxMessage) throw ProtocolError("message too big");
            m.type = packet->type;
            first = false;
            m.payload += packet->body;
            if (packet->status & kEndOfMessage) {
                if (packet->status & kIgnore) break;  // the client took this message back
                return m;
            }
        }
    }
}

bool MessageReader::WaitReadable(std::chrono::milliseconds timeout) const {
    if (stream_.Buffered()) return true;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{stream_.fd(), POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000 * 60)));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return true;  // let the read find out what is wrong
    }
}

bool SendMessage(Stream& stream, std::uint8_t type, std::string_view payload, std::size_t packet_size,
                 std::uint16_t spid, bool complete) {
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
        if (!stream.Write(packet)) return false;
    } while (at < payload.size());
    return true;
}

} // namespace parktotals::standin
