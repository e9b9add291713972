// The round-trip relay (tests/support/relay.h) as a program of its own, to
// put a distant link under anything that speaks to a Firebird server: the
// program itself, isql-fb, another benchmark.
//
// Usage: bench_relay [--to HOST:PORT] [--delay MS] [--every SECONDS]
//   --to     the server (default 127.0.0.1:3050)
//   --delay  one-way delay in ms (default 10: a 20 ms round trip)
//   --every  print the counts this often (default 1; 0: only at the end)
// It prints the loopback port it listens on (connect as
// "127.0.0.1/<port>:/path/file.fdb"), then the exchanges and bytes so far,
// each line when they changed; Enter prints them at once and zeroes them;
// Ctrl+C (SIGINT or SIGTERM) ends it.
#include "tests/support/relay.h"

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

volatile std::sig_atomic_t leaving = 0;

void print(const fbtest::Relay::Counts& c) {
    std::printf("exchanges %ld  to server %lld bytes  to client %lld bytes  connections %ld\n",
                c.exchanges, static_cast<long long>(c.toServer), static_cast<long long>(c.toClient),
                c.connections);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    std::string host = "127.0.0.1";
    int port = 3050, delay = 10, every = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--to" && i + 1 < argc) {
            const std::string to = argv[++i];
            const auto colon = to.find(':');
            host = to.substr(0, colon);
            if (colon != std::string::npos) port = std::atoi(to.c_str() + colon + 1);
        } else if (a == "--delay" && i + 1 < argc) {
            delay = std::atoi(argv[++i]);
        } else if (a == "--every" && i + 1 < argc) {
            every = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--to HOST:PORT] [--delay MS] [--every SECONDS]\n",
                         argv[0]);
            return 2;
        }
    }
    std::signal(SIGINT, [](int) { leaving = 1; });
    std::signal(SIGTERM, [](int) { leaving = 1; });
    fbtest::Relay relay(host, port, std::chrono::milliseconds(delay));
    std::printf("listening on 127.0.0.1:%d, forwarding to %s:%d, %d ms each way\n", relay.port(),
                host.c_str(), port, delay);
    std::fflush(stdout);
    long shown = -1;
    pollfd in{0, POLLIN, 0};
    while (!leaving) {
        const int r = ::poll(&in, 1, every > 0 ? every * 1000 : -1);
        if (r > 0) {
            char buf[256];
            if (::read(0, buf, sizeof buf) <= 0) {
                in.fd = -1; // no input (run in the background): counts only
                continue;
            }
            print(relay.counts());
            relay.reset();
            shown = 0;
        } else if (r == 0 && relay.exchanges() != shown) {
            print(relay.counts());
            shown = relay.exchanges();
        }
    }
    print(relay.counts());
    return 0;
}
