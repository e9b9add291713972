#pragma once
// A Firebird server of the test's own, on a free loopback port, that the test
// may stop, kill and start again without disturbing the shared server on
// 127.0.0.1:3050. It runs the installed server program with a private root
// folder (its own firebird.conf, lock folder and a copy of the security
// database), so SYSDBA's password is the shared server's.
#include <sys/types.h>

#include <memory>
#include <string>

namespace fbtest {

class TempFolder;

class PrivateServer {
public:
    /// Prepares the root folder and picks a free port; does not start.
    /// When preparing fails, available() is false and why() says why.
    PrivateServer();
    /// Kills a running server (by its own pid) and removes the root folder.
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    bool available() const { return why_.empty(); }
    /// Why the server cannot be used (empty when it can).
    const std::string& why() const { return why_; }

    /// Starts the server and waits until it accepts connections (at most
    /// 15 s). False, with why() set, when it does not come up.
    bool start();
    /// Stops it as a service manager would: SIGTERM, then SIGKILL when it
    /// has not ended within `graca` seconds (a server with attachments
    /// does not end on SIGTERM alone).
    void stop(int graca = 2);
    /// Ends it at once (SIGKILL), as a crash or a pulled cable would.
    void kill();
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    int port() const { return port_; }

    /// "127.0.0.1/<port>:<path>": the name that reaches `path` through this server.
    std::string name(const std::string& path) const;
    /// A path for a database file in a folder that only this server uses.
    std::string file(const std::string& name) const;

private:
    /// Picks a port and writes the configuration; an error text or empty.
    std::string configura();
    /// One attempt to start; an error text or empty.
    std::string lanca();
    void waitExit(int seconds);

    std::unique_ptr<TempFolder> root_;
    std::string why_;
    int port_ = 0;
    pid_t pid_ = -1;
    bool iniciado_ = false;
};

} // namespace fbtest

/// Declares `var` as a PrivateServer already started, or skips the test with
/// the reason.
#define FBTEST_PRIVATE_SERVER(var)                                                                 \
    fbtest::PrivateServer var;                                                                     \
    if (!var.available() || !var.start())                                                          \
    GTEST_SKIP() << "no private Firebird server: " << var.why()
