#pragma once
// Helpers shared by the tests: real database files in per-test temporary
// folders, made and inspected with isql-fb through the embedded engine, and
// the address of the Firebird server that the test command starts.
#include <filesystem>
#include <string>

namespace fbtest {

/// SYSDBA's password on the test server (also the program's default).
inline constexpr const char* kPassword = "plumtower";

/// A fresh folder under the system temp folder, removed with its contents
/// when the object goes away.
class TempFolder {
public:
    TempFolder();
    /// The same inside `parent` instead of the system temp folder.
    explicit TempFolder(const std::filesystem::path& parent);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    /// path() / name, as a string.
    std::string file(const std::string& name) const;

private:
    std::filesystem::path path_;
};

/// Creates the database file `path` (character set NONE, the given dialect)
/// and runs `ddl` (statements ending with ";", committed at the end) in it.
/// Throws std::runtime_error with isql's output when anything fails.
void createDatabase(const std::string& path, const std::string& ddl = "", int dialect = 3);

/// Runs `sql` on an existing database through the embedded engine and
/// returns what isql printed. Throws std::runtime_error on failure.
std::string isql(const std::string& path, const std::string& sql);

/// Creates `path` with the default character set `charSet` and runs `ddl`
/// (UTF-8 text) through a UTF8 connection (isql -ch UTF8), so every text
/// reaches its column as the characters written.
void createDatabaseUtf8(const std::string& path, const std::string& charSet,
                        const std::string& ddl);

/// isql on a UTF8 connection: what it prints is UTF-8 whatever the sets of
/// the columns.
std::string isqlUtf8(const std::string& path, const std::string& sql);

/// True when something accepts connections on 127.0.0.1:3050.
bool serverRunning();

/// "localhost:" + path: the name that reaches the file through the server.
std::string serverName(const std::string& path);

/// The Firebird 4 test server (scripts/fb4-server.sh), as a database name's
/// prefix: "127.0.0.1/3051".
inline constexpr const char* kFb4Server = "127.0.0.1/3051";

/// True when something accepts connections on 127.0.0.1:3051.
bool fb4ServerRunning();

/// A fresh database on the Firebird 4 server, in a folder of its own in the
/// server's /tmp (reached from here below the server's root: the chroot
/// named by BRIVANE_FB4_CHROOT, by default /var/lib/brivane/fb4-trixie, and
/// "/" when the tests run inside it). The folder and the database go away
/// with the object. Throws std::runtime_error with isql's output when the
/// database cannot be made.
class Fb4Database {
public:
    /// Creates it with the default character set `charSet` and runs `ddl`
    /// (statements ending with ";", committed at the end): as createDatabase
    /// for NONE, otherwise as createDatabaseUtf8.
    explicit Fb4Database(const std::string& ddl = "", const std::string& charSet = "NONE");
    /// "127.0.0.1/3051:/tmp/brivane-test-.../test.fdb", for TFbDatabase and isql.
    const std::string& name() const { return name_; }
    /// isql on it through the server (isqlUtf8 unless the set is NONE).
    std::string isql(const std::string& sql) const;

private:
    TempFolder folder_;
    std::string name_;
    bool utf8_;
};

/// Makes sure the C library can load the locale `name` (e.g. "pt_BR.UTF-8"),
/// generating it when it is missing (tests/support/ensure-locale.sh, also run
/// by scripts/test.sh before the suite). Throws std::runtime_error saying why
/// when it cannot be had: a test that needs a locale fails, never skips.
/// A process sees a locale generated while it runs only if it had loaded no
/// locale before, so call it early (SetUpTestSuite).
void ensureLocale(const std::string& name);

/// Runs the whole process under the locale `name` (setlocale(LC_ALL), as
/// the toolkit does at start with the user's locale) while the object lives,
/// generating it first when needed (ensureLocale). Restores the previous
/// locale on destruction.
class ScopedProcessLocale {
public:
    explicit ScopedProcessLocale(const std::string& name);
    ~ScopedProcessLocale();
    ScopedProcessLocale(const ScopedProcessLocale&) = delete;
    ScopedProcessLocale& operator=(const ScopedProcessLocale&) = delete;

private:
    std::string previous_;
};

} // namespace fbtest

/// Skips the current test when no server is listening on 127.0.0.1:3050.
#define FBTEST_REQUIRE_SERVER()                                                                    \
    do {                                                                                           \
        if (!fbtest::serverRunning())                                                              \
            GTEST_SKIP()                                                                           \
                << "no Firebird server on 127.0.0.1:3050 (run scripts/fb-server.sh start)";        \
    } while (0)

/// Skips the current test when no server is listening on 127.0.0.1:3051.
#define FBTEST_REQUIRE_FB4_SERVER()                                                                \
    do {                                                                                           \
        if (!fbtest::fb4ServerRunning())                                                           \
            GTEST_SKIP()                                                                           \
                << "no Firebird 4 server on 127.0.0.1:3051 (run scripts/fb4-server.sh start)";     \
    } while (0)
