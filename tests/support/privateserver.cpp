#include "tests/support/privateserver.h"

#include "tests/support/fbtest.h"

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace fbtest {

namespace {

const char* const kServer = "/usr/sbin/firebird";
const char* const kSecurity = "/var/lib/firebird/3.0/system/security3.fdb";
const char* const kRoots[] = {"/usr/lib/x86_64-linux-gnu/firebird/3.0", "/usr/lib/firebird/3.0",
                              "/opt/firebird"};

// A port nobody listens on now; the kernel picks it.
int freePort() {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t n = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

bool accepts(int port) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

/// True when process `pid` owns the socket listening on 127.0.0.1:`port`.
bool escuta(pid_t pid, int port) {
    std::ifstream tcp("/proc/net/tcp");
    std::string linha;
    std::getline(tcp, linha); // header
    char local[16];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    std::string inode;
    while (std::getline(tcp, linha)) {
        std::istringstream campos(linha);
        std::string sl, origem, destino, estado, filas, tempo, retr, uid, espera, no;
        campos >> sl >> origem >> destino >> estado >> filas >> tempo >> retr >> uid >> espera >>
            no;
        if (origem == local && estado == "0A") inode = "socket:[" + no + "]";
    }
    if (inode.empty()) return false;
    std::error_code ec;
    const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
    for (auto it = fs::directory_iterator(fds, ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
        if (fs::read_symlink(it->path(), ec).string() == inode) return true;
    return false;
}

} // namespace

PrivateServer::PrivateServer() {
    if (::access(kServer, X_OK) != 0) {
        why_ = std::string(kServer) + " is not installed";
        return;
    }
    std::string installed;
    for (const char* r : kRoots)
        if (fs::exists(fs::path(r) / "plugins")) {
            installed = r;
            break;
        }
    if (installed.empty()) {
        why_ = "no Firebird root folder with plugins found";
        return;
    }
    try {
        root_ = std::make_unique<TempFolder>();
        const fs::path root = root_->path();
        for (const char* item :
             {"lib", "intl", "plugins", "UDF", "firebird.msg", "plugins.conf", "fbtrace.conf"}) {
            const fs::path from = fs::path(installed) / item;
            if (fs::exists(from)) fs::create_symlink(from, root / item);
        }
        fs::create_directory(root / "lock");
        fs::create_directory(root / "tmp");
        fs::create_directory(root / "data");
        fs::permissions(root / "data", fs::perms::all);
        // A copy, so the shared server's users serve here too and nothing
        // this server does can touch the shared one's file.
        fs::copy_file(kSecurity, root / "security3.fdb");
        why_ = configura();
    } catch (const std::exception& e) {
        why_ = std::string("cannot prepare its folder: ") + e.what();
    }
}

std::string PrivateServer::configura() {
    port_ = freePort();
    if (port_ == 0) return "no free loopback port";
    const fs::path root = root_->path();
    const std::string security = (root / "security3.fdb").string();
    std::ofstream conf(root / "firebird.conf", std::ios::trunc);
    conf << "RemoteServicePort = " << port_ << "\n"
         << "RemoteBindAddress = 127.0.0.1\n"
         << "SecurityDatabase = " << security << "\n"
         << "UdfAccess = None\n";
    std::ofstream aliases(root / "databases.conf", std::ios::trunc);
    aliases << "security.db = " << security << "\n";
    if (!conf || !aliases) return "cannot write the configuration";
    return {};
}

PrivateServer::~PrivateServer() {
    if (running()) kill();
}

std::string PrivateServer::name(const std::string& path) const {
    return "127.0.0.1/" + std::to_string(port_) + ":" + path;
}

std::string PrivateServer::file(const std::string& name) const {
    if (!root_) return {};
    return (root_->path() / "data" / name).string();
}

bool PrivateServer::start() {
    if (!available()) return false;
    if (running()) return true;
    std::string erro = lanca();
    // Another program may take the port between the pick and the bind; the
    // first start may move to another one (later starts keep the names the
    // test already handed out).
    for (int tentativa = 0; !erro.empty() && !iniciado_ && tentativa < 3; ++tentativa) {
        if (std::string e = configura(); !e.empty()) break;
        erro = lanca();
    }
    if (!erro.empty()) {
        why_ = erro;
        return false;
    }
    iniciado_ = true;
    return true;
}

std::string PrivateServer::lanca() {
    const fs::path root = root_->path();
    // Everything the child needs is built before fork: only exec-safe calls
    // run between fork and exec.
    std::vector<std::string> env = {
        "FIREBIRD=" + root.string(), "FIREBIRD_LOCK=" + (root / "lock").string(),
        "FIREBIRD_TMP=" + (root / "tmp").string(), "PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string log = (root / "server.log").string();
    const std::string dir = root.string();
    char* argv[] = {const_cast<char*>(kServer), nullptr};
    const pid_t parent = ::getpid();

    pid_t pid = ::fork();
    if (pid < 0) return std::string("fork: ") + std::strerror(errno);
    if (pid == 0) {
        // The server must not outlive a test that crashes or times out.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::setpgid(0, 0);
        int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        int in = ::open("/dev/null", O_RDONLY);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        if (in >= 0) ::dup2(in, 0);
        // Nothing of the test (pipes of the test runner, database files)
        // may stay open in the server.
        for (int fd = 3; fd < 1024; ++fd)
            ::close(fd);
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        ::execve(kServer, argv, envp.data());
        ::_exit(127);
    }
    pid_ = pid;
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < limite) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            std::ifstream in(log);
            std::string text((std::istreambuf_iterator<char>(in)), {});
            return "the server ended at start: " + text;
        }
        // Someone else may hold the port while ours fails to bind it (and
        // goes on running): only our own process's listening socket counts.
        if (accepts(port_) && escuta(pid_, port_)) return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill();
    return "the server did not listen on port " + std::to_string(port_) + " within 15 s";
}

void PrivateServer::waitExit(int seconds) {
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (pid_ > 0) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        if (std::chrono::steady_clock::now() >= limite) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void PrivateServer::stop(int graca) {
    if (!running()) return;
    ::kill(pid_, SIGTERM);
    waitExit(graca);
    if (running()) kill();
}

void PrivateServer::kill() {
    if (!running()) return;
    ::kill(pid_, SIGKILL);
    waitExit(10);
}

} // namespace fbtest
