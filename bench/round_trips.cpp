// What a distant server costs: every request/response exchange between the
// program and a Firebird server, counted on the socket by a relay
// (tests/support/relay.h) that also holds each piece back for a while, so
// the exchanges are paid as a VPN to a branch office pays them.
//
// For each server (the Firebird 3 test server on 127.0.0.1:3050 and the
// Firebird 4 one on 127.0.0.1:3051, when it listens), each database default
// set (UTF8, WIN1252) and each link (no delay; 10 ms each way, a 20 ms round
// trip) it runs, in child processes:
//   program  what the main window does through the access layer: connect;
//            list the tables; open a table (SMALL, 10 rows); reopen it as a
//            filter, a title click, "Replicar" and "Limpar" do; open a second
//            table (BENCH, 200,000 rows of 12 columns) and walk it; open the
//            first table again;
//   raw      the floor: the client API alone (attach; start, prepare, execute
//            with the first fetch; fetch to the end), on the same SELECT texts,
//            and once more on BENCH without the row key (RDB$DB_KEY) that the
//            table's SELECT reads for finding a row again.
// Each step prints its exchanges and its time; the counts are exact, the
// times the median of the rounds, beside the whole child's wall time and
// peak memory.
//
// Usage: bench_round_trips [--rounds N] [--rows N] [--server HOST:PORT]...
//                          [--delay MS]...
//   --server  one server to measure (default both, the second when it listens)
//   --delay   one-way delays in ms (default 0 and 10)
//   --rows    rows of BENCH (default 200000)
#include "bench/dataset_kit.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "tests/support/relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace benchds;

namespace {

const char* const kSmallFilter = "ID > 2";

struct Target {
    std::string host;
    int port = 0;
    std::string label;
};

bool listening(const Target& t) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(t.port));
    ::inet_pton(AF_INET, t.host.c_str(), &a.sin_addr);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

std::vector<std::string> login() {
    return {"user_name=SYSDBA", std::string("password=") + kPassword};
}

/// One measured step: its exchanges and seconds, reported when it ends.
class Step {
public:
    Step(fbtest::Relay& relay, std::string name)
        : relay_(relay), name_(std::move(name)), before_(relay.exchanges()), t0_(Clock::now()) {}
    ~Step() {
        const double s = seconds(t0_);
        report((name_ + ".rt").c_str(), double(relay_.exchanges() - before_));
        report((name_ + ".s").c_str(), s);
    }

private:
    fbtest::Relay& relay_;
    std::string name_;
    long before_;
    Clock::time_point t0_;
};

// ---- the program's side -----------------------------------------------------

/// The main window's objects, wired as it wires them.
struct Window {
    TFbDatabase conexao;
    TFbTransaction transacao;
    TFbTable tabela;
    TFbSQL sql;
    Window(const std::string& name) {
        conexao.SetDatabaseName(name);
        conexao.SetLoginPrompt(false);
        conexao.SetParams(login());
        transacao.SetDefaultDatabase(&conexao);
        conexao.SetDefaultTransaction(&transacao);
        tabela.SetDatabase(&conexao);
        tabela.SetTransaction(&transacao);
        tabela.SetBufferChunks(1000);
        sql.SetDatabase(&conexao);
        sql.SetTransaction(&transacao);
    }
    /// "Abrir tabelas" once the table is chosen.
    void abre(const std::string& nome) {
        tabela.Close();
        tabela.SetFiltered(false);
        tabela.SetFilter("");
        tabela.SetIndexFieldNames("");
        tabela.SetIndexDescending(false);
        tabela.SetTableName(nome);
        tabela.Open();
    }
    /// The UPDATE or DELETE of "Replicar" and "Limpar", committed.
    void escreve(const std::vector<std::string>& lines, const char* value) {
        sql.Close();
        sql.SQL().Assign(lines);
        if (value) sql.ParamNamed("P0").SetAsString(value);
        sql.ExecQuery();
        transacao.Commit();
    }
};

int childProgram(const std::string& name, const std::string& host, int port, int delayMs) {
    fbtest::Relay relay(host, port, std::chrono::milliseconds(delayMs));
    const auto t0 = Clock::now();
    Window w(relay.name(name));
    {
        Step s(relay, "connect");
        w.conexao.Open();
    }
    {
        Step s(relay, "list");
        std::vector<std::string> names;
        w.conexao.ListTableNames(names, false);
    }
    {
        Step s(relay, "open");
        w.abre("SMALL");
    }
    {
        // "Filtrar" with a condition: the table runs its SELECT again in
        // place (app::TAcoes::Filtrar does it through the wait window).
        Step s(relay, "filter");
        w.tabela.ApplyFilter(kSmallFilter, true);
    }
    {
        // A click on the title of V: by V, then by the key.
        Step s(relay, "sort");
        w.tabela.SetIndexFieldNames("V;ID");
        w.tabela.SetIndexDescending(false);
        w.tabela.ReopenKeepingRow(200);
    }
    {
        Step s(relay, "replicar.write");
        w.escreve(FbTableReplicateSQL(3, "SMALL", "S", w.tabela.Filter(), w.tabela.Filtered()),
                  "7");
    }
    {
        // The reopening that ends "Replicar": unfiltered.
        Step s(relay, "replicar.reopen");
        w.tabela.Close();
        w.tabela.SetFilter("");
        w.tabela.SetFiltered(false);
        w.tabela.Open();
    }
    {
        Step s(relay, "limpar.write");
        w.escreve({FbTableClearSQL(3, "SMALL")}, nullptr);
    }
    {
        Step s(relay, "limpar.reopen");
        w.tabela.Open();
    }
    {
        // "Abrir tabelas" on another table: the open one closes first (its
        // transaction ends with it), then the chosen one opens.
        Step s(relay, "close1");
        w.tabela.Close();
    }
    {
        Step s(relay, "open2");
        w.abre("BENCH");
    }
    long rows = 0;
    {
        Step s(relay, "walk");
        std::string buffer;
        for (w.tabela.First(); !w.tabela.Eof(); w.tabela.Next(), ++rows)
            for (int i = 0; i < w.tabela.FieldCount(); ++i) {
                buffer.clear();
                w.tabela.Fields(i).AppendDisplayText(buffer);
            }
    }
    {
        Step s(relay, "close2");
        w.tabela.Close();
    }
    {
        Step s(relay, "reopen");
        w.abre("SMALL");
    }
    {
        Step s(relay, "close");
        w.conexao.Close();
    }
    report("rows", double(rows));
    report("total.rt", double(relay.exchanges()));
    report("total.s", seconds(t0));
    return 0;
}

// ---- the raw loop -------------------------------------------------------------

struct Raw {
    const TFbClientApi& api = FbApi();
    ISC_STATUS* st = StatusVector();
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;

    void check(ISC_STATUS r) { CheckStatus(r); }

    /// Start, prepare, execute and the first fetch; the rest of the rows
    /// when `all`, counted apart. Returns the rows.
    long select(fbtest::Relay& relay, const std::string& sql, const char* step, bool all) {
        isc_stmt_handle stmt = 0;
        std::vector<char> daBuf(XSQLDA_LENGTH(40));
        auto* da = reinterpret_cast<XSQLDA*>(daBuf.data());
        da->version = SQLDA_VERSION1;
        da->sqln = 40;
        RawRow row;
        long rows = 0;
        {
            Step s(relay, step);
            struct {
                isc_db_handle* db;
                ISC_LONG tpbLength;
                char* tpb;
            } teb{&db, 0, nullptr};
            check(api.isc_start_multiple(st, &tr, 1, &teb));
            check(api.isc_dsql_alloc_statement2(st, &db, &stmt));
            check(api.isc_dsql_prepare(st, &tr, &stmt, 0, sql.c_str(), 3, da));
            row.bind(da);
            check(api.isc_dsql_execute(st, &tr, &stmt, 3, nullptr));
            if (api.isc_dsql_fetch(st, &stmt, 3, da) == 0) ++rows;
        }
        if (all) {
            Step s(relay, std::string(step) + ".walk");
            while (api.isc_dsql_fetch(st, &stmt, 3, da) == 0)
                ++rows;
        }
        {
            Step s(relay, std::string(step) + ".end");
            check(api.isc_dsql_free_statement(st, &stmt, DSQL_drop));
            check(api.isc_commit_transaction(st, &tr));
        }
        return rows;
    }
};

int childRaw(const std::string& name, const std::string& host, int port, int delayMs) {
    fbtest::Relay relay(host, port, std::chrono::milliseconds(delayMs));
    const auto t0 = Clock::now();
    RequireClientLibrary();
    Raw r;
    const std::string path = relay.name(name);
    const std::string dpb = GenerateDPB(login());
    {
        Step s(relay, "attach");
        r.check(r.api.isc_attach_database(r.st, static_cast<short>(path.size()), path.c_str(),
                                          &r.db, static_cast<short>(dpb.size()), dpb.data()));
    }
    r.select(relay, tableSelect("SMALL"), "open", true);
    const long rows = r.select(relay, tableSelect("BENCH"), "open2", true);
    report("total.rt", double(relay.exchanges()));
    report("total.s", seconds(t0));
    // The same rows without the row key the table's SELECT carries.
    r.select(relay, "select * from BENCH order by ID", "plain", true);
    {
        Step s(relay, "close");
        r.check(r.api.isc_detach_database(r.st, &r.db));
    }
    report("rows", double(rows));
    return 0;
}

// ---- the databases --------------------------------------------------------------

/// Creates `path` on the server with the default set `charSet` and the tables.
void createOn(const Target& t, const std::string& path, const std::string& charSet, long rows) {
    const std::string name = t.host + "/" + std::to_string(t.port) + ":" + path;
    TFbDatabase::CreateDatabase("CREATE DATABASE '" + name + "' USER 'SYSDBA' PASSWORD '" +
                                    kPassword + "' PAGE_SIZE 16384 DEFAULT CHARACTER SET " +
                                    charSet,
                                3);
    TFbDatabase db;
    db.SetDatabaseName(name);
    db.SetLoginPrompt(false);
    db.SetParams(login());
    db.Open();
    db.ExecuteImmediate(std::string("CREATE TABLE SMALL ") + kTwelveColumns);
    db.ExecuteImmediate(std::string("CREATE TABLE BENCH ") + kTwelveColumns);
    fillTable(db, "BENCH", twelveColumnsInsert("BENCH"), rows);
    db.Close();
}

/// SMALL with its 10 rows, as every program run expects it.
void refillSmall(const Target& t, const std::string& path) {
    TFbDatabase db;
    db.SetDatabaseName(t.host + "/" + std::to_string(t.port) + ":" + path);
    db.SetLoginPrompt(false);
    db.SetParams(login());
    db.Open();
    db.ExecuteImmediate("DELETE FROM SMALL");
    db.ExecuteImmediate("EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN WHILE (I <= 10) DO BEGIN " +
                        twelveColumnsInsert("SMALL") + "; I = I + 1; END END");
    db.Close();
}

void dropOn(const Target& t, const std::string& path) {
    try {
        TFbDatabase db;
        db.SetDatabaseName(t.host + "/" + std::to_string(t.port) + ":" + path);
        db.SetLoginPrompt(false);
        db.SetParams(login());
        db.Open();
        CheckStatus(FbApi().isc_drop_database(StatusVector(), db.Handle()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "could not drop %s: %s\n", path.c_str(), e.what());
    }
}

// ---- the parent -----------------------------------------------------------------

struct Figures {
    Series program, raw;
};

void printRow(const char* label, const Figures& f, const char* prog, const char* raw) {
    const double pr = f.program.figure(std::string(prog) + ".rt");
    const double ps = f.program.figure(std::string(prog) + ".s");
    if (raw) {
        const double rr = f.raw.figure(std::string(raw) + ".rt");
        const double rs = f.raw.figure(std::string(raw) + ".s");
        std::printf("  %-34s %6.0f %8.3f   %6.0f %8.3f   %5.2fx\n", label, rr, rs, pr, ps,
                    rs > 0 ? ps / rs : 0.0);
    } else {
        std::printf("  %-34s %6s %8s   %6.0f %8.3f\n", label, "", "", pr, ps);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 6 && args[0] == "--child") {
            const std::string& mode = args[1];
            const int port = std::atoi(args[4].c_str());
            const int delay = std::atoi(args[5].c_str());
            if (mode == "program") return childProgram(args[2], args[3], port, delay);
            if (mode == "raw") return childRaw(args[2], args[3], port, delay);
            return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }

    int rounds = 3;
    long rows = 200000;
    std::vector<Target> targets;
    std::vector<int> delays;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--rounds" && i + 1 < args.size()) {
            rounds = std::max(1, std::atoi(args[++i].c_str()));
        } else if (args[i] == "--rows" && i + 1 < args.size()) {
            rows = std::max(1L, std::atol(args[++i].c_str()));
        } else if (args[i] == "--delay" && i + 1 < args.size()) {
            delays.push_back(std::atoi(args[++i].c_str()));
        } else if (args[i] == "--server" && i + 1 < args.size()) {
            const std::string s = args[++i];
            const auto colon = s.find(':');
            targets.push_back({s.substr(0, colon), std::atoi(s.substr(colon + 1).c_str()), s});
        } else {
            std::fprintf(stderr,
                         "usage: %s [--rounds N] [--rows N] [--server HOST:PORT]... "
                         "[--delay MS]...\n",
                         argv[0]);
            return 2;
        }
    }
    if (delays.empty()) delays = {0, 10};
    if (targets.empty()) {
        targets = {{"127.0.0.1", 3050, "Firebird 3 (127.0.0.1:3050)"},
                   {"127.0.0.1", 3051, "Firebird 4 (127.0.0.1:3051)"}};
    }

    for (const Target& t : targets) {
        if (!listening(t)) {
            std::printf("%s: nothing listens, skipped\n", t.label.c_str());
            continue;
        }
        for (const char* charSet : {"UTF8", "WIN1252"}) {
            const std::string path =
                "/tmp/brivane-round-trips-" + std::to_string(getpid()) + "-" + charSet + ".fdb";
            try {
                createOn(t, path, charSet, rows);
            } catch (const std::exception& e) {
                std::printf("%s %s: cannot create the database: %s\n", t.label.c_str(), charSet,
                            e.what());
                continue;
            }
            for (int delay : delays) {
                Figures f;
                for (int round = 0; round < rounds; ++round) {
                    std::fprintf(stderr, "%s %s %d ms round %d (load %.2f)\n", t.label.c_str(),
                                 charSet, delay, round + 1, loadAverage());
                    refillSmall(t, path);
                    const std::string host = t.host, port = std::to_string(t.port),
                                      d = std::to_string(delay);
                    f.raw.runs.push_back(runChild({"--child", "raw", path, host, port, d}));
                    f.program.runs.push_back(runChild({"--child", "program", path, host, port, d}));
                }
                std::printf("\n%s, database %s, %d ms round trip added (%d each way); "
                            "median of %d rounds\n",
                            t.label.c_str(), charSet, 2 * delay, delay, rounds);
                std::printf("  %-34s %6s %8s   %6s %8s   %6s\n", "", "raw", "", "program", "",
                            "time");
                std::printf("  %-34s %6s %8s   %6s %8s   %6s\n", "step", "exch.", "s", "exch.", "s",
                            "ratio");
                printRow("connect (raw: attach)", f, "connect", "attach");
                printRow("list the tables", f, "list", nullptr);
                printRow("open SMALL (raw: start+prep+exec)", f, "open", "open");
                printRow("reopen: filter applied", f, "filter", nullptr);
                printRow("reopen: title click", f, "sort", nullptr);
                printRow("Replicar: UPDATE and commit", f, "replicar.write", nullptr);
                printRow("reopen: after Replicar", f, "replicar.reopen", nullptr);
                printRow("Limpar: DELETE and commit", f, "limpar.write", nullptr);
                printRow("reopen: after Limpar", f, "limpar.reopen", nullptr);
                printRow("close SMALL (raw: free+commit)", f, "close1", "open.end");
                printRow("open a second table (BENCH)", f, "open2", "open2");
                printRow("walk BENCH (fetches after the 1st)", f, "walk", "open2.walk");
                printRow("  raw without the row key", f, "walk", "plain.walk");
                printRow("close BENCH", f, "close2", nullptr);
                printRow("open SMALL again", f, "reopen", nullptr);
                printRow("disconnect", f, "close", "close");
                printRow("whole run (raw: to the end of BENCH)", f, "total", "total");
                std::printf("  whole processes: raw %.2f s, %.0f MiB peak; program %.2f s, "
                            "%.0f MiB peak; rows walked %.0f\n",
                            f.raw.wall(), f.raw.peak(), f.program.wall(), f.program.peak(),
                            f.program.figure("rows"));
                std::fflush(stdout);
            }
            dropOn(t, path);
        }
    }
    return 0;
}
