#include "db/sql_browser.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <string>
#include <vector>

namespace parktotals {

struct BrowserChannel::Sockets {
    struct Peer {
        SOCKET socket;
        sockaddr_storage address;
        int length;
    };
    bool started = false;
    std::vector<Peer> peers;

    ~Sockets() {
        for (const Peer& peer : peers) ::closesocket(peer.socket);
        if (started) ::WSACleanup();
    }
};

BrowserChannel::BrowserChannel() : sockets_(std::make_unique<Sockets>()) {}
BrowserChannel::~BrowserChannel() = default;

bool BrowserChannel::Open(const std::string& host, std::uint16_t port) {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    sockets_->started = true;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    // The narrow call takes the host in the ANSI code page; host names are
    // ASCII in practice.
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
    for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
        // Not connected: a cluster may answer from another address.
        const SOCKET socket = ::socket(at->ai_family, SOCK_DGRAM, 0);
        if (socket == INVALID_SOCKET) continue;
        u_long nonblocking = 1;
        ::ioctlsocket(socket, FIONBIO, &nonblocking);
        Sockets::Peer peer{socket, {}, static_cast<int>(at->ai_addrlen)};
        std::copy_n(reinterpret_cast<const char*>(at->ai_addr), at->ai_addrlen, reinterpret_cast<char*>(&peer.address));
        sockets_->peers.push_back(peer);
    }
    ::freeaddrinfo(found);
    return !sockets_->peers.empty();
}

void BrowserChannel::SendToAll(std::string_view datagram) {
    for (const Sockets::Peer& peer : sockets_->peers)
        ::sendto(peer.socket, datagram.data(), static_cast<int>(datagram.size()), 0,
                 reinterpret_cast<const sockaddr*>(&peer.address), peer.length);
}

std::optional<std::string> BrowserChannel::Receive(std::chrono::milliseconds wait) {
    fd_set readable;
    FD_ZERO(&readable);
    for (const Sockets::Peer& peer : sockets_->peers) FD_SET(peer.socket, &readable);
    timeval limit{static_cast<long>(wait.count() / 1000), static_cast<long>(wait.count() % 1000 * 1000)};
    if (::select(0, &readable, nullptr, nullptr, &limit) <= 0) return std::nullopt;
    for (const Sockets::Peer& peer : sockets_->peers) {
        if (!FD_ISSET(peer.socket, &readable)) continue;
        char buffer[4096];
        // Windows reports an ICMP "port unreachable" on the next receive
        // (WSAECONNRESET): that address is silent, as a lost datagram is.
        const int n = ::recv(peer.socket, buffer, sizeof buffer, 0);
        if (n > 0) return std::string(buffer, static_cast<std::size_t>(n));
    }
    return std::nullopt;
}

} // namespace parktotals
