#include "db/sql_browser.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace parktotals {

struct BrowserChannel::Sockets {
    struct Peer {
        int fd;
        sockaddr_storage address;
        socklen_t length;
    };
    std::vector<Peer> peers;

    ~Sockets() {
        for (const Peer& peer : peers) ::close(peer.fd);
    }
};

BrowserChannel::BrowserChannel() : sockets_(std::make_unique<Sockets>()) {}
BrowserChannel::~BrowserChannel() = default;

bool BrowserChannel::Open(const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
    for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
        // Not connected: a cluster may answer from another address.
        const int fd = ::socket(at->ai_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) continue;
        Sockets::Peer peer{fd, {}, static_cast<socklen_t>(at->ai_addrlen)};
        std::copy_n(reinterpret_cast<const char*>(at->ai_addr), at->ai_addrlen, reinterpret_cast<char*>(&peer.address));
        sockets_->peers.push_back(peer);
    }
    ::freeaddrinfo(found);
    return !sockets_->peers.empty();
}

void BrowserChannel::SendToAll(std::string_view datagram) {
    // A send that fails (no route) leaves that address silent, as a lost
    // datagram would.
    for (const Sockets::Peer& peer : sockets_->peers)
        ::sendto(peer.fd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&peer.address), peer.length);
}

std::optional<std::string> BrowserChannel::Receive(std::chrono::milliseconds wait) {
    std::vector<pollfd> waits;
    for (const Sockets::Peer& peer : sockets_->peers) waits.push_back({peer.fd, POLLIN, 0});
    const int ready = ::poll(waits.data(), waits.size(), static_cast<int>(wait.count()));
    if (ready <= 0) return std::nullopt;
    for (const pollfd& w : waits) {
        if ((w.revents & POLLIN) == 0) continue;
        char buffer[4096];
        const ssize_t n = ::recv(w.fd, buffer, sizeof buffer, 0);
        if (n > 0) return std::string(buffer, static_cast<std::size_t>(n));
    }
    // An ICMP error, or a datagram gone: nothing to read this time.
    return std::nullopt;
}

} // namespace parktotals
