#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>

#include "session.h"
#include "standin/standin.h"

namespace parktotals::standin {
namespace {

constexpr std::size_t kMaxConnections = 64;

[[noreturn]] void ThrowErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

} // namespace

struct Server::Impl final : SessionHost {
    struct Connection {
        int id;
        int fd;  // -1 once closed
        std::thread thread;
        bool finished = false;
    };

    mutable std::mutex mutex;
    mutable std::condition_variable recorded;  // a login or batch was stored
    std::shared_ptr<const Script> script;
    std::vector<Login> logins;
    std::vector<Batch> batches;
    int attentions = 0;
    int prelogin_faults = 0;  // met since the script was set

    // An eventfd that Release() writes to and nobody reads: readable from
    // the first release on, so it wakes every connection holding an answer,
    // now or later, and a poll can watch it beside the connection's socket.
    int release_fd = -1;

    std::list<Connection> connections;
    int next_id = 1;
    bool stopping = false;

    std::mutex observer_mutex;
    Observer observer;

    std::unique_ptr<TlsContext> tls;  // null: no certificate
    bool encryption_required = false;

    int listen_fd = -1;
    std::uint16_t port = 0;
    std::thread acceptor;

    std::shared_ptr<const Script> CurrentScript() override {
        std::lock_guard lock(mutex);
        return script;
    }

    ~Impl() override {
        if (release_fd >= 0) close(release_fd);
    }

    void Record(const Login& login) override {
        {
            std::lock_guard lock(mutex);
            logins.push_back(login);
        }
        recorded.notify_all();
        std::lock_guard lock(observer_mutex);
        if (observer.login) observer.login(login);
    }

    void Record(const Batch& batch) override {
        {
            std::lock_guard lock(mutex);
            batches.push_back(batch);
        }
        recorded.notify_all();
        std::lock_guard lock(observer_mutex);
        if (observer.batch) observer.batch(batch);
    }

    void RecordAttention(int connection) override {
        {
            std::lock_guard lock(mutex);
            ++attentions;
        }
        std::lock_guard lock(observer_mutex);
        if (observer.attention) observer.attention(connection);
    }

    void RecordError(int connection, const std::string& reason) override {
        std::lock_guard lock(observer_mutex);
        if (observer.error) observer.error(connection, reason);
    }

    const TlsContext* Tls() override { return tls.get(); }
    bool EncryptionRequired() override { return encryption_required; }

    PreloginFault TakePreloginFault() override {
        std::lock_guard lock(mutex);
        if (script->prelogin_fault_count >= 0 && prelogin_faults >= script->prelogin_fault_count)
            return PreloginFault::None;
        ++prelogin_faults;
        return script->prelogin_fault;
    }

    bool WaitForRelease(int fd) override {
        pollfd watched[2] = {{release_fd, POLLIN, 0}, {fd, POLLIN, 0}};
        for (;;) {
            if (poll(watched, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return false;  // let the read find out what is wrong
            }
            // Released wins over a cancel that came at the same time: the
            // answer goes, and the cancel is answered after it.
            if (watched[0].revents != 0) return true;
            if (watched[1].revents != 0) return false;
        }
    }

    template <typename Records>
    bool WaitFor(const Records& records, std::size_t count, std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex);
        return recorded.wait_for(lock, timeout, [&] { return records.size() >= count; });
    }

    void Listen(std::uint16_t wanted) {
        listen_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listen_fd < 0) ThrowErrno("socket");
        const int on = 1;
        setsockopt(listen_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(wanted);
        socklen_t length = sizeof address;
        if (bind(listen_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listen_fd, 64) != 0 ||
            getsockname(listen_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            const int saved = errno;
            close(listen_fd);
            errno = saved;
            ThrowErrno("listen on 127.0.0.1");
        }
        port = ntohs(address.sin_port);
    }

    void AcceptLoop() {
        for (;;) {
            const int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
            std::list<Connection> finished;
            {
                std::lock_guard lock(mutex);
                if (stopping) {
                    if (fd >= 0) close(fd);
                    return;
                }
                for (auto it = connections.begin(); it != connections.end();) {
                    auto next = std::next(it);
                    if (it->finished) finished.splice(finished.end(), connections, it);
                    it = next;
                }
                if (fd >= 0 && connections.size() >= kMaxConnections) {
                    close(fd);
                } else if (fd >= 0) {
                    const int on = 1;
                    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                    Connection& c = connections.emplace_back(Connection{next_id++, fd, {}});
                    c.thread = std::thread([this, &c] { Serve(c); });
                }
            }
            for (Connection& c : finished) c.thread.join();
            if (fd < 0 && errno != EINTR && errno != ECONNABORTED)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));  // e.g. out of descriptors
        }
    }

    void Serve(Connection& c) {
        {
            std::lock_guard lock(observer_mutex);
            if (observer.connected) observer.connected(c.id);
        }
        RunSession(c.fd, c.id, *this);
        std::lock_guard lock(mutex);
        close(c.fd);
        c.fd = -1;
        c.finished = true;
    }

    // Shut down rather than close: the connection's own thread still owns
    // the descriptor and closes it when its reads fail.
    void ShutdownConnections() {
        std::lock_guard lock(mutex);
        for (Connection& c : connections)
            if (c.fd >= 0) shutdown(c.fd, SHUT_RDWR);
    }
};

Server::Server(Script script, std::uint16_t port, Observer observer)
    : Server(std::move(script), Encryption{}, port, std::move(observer)) {}

Server::Server(Script script, const Encryption& encryption, std::uint16_t port, Observer observer)
    : impl_(std::make_unique<Impl>()) {
    if (encryption.mode != Encryption::Mode::NotSupported) {
        impl_->tls = std::make_unique<TlsContext>(encryption.certificate_file, encryption.key_file);
        impl_->encryption_required = encryption.mode == Encryption::Mode::Required;
    }
    impl_->script = std::make_shared<const Script>(std::move(script));
    impl_->observer = std::move(observer);
    impl_->release_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (impl_->release_fd < 0) ThrowErrno("eventfd");
    impl_->Listen(port);
    impl_->acceptor = std::thread([impl = impl_.get()] { impl->AcceptLoop(); });
}

Server::~Server() { Stop(); }

std::uint16_t Server::port() const { return impl_->port; }

void Server::SetScript(Script script) {
    auto next = std::make_shared<const Script>(std::move(script));
    std::lock_guard lock(impl_->mutex);
    impl_->script = std::move(next);
    impl_->prelogin_faults = 0;
}

std::vector<Login> Server::logins() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->logins;
}

std::vector<Batch> Server::batches() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->batches;
}

int Server::attentions() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->attentions;
}

bool Server::WaitForLogins(std::size_t count, std::chrono::milliseconds timeout) const {
    return impl_->WaitFor(impl_->logins, count, timeout);
}

bool Server::WaitForBatches(std::size_t count, std::chrono::milliseconds timeout) const {
    return impl_->WaitFor(impl_->batches, count, timeout);
}

void Server::Release() {
    const std::uint64_t one = 1;
    // Fails only when the counter is full, and then it is readable anyway.
    [[maybe_unused]] const ssize_t written = write(impl_->release_fd, &one, sizeof one);
}

void Server::DropConnections() { impl_->ShutdownConnections(); }

void Server::Stop() {
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->stopping) return;
        impl_->stopping = true;
    }
    // On Linux, shutting down a listening socket wakes a blocked accept().
    shutdown(impl_->listen_fd, SHUT_RDWR);
    impl_->acceptor.join();
    close(impl_->listen_fd);
    impl_->ShutdownConnections();
    std::list<Impl::Connection> connections;
    {
        std::lock_guard lock(impl_->mutex);
        connections.swap(impl_->connections);
    }
    for (Impl::Connection& c : connections) c.thread.join();
}

} // namespace parktotals::standin
