#pragma once
// A TCP forwarder between a Firebird client and a server that makes the
// link look far away and counts what crosses it. It listens on a free
// loopback port, opens a connection to the server for every connection it
// accepts, and passes the bytes on in both directions, each piece held back
// for a chosen delay (10 ms each way make a 20 ms round trip, as a VPN to a
// branch office). It counts request/response exchanges: one each time the
// server answers after the client has spoken, which is what a client pays
// a round trip for. The kernel's netem is not needed (nor root).
//
// Used by the round-trip tests (exact counts, no delay) and by the
// benchmarks (counts and times at a delay). Plain C++ and POSIX sockets; no
// test framework, so any program may link it (target `relay`).
//
//   fbtest::Relay relay("127.0.0.1", 3050, std::chrono::milliseconds(10));
//   db.SetDatabaseName(relay.name("/path/to/file.fdb"));
//   const long before = relay.exchanges();
//   db.Open();
//   long connect = relay.exchanges() - before;
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fbtest {

class Relay {
public:
    /// What crossed the relay since it started (or since reset()).
    struct Counts {
        long exchanges = 0;        ///< the server answered after the client spoke
        std::int64_t toServer = 0; ///< bytes
        std::int64_t toClient = 0; ///< bytes
        long connections = 0;      ///< connections accepted
    };

    /// Starts forwarding at once, on a thread of its own, to `host`:`port`
    /// (a numeric IPv4 address). Throws std::runtime_error when it cannot
    /// listen.
    Relay(const std::string& host, int port,
          std::chrono::microseconds delay = std::chrono::microseconds(0));
    /// Stops forwarding and closes every connection (the client then sees
    /// its link cut). Never throws.
    ~Relay();
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    /// The loopback port clients connect to.
    int port() const;
    /// "127.0.0.1/<port>:<path>": the database name that reaches `path` on
    /// the server through the relay.
    std::string name(const std::string& path) const;

    /// The delay each piece waits on its way, in either direction; applies
    /// to what arrives from now on.
    void setDelay(std::chrono::microseconds delay);

    /// Exchanges since the start or the last reset(). An answer is counted
    /// when its first bytes reach the relay, so once a client call that
    /// waited for its answer has returned, that answer is counted.
    long exchanges() const;
    Counts counts() const;
    /// Exchanges on each connection accepted since the start or the last
    /// reset(), in the order they were accepted: work a client does on two
    /// connections at once overlaps in time, so the exchanges paid in
    /// sequence are fewer than the sum.
    std::vector<long> exchangesByConnection() const;
    void reset();

    /// Cuts every open connection at once (both sides see the link go), as
    /// a lost network would; new connections are still forwarded.
    void cutAll();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace fbtest
