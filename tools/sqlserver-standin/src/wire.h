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

struct Message {
    std::uint8_t type = 0;
    std::string payload;  // the packets' bodies joined, headers gone
};

// Reads whole messages off a connected socket.
class MessageReader {
public:
    // A message bigger than this closes the connection.
    static constexpr std::size_t kMaxMessage = 4 << 20;

    explicit MessageReader(int fd) : fd_(fd) {}

    // The next message, its packets joined until the one marked end-of-message.
    // Empty when the peer has gone; throws ProtocolError on garbage.
    std::optional<Message> Read();

    // True when something (data or end of stream) arrives within `timeout`.
    bool WaitReadable(std::chrono::milliseconds timeout) const;

private:
    bool ReadExactly(char* out, std::size_t n);
    int fd_;
};

// Sends `payload` as packets of at most `packet_size` bytes, headers
// included. `complete` false leaves the end-of-message mark off the last
// packet, for a message its sender never finishes. False when the socket is
// gone.
bool SendMessage(int fd, std::uint8_t type, std::string_view payload, std::size_t packet_size, std::uint16_t spid,
                 bool complete = true);

} // namespace parktotals::standin
