#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The SQL Server Browser service tells clients which TCP port a named
// instance listens on (SSRP, [MC-SQLR]): a datagram to UDP port 1434, and
// one back. The program asks it itself, within the login time-out, because
// FreeTDS 1.3.17 asks 16 times a second apart for each address of the host
// whatever the time-out is.
namespace parktotals {

inline constexpr std::uint16_t kSqlBrowserPort = 1434;

// CLNT_UCAST_INST: "which port has this instance".
std::string InstanceRequest(std::string_view instance);

// The TCP port an SVR_RESP names for `instance` (its name compared without
// regard to case); nullopt when it is no such answer or names no TCP port.
std::optional<std::uint16_t> InstancePortInReply(std::string_view reply, std::string_view instance);

struct InstancePort {
    enum class Status {
        Found,       // port holds the instance's port
        NoAnswer,    // no answer naming the instance came in time
        UnknownHost, // the host name does not resolve: left to the driver to say
    };
    Status status = Status::NoAnswer;
    std::uint16_t port = 0;
};

// Asks the Browser on every address of `host`, again each second (a
// datagram can be lost), until an answer names the instance or `timeout`
// has passed. Name resolution itself is not bounded by `timeout`.
InstancePort LookUpInstancePort(const std::string& host, const std::string& instance,
                                std::chrono::milliseconds timeout);

// The platform's datagram sockets for one look-up (sql_browser_posix.cpp,
// sql_browser_win32.cpp): one per address of the host.
class BrowserChannel {
public:
    BrowserChannel();
    ~BrowserChannel();
    BrowserChannel(const BrowserChannel&) = delete;
    BrowserChannel& operator=(const BrowserChannel&) = delete;

    // False when the host does not resolve or no socket can be had.
    bool Open(const std::string& host, std::uint16_t port);
    void SendToAll(std::string_view datagram);
    // The next datagram to arrive on any socket within `wait`, from
    // whatever address (a cluster may answer from another one).
    std::optional<std::string> Receive(std::chrono::milliseconds wait);

private:
    struct Sockets;
    std::unique_ptr<Sockets> sockets_;
};

} // namespace parktotals
