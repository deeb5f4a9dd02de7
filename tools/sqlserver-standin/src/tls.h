#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "wire.h"

// OpenSSL's types, so that only tls.cpp includes its headers.
typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;
typedef struct bio_st BIO;

namespace parktotals::standin {

// The server's certificate and key, loaded once and shared by every
// connection.
class TlsContext {
public:
    // Throws std::runtime_error naming the file and OpenSSL's reason.
    TlsContext(const std::string& certificate_file, const std::string& key_file);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    SSL_CTX* get() const { return ctx_; }

private:
    SSL_CTX* ctx_ = nullptr;
};

// The TLS session of one connection. OpenSSL reads and writes memory
// buffers, not the socket: the handshake has to travel inside PRELOGIN
// packets, and what follows straight over the socket, and only this class
// knows which.
class TlsLayer {
public:
    TlsLayer(const TlsContext& context, int fd);
    ~TlsLayer();
    TlsLayer(const TlsLayer&) = delete;
    TlsLayer& operator=(const TlsLayer&) = delete;

    // The server's side of the handshake: the client's records arrive as
    // the bodies of PRELOGIN packets read by `reader` (on the plain
    // stream), and ours go back the same way. False when the client left;
    // throws ProtocolError with OpenSSL's reason when the handshake fails.
    bool Handshake(MessageReader& reader, Stream& plain, std::uint16_t spid);

    // For Stream, once the handshake is done: TLS records straight over
    // the socket.
    std::size_t Read(char* out, std::size_t n);
    bool Write(std::string_view bytes);
    bool Buffered() const;

private:
    std::string TakeOutput();

    int fd_;
    SSL* ssl_ = nullptr;
    BIO* in_ = nullptr;   // what came from the client, for OpenSSL to read
    BIO* out_ = nullptr;  // what OpenSSL wrote, to go to the client
};

} // namespace parktotals::standin
