#include "tests/support/fbtest.h"

#include <arpa/inet.h>
#include <locale.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>

namespace fs = std::filesystem;

namespace fbtest {

TempFolder::TempFolder() : TempFolder(fs::temp_directory_path()) {}

TempFolder::TempFolder(const fs::path& parent) {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = parent / ("brivane-test-" + std::to_string(::getpid()) + "-" +
                                   std::to_string(counter++) + "-" + std::to_string(rd() % 100000));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate;
            // The server may run under another account on some machines.
            fs::permissions(path_, fs::perms::all, ec);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder in " + parent.string());
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string TempFolder::file(const std::string& name) const {
    return (path_ / name).string();
}

namespace {

std::string runIsql(const std::string& args, const std::string& script) {
    char tmpl[] = "/tmp/brivane-isql-XXXXXX";
    int fd = ::mkstemp(tmpl);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    ::close(fd);
    {
        std::ofstream out(tmpl, std::ios::binary);
        out << script;
    }
    std::string cmd = "isql-fb -q -b -user SYSDBA -password " + std::string(kPassword) + " " +
                      args + " -i " + tmpl + " 2>&1";
    std::string output;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) {
        ::unlink(tmpl);
        throw std::runtime_error("cannot run isql-fb");
    }
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        output.append(buf.data(), n);
    int rc = ::pclose(p);
    ::unlink(tmpl);
    if (rc != 0) throw std::runtime_error("isql-fb failed:\n" + output);
    return output;
}

} // namespace

void createDatabase(const std::string& path, const std::string& ddl, int dialect) {
    std::string script = "SET SQL DIALECT " + std::to_string(dialect) + ";\nCREATE DATABASE '" +
                         path + "' USER 'SYSDBA' PASSWORD '" + kPassword +
                         "' PAGE_SIZE 8192 DEFAULT CHARACTER SET NONE;\n" + ddl + "\nCOMMIT;\n";
    runIsql("", script);
}

std::string isql(const std::string& path, const std::string& sql) {
    return runIsql("'" + path + "'", sql + "\nCOMMIT;\n");
}

void createDatabaseUtf8(const std::string& path, const std::string& charSet,
                        const std::string& ddl) {
    runIsql("-ch UTF8", "CREATE DATABASE '" + path + "' USER 'SYSDBA' PASSWORD '" + kPassword +
                            "' PAGE_SIZE 8192 DEFAULT CHARACTER SET " + charSet + ";\n" + ddl +
                            "\nCOMMIT;\n");
}

std::string isqlUtf8(const std::string& path, const std::string& sql) {
    return runIsql("-ch UTF8 '" + path + "'", sql + "\nCOMMIT;\n");
}

namespace {

bool listening(unsigned short port) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(s);
    return ok;
}

// The server's root as this process sees it.
fs::path fb4Root() {
    const char* root = std::getenv("BRIVANE_FB4_CHROOT");
    return root && *root ? fs::path(root) : fs::path("/var/lib/brivane/fb4-trixie");
}

} // namespace

bool serverRunning() {
    return listening(3050);
}

bool fb4ServerRunning() {
    return listening(3051);
}

Fb4Database::Fb4Database(const std::string& ddl, const std::string& charSet)
    : folder_(fb4Root() / "tmp"), utf8_(charSet != "NONE") {
    name_ = std::string(kFb4Server) + ":/tmp/" + folder_.path().filename().string() + "/test.fdb";
    if (utf8_)
        createDatabaseUtf8(name_, charSet, ddl);
    else
        createDatabase(name_, ddl);
}

std::string Fb4Database::isql(const std::string& sql) const {
    return utf8_ ? isqlUtf8(name_, sql) : fbtest::isql(name_, sql);
}

std::string serverName(const std::string& path) {
    return "localhost:" + path;
}

namespace {

bool localeLoads(const std::string& name) {
    locale_t l = newlocale(LC_ALL_MASK, name.c_str(), static_cast<locale_t>(0));
    if (l == static_cast<locale_t>(0)) return false;
    freelocale(l);
    return true;
}

} // namespace

void ensureLocale(const std::string& name) {
    static std::set<std::string> prontos;
    if (prontos.count(name)) return;
    // Asked of a child process first: a lookup that fails here would map the
    // system's locale archive as it is now, and this process would never see
    // a locale generated after that.
    std::string cmd = "bash '" BRIVANE_TEST_SUPPORT_DIR "/ensure-locale.sh' '" + name + "' 2>&1";
    std::string output;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) throw std::runtime_error("cannot run ensure-locale.sh");
    std::array<char, 1024> buf{};
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        output.append(buf.data(), n);
    if (::pclose(p) != 0)
        throw std::runtime_error("locale " + name + " is not available:\n" + output);
    if (!localeLoads(name))
        throw std::runtime_error("locale " + name +
                                 " was generated after this process had read the locale archive; "
                                 "run the test again (scripts/test.sh generates it beforehand)");
    prontos.insert(name);
}

ScopedProcessLocale::ScopedProcessLocale(const std::string& name) {
    ensureLocale(name);
    const char* atual = std::setlocale(LC_ALL, nullptr);
    previous_ = atual ? atual : "C";
    if (!std::setlocale(LC_ALL, name.c_str()))
        throw std::runtime_error("setlocale(LC_ALL, " + name + ") failed");
}

ScopedProcessLocale::~ScopedProcessLocale() {
    std::setlocale(LC_ALL, previous_.c_str());
}

} // namespace fbtest
