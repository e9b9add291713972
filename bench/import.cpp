// Rows brought in from a CSV file: the program's import beside a floor
// written on the client API alone and beside one row per exchange.
//
// For each row count and each link (the embedded engine; the Firebird 3
// server on 127.0.0.1:3050 through the round-trip relay, 10 ms each way)
// a child process creates a fresh database, writes the CSV file (a header
// and regional values: "1.234,56", "31/01/2024") and imports it:
//   program  what the window does: read and check every row (Importacao::
//            verifica), then gravaTudo in one transaction, many rows per
//            EXECUTE BLOCK;
//   floor    the client API alone: the file split at ';' and line ends,
//            each value converted for its known column, the same EXECUTE
//            BLOCK of the same rows per exchange, prepared once;
//   single   the program's import with one row per exchange, run on at
//            most --single rows and scaled to the row count (marked "~").
// Each prints its seconds, its exchanges and the child's peak memory, and
// the ratio of its time to the floor's.
//
// Usage: bench_import [--rows N,N...] [--single N] [--delay MS] [--no-remote]
#include "bench/dataset_kit.h"
#include "db/FbImport.h"
#include "import/Importacao.h"
#include "rtl/settings.h"
#include "tests/support/relay.h"

#include <sys/stat.h>

#include <filesystem>

using namespace benchds;

namespace {

const char* const kDdl = "create table T (ID integer not null primary key, NOME varchar(40), "
                         "VALOR numeric(15,2), DIA date, QTD integer)";

std::vector<std::string> login() {
    return {"user_name=SYSDBA", std::string("password=") + kPassword};
}

void writeCsv(const std::string& path, long rows) {
    std::ofstream out(path, std::ios::binary);
    out << "ID;NOME;VALOR;DIA;QTD\r\n";
    char line[160];
    for (long i = 1; i <= rows; ++i) {
        const long reais = (i * 7919) % 1000000;
        std::snprintf(
            line, sizeof line, "%ld;cliente %ld;%ld.%03ld,%02ld;%02ld/%02ld/20%02ld;%ld\r\n", i, i,
            reais / 1000, reais % 1000, i % 100, 1 + i % 28, 1 + i % 12, i % 30, i % 1000);
        out << line;
    }
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The floor's conversions for the file's known columns.
long long digits(std::string_view s, int& decimals) {
    long long v = 0;
    bool neg = false;
    decimals = -1;
    for (char c : s) {
        if (c == '-')
            neg = true;
        else if (c >= '0' && c <= '9') {
            v = v * 10 + (c - '0');
            if (decimals >= 0) ++decimals;
        } else if (c == ',')
            decimals = 0;
    }
    if (decimals < 0) decimals = 0;
    return neg ? -v : v;
}

int isoDay(int y, int m, int d) {
    // Days since 17 November 1858 (the server's date).
    const int a = (14 - m) / 12, yy = y + 4800 - a, mm = m + 12 * a - 3;
    const int jdn = d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
    return jdn - 2400001;
}

long floorImport(TFbDatabase& db, TFbTransaction& tr, const std::string& csv, int perTrip) {
    const TFbClientApi& api = FbApi();
    tr.StartTransaction();
    const auto facts = db.TableFacts("T", tr);
    const auto cols = FbImportColumns(*facts, {"ID", "NOME", "VALOR", "DIA", "QTD"});
    auto prepare = [&](int rows, TFbStatementHandle& h, std::vector<char>& area) {
        const std::string sql = FbImportBlockSQL(3, "T", cols, rows);
        CheckStatus(api.isc_dsql_alloc_statement2(StatusVector(), db.Handle(), h.Ptr()));
        CheckStatus(
            api.isc_dsql_prepare(StatusVector(), tr.Handle(), h.Ptr(), 0, sql.c_str(), 3, nullptr));
        area.assign(XSQLDA_LENGTH(rows * 5), 0);
        auto* da = reinterpret_cast<XSQLDA*>(area.data());
        da->version = SQLDA_VERSION1;
        da->sqln = da->sqld = static_cast<short>(rows * 5);
    };
    struct Cell {
        ISC_INT64 i;
        char text[48];
        short null;
    };
    std::vector<Cell> cells(static_cast<std::size_t>(perTrip) * 5);
    TFbStatementHandle full, rest;
    std::vector<char> fullArea, restArea;
    prepare(perTrip, full, fullArea);
    long rows = 0;
    int inBlock = 0;
    auto send = [&](TFbStatementHandle& h, std::vector<char>& area, int n) {
        auto* da = reinterpret_cast<XSQLDA*>(area.data());
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < 5; ++c) {
                Cell& cell = cells[static_cast<std::size_t>(r * 5 + c)];
                XSQLVAR& x = da->sqlvar[r * 5 + c];
                x.sqlind = &cell.null;
                cell.null = 0;
                x.sqlscale = c == 2 ? -2 : 0;
                x.sqlsubtype = 0;
                if (c == 1) {
                    x.sqltype = SQL_TEXT + 1;
                    x.sqldata = cell.text;
                } else if (c == 3) {
                    x.sqltype = SQL_TYPE_DATE + 1;
                    x.sqllen = 4;
                    x.sqldata = reinterpret_cast<char*>(&cell.i);
                } else {
                    x.sqltype = SQL_INT64 + 1;
                    x.sqllen = 8;
                    x.sqldata = reinterpret_cast<char*>(&cell.i);
                }
            }
        for (int r = 0; r < n; ++r) // text lengths were set while reading
            da->sqlvar[r * 5 + 1].sqllen = static_cast<short>(std::strlen(cells[r * 5 + 1].text));
        CheckStatus(api.isc_dsql_execute(StatusVector(), tr.Handle(), h.Ptr(), 3, da));
    };
    std::size_t pos = csv.find('\n') + 1; // the header
    while (pos < csv.size()) {
        std::size_t end = csv.find('\n', pos);
        if (end == std::string::npos) end = csv.size();
        std::string_view line(csv.data() + pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = end + 1;
        if (line.empty()) continue;
        std::string_view f[5];
        for (int c = 0; c < 5; ++c) {
            const std::size_t sc = c < 4 ? line.find(';') : line.size();
            f[c] = line.substr(0, sc);
            if (c < 4) line.remove_prefix(sc + 1);
        }
        Cell* row = &cells[static_cast<std::size_t>(inBlock) * 5];
        int dec;
        row[0].i = digits(f[0], dec);
        std::memcpy(row[1].text, f[1].data(), std::min<std::size_t>(f[1].size(), 40));
        row[1].text[std::min<std::size_t>(f[1].size(), 40)] = 0;
        row[2].i = digits(f[2], dec);
        for (; dec < 2; ++dec)
            row[2].i *= 10;
        row[3].i =
            isoDay(std::atoi(f[3].data() + 6), std::atoi(f[3].data() + 3), std::atoi(f[3].data()));
        row[4].i = digits(f[4], dec);
        ++rows;
        if (++inBlock == perTrip) {
            send(full, fullArea, inBlock);
            inBlock = 0;
        }
    }
    if (inBlock > 0) {
        prepare(inBlock, rest, restArea);
        send(rest, restArea, inBlock);
    }
    full.Reset();
    rest.Reset();
    tr.Commit();
    return rows;
}

int child(const std::string& mode, long rows, const std::string& name, const std::string& csvPath,
          int delayMs) {
    std::unique_ptr<fbtest::Relay> relay;
    std::string dbName = name;
    if (delayMs >= 0) {
        relay =
            std::make_unique<fbtest::Relay>("127.0.0.1", 3050, std::chrono::milliseconds(delayMs));
        dbName = relay->name(name);
    }
    TFbDatabase db;
    TFbTransaction tr;
    db.SetDatabaseName(dbName);
    db.SetLoginPrompt(false);
    db.SetParams(login());
    tr.SetDefaultDatabase(&db);
    db.SetDefaultTransaction(&tr);
    db.Open();
    const long before = relay ? relay->exchanges() : 0;
    const auto t0 = Clock::now();
    long written = 0;
    if (mode == "floor") {
        const std::string csv = readAll(csvPath);
        TFbImportWriter probe(
            db, tr, "T",
            FbImportColumns(*db.TableFacts("T", tr), {"ID", "NOME", "VALOR", "DIA", "QTD"}));
        const int perTrip = probe.RowsPerTrip();
        tr.Commit();
        written = floorImport(db, tr, csv, perTrip);
    } else {
        std::string csv = importa::textoEmUtf8(readAll(csvPath));
        const importa::FormatoTexto f = importa::detectaFormato(csv);
        importa::Importacao imp(db.TableFacts("T", tr),
                                std::make_unique<importa::FonteTexto>(std::move(csv), f),
                                rtl::brazilianSettings());
        importa::Verificacao v;
        imp.verifica(v);
        if (v.ruins != 0) {
            std::fprintf(stderr, "bad rows: %s\n", v.problemas[0].motivo.c_str());
            return 1;
        }
        report("checked.s", seconds(t0));
        written = importa::gravaTudo(imp, db, tr, false, {}, nullptr, mode == "single" ? 1 : 0);
    }
    report("s", seconds(t0));
    report("rt", double(relay ? relay->exchanges() - before : 0));
    report("rows", double(written));
    db.Close();
    return written == rows ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<long> counts{100000, 1000000};
    long singleRows = 2000;
    int delay = 10;
    bool remote = true;
    std::string mode, name, csv;
    long rows = 0;
    int childDelay = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (a == "--rows") {
            counts.clear();
            std::stringstream s(next());
            for (std::string n; std::getline(s, n, ',');)
                counts.push_back(std::atol(n.c_str()));
        } else if (a == "--single") {
            singleRows = std::atol(next().c_str());
        } else if (a == "--delay") {
            delay = std::atoi(next().c_str());
        } else if (a == "--no-remote") {
            remote = false;
        } else if (a == "--child") {
            mode = next();
            rows = std::atol(next().c_str());
            name = next();
            csv = next();
            childDelay = std::atoi(next().c_str());
        } else {
            std::fprintf(stderr,
                         "usage: %s [--rows N,N...] [--single N] [--delay MS] [--no-remote]\n",
                         argv[0]);
            return 2;
        }
    }
    if (!mode.empty()) return child(mode, rows, name, csv, childDelay);

    char tmpl[] = "/tmp/brivane-bench-import-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    ::chmod(dir.c_str(), 0777); // the server creates its databases here
    std::printf("%-8s %-9s %-12s %10s %10s %9s %8s\n", "rows", "mode", "link", "seconds",
                "exchanges", "peak MiB", "x floor");
    int n = 0;
    for (const long count : counts) {
        const std::string csvPath = dir + "/rows.csv";
        writeCsv(csvPath, count);
        for (const bool viaRelay : {false, true}) {
            if (viaRelay && !remote) continue;
            const std::string link =
                viaRelay ? "relay " + std::to_string(2 * delay) + "ms" : "embedded";
            double floorSeconds = 0;
            for (const std::string m : {"floor", "program", "single"}) {
                const long r = m == "single" ? std::min(count, singleRows) : count;
                const std::string file = dir + "/d" + std::to_string(++n) + ".fdb";
                const std::string csvUsed = r == count ? csvPath : dir + "/few.csv";
                if (r != count) writeCsv(csvUsed, r);
                const std::string create = "CREATE DATABASE '" +
                                           std::string(viaRelay ? "localhost:" : "") + file +
                                           "' USER 'SYSDBA' PASSWORD '" + kPassword + "'";
                TFbDatabase::CreateDatabase(create);
                {
                    TFbDatabase db;
                    db.SetDatabaseName(viaRelay ? "localhost:" + file : file);
                    db.SetLoginPrompt(false);
                    db.SetParams(login());
                    db.Open();
                    db.ExecuteImmediate(kDdl);
                    db.Close();
                }
                const Run run = runChild({"--child", m, std::to_string(r), file, csvUsed,
                                          std::to_string(viaRelay ? delay : -1)});
                if (!run.ok()) return 1;
                const double scale = double(count) / double(r);
                const double s = run.figures.at("s") * scale;
                if (m == "floor") floorSeconds = s;
                std::printf("%-8ld %-9s %-12s %9s%.2f %10.0f %9.1f %8.2f\n", count, m.c_str(),
                            link.c_str(), scale > 1 ? "~" : "", s, run.figures.at("rt") * scale,
                            run.peakMiB, floorSeconds > 0 ? s / floorSeconds : 0.0);
                if (m == "program")
                    std::printf("%-8s %-9s %-12s %10.2f   (reading and checking every row)\n", "",
                                "  check", "", run.figures.at("checked.s"));
                std::fflush(stdout);
                std::remove(file.c_str());
            }
        }
    }
    std::filesystem::remove_all(dir);
    return 0;
}
