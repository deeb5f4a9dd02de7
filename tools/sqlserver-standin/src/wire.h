#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace parktotals::standin {

// Packet types, from the 8-byte header every TDS packet starts with.
enum PacketType : std::uint8_t {
    kSqlBatch = 1,
    kRpc = 3,
    kReply = 4,
    kAttention = 6,
    kTransaction = 14,
    kLogin7 = 16,
    kPrelogin = 18,
};

// The client sent something no client should; the connection is closed.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TlsLayer;

// The bytes of one connection: the socket itself, or, once a TLS layer is
// put on it, TLS over the socket. The packet code reads and writes through
// it and never needs to know which.
class Stream {
public:
    explicit Stream(int fd) : fd_(fd) {}

    int fd() const { return fd_; }

    // Up to `n` bytes; 0 when the peer has gone. Throws ProtocolError when
    // TLS data does not decrypt.
    std::size_t Read(char* out, std::size_t n);
    // False when the socket is gone.
    bool Write(std::string_view bytes);
    // True when bytes already taken off the socket wait to be read, so that
    // polling the socket alone would miss them.
    bool Buffered() const;

    // From now on, reads and writes go through `tls` (not owned); nullptr
    // goes back to the plain socket.
    void SetTls(TlsLayer* tls) { tls_ = tls; }

private:
    int fd_;
    TlsLayer* tls_ = nullptr;
};

// Writes all of `bytes` to the socket itself; false when it is gone.
bool SendAll(int fd, std::string_view bytes);

struct Message {
    std::uint8_t type = 0;
    std::string payload;  // the packets' bodies joined, headers gone
};

struct Packet {
    std::uint8_t type = 0;
    std::uint8_t status = 0;
    std::string body;
};

// Reads whole messages off a connection.
class MessageReader {
public:
    // A message bigger than this closes the connection.
    static constexpr std::size_t kMaxMessage = 4 << 20;

    explicit MessageReader(Stream& stream) : stream_(stream) {}

    // The next message, its packets joined until the one marked end-of-message.
    // Empty when the peer has gone; throws ProtocolError on garbage.
    std::optional<Message> Read();

    // One packet, whatever its end-of-message mark says. Empty when the
    // peer has gone.
    std::optional<Packet> ReadPacket();

    // True when something (data or end of stream) arrives within `timeout`.
    bool WaitReadable(std::chrono::milliseconds timeout) const;

private:
    bool ReadExactly(char* out, std::size_t n);
    Stream& stream_;
};

// Sends `payload` as packets of at most `packet_size` bytes, headers
// included. `complete` false leaves the end-of-message mark off the last
// packet, for a message its sender never finishes. False when the socket is
// gone.
bool SendMessage(Stream& stream, std::uint8_t type, std::string_view payload, std::size_t packet_size,
                 std::uint16_t spid, bool complete = true);

} // namespace parktotals::standin
