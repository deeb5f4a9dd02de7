#include "tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <cerrno>
#include <stdexcept>

namespace parktotals::standin {
namespace {

// The first reason on this thread's OpenSSL error queue, or `fallback`.
std::string OpenSslReason(const std::string& fallback) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return fallback;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

} // namespace

TlsContext::TlsContext(const std::string& certificate_file, const std::string& key_file) {
    ERR_clear_error();
    ctx_ = SSL_CTX_new(TLS_server_method());
    if (!ctx_) throw std::runtime_error("cannot set up TLS: " + OpenSslReason("out of memory"));
    // TDS 7 clients wrap the handshake in PRELOGIN packets and then expect
    // nothing more of it. TLS 1.3 sends session tickets after the handshake,
    // which would arrive unwrapped in the middle of the login; SQL Server
    // itself offers TLS 1.3 only with TDS 8.
    SSL_CTX_set_max_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_options(ctx_, SSL_OP_NO_TICKET | SSL_OP_NO_RENEGOTIATION);
    if (SSL_CTX_use_certificate_chain_file(ctx_, certificate_file.c_str()) != 1) {
        const std::string reason = OpenSslReason("unreadable");
        SSL_CTX_free(ctx_);
        throw std::runtime_error("cannot use the TLS certificate " + certificate_file + ": " + reason);
    }
    if (SSL_CTX_use_PrivateKey_file(ctx_, key_file.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(ctx_) != 1) {
        const std::string reason = OpenSslReason("unreadable");
        SSL_CTX_free(ctx_);
        throw std::runtime_error("cannot use the TLS key " + key_file + ": " + reason);
    }
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

TlsLayer::TlsLayer(const TlsContext& context, int fd) : fd_(fd) {
    ssl_ = SSL_new(context.get());
    in_ = BIO_new(BIO_s_mem());
    out_ = BIO_new(BIO_s_mem());
    if (!ssl_ || !in_ || !out_) {
        BIO_free(in_);
        BIO_free(out_);
        SSL_free(ssl_);
        throw ProtocolError("cannot set up TLS: out of memory");
    }
    // An empty input buffer means "wait for more", not end of stream.
    BIO_set_mem_eof_return(in_, -1);
    SSL_set_bio(ssl_, in_, out_);  // the SSL owns both from here
    SSL_set_accept_state(ssl_);
}

TlsLayer::~TlsLayer() { SSL_free(ssl_); }

std::string TlsLayer::TakeOutput() {
    std::string bytes(BIO_ctrl_pending(out_), '\0');
    if (!bytes.empty()) BIO_read(out_, bytes.data(), static_cast<int>(bytes.size()));
    return bytes;
}

bool TlsLayer::Handshake(MessageReader& reader, Stream& plain, std::uint16_t spid) {
    constexpr std::size_t kPacketSize = 4096;
    for (;;) {
        ERR_clear_error();
        const int r = SSL_do_handshake(ssl_);
        const int error = r == 1 ? SSL_ERROR_NONE : SSL_get_error(ssl_, r);
        // Sent even when the handshake failed: it is then OpenSSL's alert,
        // which tells the client why.
        const std::string flight = TakeOutput();
        if (!flight.empty() && !SendMessage(plain, kPrelogin, flight, kPacketSize, spid)) return false;
        if (r == 1) return true;
        if (error != SSL_ERROR_WANT_READ)
            throw ProtocolError("TLS handshake failed: " + OpenSslReason("the connection broke"));
        const auto packet = reader.ReadPacket();
        if (!packet) return false;
        if (packet->type != kPrelogin) throw ProtocolError("TLS handshake failed: a packet other than PRELOGIN");
        if (!packet->body.empty()) BIO_write(in_, packet->body.data(), static_cast<int>(packet->body.size()));
    }
}

std::size_t TlsLayer::Read(char* out, std::size_t n) {
    for (;;) {
        ERR_clear_error();
        const int r = SSL_read(ssl_, out, static_cast<int>(std::min<std::size_t>(n, 1 << 30)));
        if (r > 0) return static_cast<std::size_t>(r);
        const int error = SSL_get_error(ssl_, r);
        if (error == SSL_ERROR_ZERO_RETURN) return 0;  // the client closed TLS
        if (error != SSL_ERROR_WANT_READ) throw ProtocolError("TLS: " + OpenSslReason("broken record"));
        // Exactly what the socket has now: in a login-only session nothing
        // after the LOGIN7 may end up in here.
        char buffer[16384];
        ssize_t got;
        do {
            got = recv(fd_, buffer, sizeof buffer, 0);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) return 0;
        BIO_write(in_, buffer, static_cast<int>(got));
    }
}

bool TlsLayer::Write(std::string_view bytes) {
    if (bytes.empty()) return true;
    ERR_clear_error();
    if (SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) <= 0) return false;
    return SendAll(fd_, TakeOutput());
}

bool TlsLayer::Buffered() const { return SSL_pending(ssl_) > 0 || BIO_ctrl_pending(in_) > 0; }

} // namespace parktotals::standin
