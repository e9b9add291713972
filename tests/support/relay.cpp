#include "tests/support/relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace fbtest {

namespace {

using Clock = std::chrono::steady_clock;

// What one side may have waiting to go out before the relay stops reading
// the other side: a slow reader slows its sender, as a real link would.
constexpr std::size_t kMaxQueued = 4 << 20;

struct Piece {
    Clock::time_point due;
    std::string bytes;
    std::size_t sent = 0;
};

/// One direction of a connection: what arrived and waits for its time.
struct Flow {
    int from = -1;
    int to = -1;
    std::deque<Piece> pieces;
    std::size_t queued = 0;
    bool eof = false;      // `from` will send nothing more
    bool shutDown = false; // `to` was told so
};

struct Link {
    Flow up;   // client to server
    Flow down; // server to client
    bool awaitingAnswer = false;
    bool dead = false;
    std::shared_ptr<std::atomic<long>> exchanges; // this connection's
};

void closeQuietly(int fd, bool reset) {
    if (fd < 0) return;
    if (reset) {
        // An abortive close: the peer sees its connection reset.
        linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    ::close(fd);
}

void tune(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

} // namespace

struct Relay::Impl {
    std::string host;
    int targetPort = 0;
    int listener = -1;
    int wake = -1;
    int port = 0;
    std::atomic<std::int64_t> delayUs{0};
    std::atomic<long> exchanges{0};
    std::atomic<std::int64_t> toServer{0};
    std::atomic<std::int64_t> toClient{0};
    std::atomic<long> connections{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> cut{false};
    std::list<Link> links;
    std::thread worker;
    mutable std::mutex byConnectionLock;
    std::vector<std::shared_ptr<std::atomic<long>>> byConnection;

    void signal() {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wake, &one, sizeof one);
    }

    int connectToServer() {
        int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0) return -1;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(targetPort));
        ::inet_pton(AF_INET, host.c_str(), &a.sin_addr);
        if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(s);
            return -1;
        }
        tune(s);
        return s;
    }

    void accept() {
        for (;;) {
            int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) return;
            int s = connectToServer();
            if (s < 0) {
                closeQuietly(c, true);
                continue;
            }
            tune(c);
            Link& l = links.emplace_back();
            l.up.from = l.down.to = c;
            l.up.to = l.down.from = s;
            l.exchanges = std::make_shared<std::atomic<long>>(0);
            {
                std::lock_guard<std::mutex> g(byConnectionLock);
                byConnection.push_back(l.exchanges);
            }
            ++connections;
        }
    }

    // Reads what `f.from` has; false when the link broke.
    bool read(Link& l, Flow& f, bool fromClient) {
        char buf[65536];
        for (;;) {
            const ssize_t n = ::recv(f.from, buf, sizeof buf, 0);
            if (n > 0) {
                const auto due = Clock::now() + std::chrono::microseconds(delayUs.load());
                f.pieces.push_back({due, std::string(buf, static_cast<std::size_t>(n))});
                f.queued += static_cast<std::size_t>(n);
                if (fromClient) {
                    toServer += n;
                    l.awaitingAnswer = true;
                } else {
                    toClient += n;
                    if (l.awaitingAnswer) {
                        ++exchanges;
                        ++*l.exchanges;
                    }
                    l.awaitingAnswer = false;
                }
                if (f.queued >= kMaxQueued) return true;
                continue;
            }
            if (n == 0) {
                f.eof = true;
                return true;
            }
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        }
    }

    // Sends what is due; false when the link broke.
    bool write(Flow& f) {
        const auto now = Clock::now();
        while (!f.pieces.empty() && f.pieces.front().due <= now) {
            Piece& p = f.pieces.front();
            const ssize_t n =
                ::send(f.to, p.bytes.data() + p.sent, p.bytes.size() - p.sent, MSG_NOSIGNAL);
            if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            p.sent += static_cast<std::size_t>(n);
            f.queued -= static_cast<std::size_t>(n);
            if (p.sent < p.bytes.size()) return true;
            f.pieces.pop_front();
        }
        if (f.eof && f.pieces.empty() && !f.shutDown) {
            ::shutdown(f.to, SHUT_WR);
            f.shutDown = true;
        }
        return true;
    }

    void run() {
        std::vector<pollfd> fds;
        std::vector<std::pair<Link*, int>> owners; // link and which socket (0 client, 1 server)
        while (!stop) {
            if (cut.exchange(false)) {
                for (Link& l : links)
                    l.dead = true;
            }
            for (auto it = links.begin(); it != links.end();) {
                const bool done = it->up.shutDown && it->down.shutDown;
                if (it->dead || done) {
                    closeQuietly(it->up.from, it->dead);
                    closeQuietly(it->up.to, it->dead);
                    it = links.erase(it);
                } else {
                    ++it;
                }
            }
            fds.clear();
            owners.clear();
            fds.push_back({listener, POLLIN, 0});
            fds.push_back({wake, POLLIN, 0});
            const auto now = Clock::now();
            auto next = Clock::time_point::max();
            for (Link& l : links) {
                for (int side = 0; side < 2; ++side) {
                    // Socket `side` reads flow `in` and writes flow `out`.
                    Flow& in = side == 0 ? l.up : l.down;
                    Flow& out = side == 0 ? l.down : l.up;
                    short events = 0;
                    if (!in.eof && in.queued < kMaxQueued) events |= POLLIN;
                    if (!out.pieces.empty()) {
                        if (out.pieces.front().due <= now)
                            events |= POLLOUT;
                        else
                            next = std::min(next, out.pieces.front().due);
                    }
                    // A socket with nothing to wait for is left out: its
                    // hang-up alone would wake the loop again and again.
                    const int fd = side == 0 ? l.up.from : l.down.from;
                    fds.push_back({events ? fd : -1, events, 0});
                    owners.push_back({&l, side});
                }
            }
            int timeout = -1;
            if (next != Clock::time_point::max()) {
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now);
                timeout = static_cast<int>(std::max<std::int64_t>(wait.count(), 0));
            }
            if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
            if (fds[1].revents) {
                std::uint64_t v;
                [[maybe_unused]] ssize_t n = ::read(wake, &v, sizeof v);
            }
            if (fds[0].revents & POLLIN) accept();
            for (std::size_t i = 0; i < owners.size(); ++i) {
                auto [l, side] = owners[i];
                if (l->dead) continue;
                const short re = fds[i + 2].revents;
                Flow& in = side == 0 ? l->up : l->down;
                if ((re & (POLLIN | POLLHUP | POLLERR)) && !in.eof && !read(*l, in, side == 0))
                    l->dead = true;
            }
            // Everything due goes out, whatever poll said of the socket: a
            // piece that became due while waiting is not held back a turn.
            for (Link& l : links)
                if (!l.dead && (!write(l.up) || !write(l.down))) l.dead = true;
        }
        for (Link& l : links) {
            closeQuietly(l.up.from, true);
            closeQuietly(l.up.to, true);
        }
        links.clear();
    }
};

Relay::Relay(const std::string& host, int port, std::chrono::microseconds delay)
    : impl_(std::make_unique<Impl>()) {
    impl_->host = host;
    impl_->targetPort = port;
    impl_->delayUs = delay.count();
    impl_->listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (impl_->listener < 0 ||
        ::bind(impl_->listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(impl_->listener, 64) != 0 ||
        ::getsockname(impl_->listener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        const std::string why = std::strerror(errno);
        closeQuietly(impl_->listener, false);
        throw std::runtime_error("relay: cannot listen: " + why);
    }
    impl_->port = ntohs(a.sin_port);
    impl_->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    impl_->worker = std::thread([this] { impl_->run(); });
}

Relay::~Relay() {
    impl_->stop = true;
    impl_->signal();
    if (impl_->worker.joinable()) impl_->worker.join();
    closeQuietly(impl_->listener, false);
    closeQuietly(impl_->wake, false);
}

int Relay::port() const {
    return impl_->port;
}

std::string Relay::name(const std::string& path) const {
    return "127.0.0.1/" + std::to_string(impl_->port) + ":" + path;
}

void Relay::setDelay(std::chrono::microseconds delay) {
    impl_->delayUs = delay.count();
}

long Relay::exchanges() const {
    return impl_->exchanges;
}

Relay::Counts Relay::counts() const {
    return {impl_->exchanges, impl_->toServer, impl_->toClient, impl_->connections};
}

std::vector<long> Relay::exchangesByConnection() const {
    std::lock_guard<std::mutex> g(impl_->byConnectionLock);
    std::vector<long> r;
    for (const auto& n : impl_->byConnection)
        r.push_back(*n);
    return r;
}

void Relay::reset() {
    {
        std::lock_guard<std::mutex> g(impl_->byConnectionLock);
        impl_->byConnection.clear();
    }
    impl_->exchanges = 0;
    impl_->toServer = 0;
    impl_->toClient = 0;
    impl_->connections = 0;
}

void Relay::cutAll() {
    impl_->cut = true;
    impl_->signal();
}

} // namespace fbtest
