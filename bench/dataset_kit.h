#pragma once
// What the dataset benchmarks share: the generated tables, the raw fetch
// loop written directly on the client API (the floor every figure is set
// against), the bytes a row's values really take, and whole-process
// measurements (this program run again as a child: wall and CPU time from
// start to exit, peak resident size, and what the child prints).
#include "db/Fb.h"
#include "db/FbDatabase.h"
#include "db/FbIntf.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <map>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace benchds {

inline const char* kPassword = "plumtower";

// ---------------------------------------------------------------------------
// Tables.

/// The 12-column shape: a key, a CHAR, a VARCHAR and every number and date
/// kind the dataset maps, and a memo.
inline const char* kTwelveColumns =
    "(ID INTEGER NOT NULL PRIMARY KEY, C CHAR(10), V VARCHAR(60), S SMALLINT,"
    " D DOUBLE PRECISION, N92 NUMERIC(9,2), N186 NUMERIC(18,6), B BIGINT, DT DATE, TM TIME,"
    " TS TIMESTAMP, M BLOB SUB_TYPE 1)";

inline std::string twelveColumnsInsert(const std::string& table) {
    return "INSERT INTO " + table +
           " VALUES (:I, 'C' || MOD(:I, 1000), 'texto variavel da linha ' || :I,"
           " MOD(:I, 30000) - 15000, :I * 1.5, MOD(:I, 1000000) / 100.0, :I / 7.0,"
           " CAST(:I AS BIGINT) * 1000003, DATE '2000-01-01' + MOD(:I, 9000),"
           " TIME '00:00:00' + MOD(:I, 86400), TIMESTAMP '2000-01-01 00:00:00' + :I / 86400.0,"
           " 'memo da linha ' || :I)";
}

/// What business tables look like: wide VARCHARs holding short texts (3 to
/// 12 characters each).
inline const char* kWideColumns = "(ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(250),"
                                  " CIDADE VARCHAR(250), BAIRRO VARCHAR(250), OBS VARCHAR(500))";

inline std::string wideInsert(const std::string& table) {
    return "INSERT INTO " + table +
           " VALUES (:I, SUBSTRING('Maria Santos' FROM 1 FOR 3 + MOD(:I, 10)),"
           " SUBSTRING('Porto Alegre' FROM 1 FOR 3 + MOD(:I * 7, 10)),"
           " SUBSTRING('Centro Norte' FROM 1 FOR 3 + MOD(:I * 3, 10)),"
           " SUBSTRING('cliente novo' FROM 1 FOR 3 + MOD(:I / 10, 10)))";
}

/// Fills `table` with rows 1..rows in server-side loops.
inline void fillTable(TFbDatabase& db, const std::string& table, const std::string& insert,
                      long rows) {
    const long batch = 50000;
    for (long first = 1; first <= rows; first += batch) {
        const long last = std::min(rows, first + batch - 1);
        db.ExecuteImmediate("EXECUTE BLOCK AS DECLARE I INTEGER = " + std::to_string(first) +
                            "; BEGIN WHILE (I <= " + std::to_string(last) + ") DO BEGIN " + insert +
                            "; I = I + 1; END END");
        std::fprintf(stderr, "\r%s: %ld rows", table.c_str(), last);
    }
    std::fprintf(stderr, "\n");
}

struct TableSizes {
    long bench = 1000000;  // BENCH, 12 columns
    long wide = 200000;    // WIDE
    long growth = 2000000; // GROWTH, 12 columns, walked with checkpoints
    long small = 1000;     // SMALL, 12 columns (opening a small table)
};

/// Creates `path` (character set NONE, embedded engine) with every table.
inline void createTables(const std::string& path, const TableSizes& n) {
    TFbDatabase::CreateDatabase("CREATE DATABASE '" + path + "' USER 'SYSDBA' PASSWORD '" +
                                    kPassword + "' PAGE_SIZE 16384 DEFAULT CHARACTER SET NONE",
                                3);
    TFbDatabase db;
    db.SetDatabaseName(path);
    db.SetLoginPrompt(false);
    db.SetParams({"user_name=SYSDBA", std::string("password=") + kPassword});
    db.Open();
    const std::pair<const char*, const char*> shapes[] = {{"BENCH", kTwelveColumns},
                                                          {"SMALL", kTwelveColumns},
                                                          {"GROWTH", kTwelveColumns},
                                                          {"WIDE", kWideColumns}};
    for (const auto& [name, columns] : shapes)
        db.ExecuteImmediate(std::string("CREATE TABLE ") + name + " " + columns);
    fillTable(db, "SMALL", twelveColumnsInsert("SMALL"), n.small);
    fillTable(db, "BENCH", twelveColumnsInsert("BENCH"), n.bench);
    fillTable(db, "WIDE", wideInsert("WIDE"), n.wide);
    fillTable(db, "GROWTH", twelveColumnsInsert("GROWTH"), n.growth);
    db.Close();
}

/// The SELECT the table dataset generates for `table` (key ID).
inline std::string tableSelect(const std::string& table) {
    return "select \"" + table + "\".*, RDB$DB_KEY as FB_INTERNAL_DBKEY from \"" + table +
           "\"\r\n order by \"ID\"";
}

// ---------------------------------------------------------------------------
// Measuring inside a child.

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

/// Bytes the C heap holds for the program (small blocks and mapped ones).
inline double heapBytes() {
    struct mallinfo2 m = mallinfo2();
    return double(m.uordblks) + double(m.hblkhd);
}

/// Resident bytes of this process now (VmRSS).
inline double residentBytes() {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            in >> kb;
            return double(kb) * 1024;
        }
        in.ignore(1 << 20, '\n');
    }
    return 0;
}

/// A figure a child hands to its parent: one "name value" line on stdout.
inline void report(const char* name, double value) {
    std::printf("%s %.6f\n", name, value);
    std::fflush(stdout);
}

struct RawOptions {
    std::vector<long> checkpoints; // report "at<n>" seconds since start when row n came
    bool valueBytes = false;       // report the average bytes of the values of a row
    std::function<void(const XSQLDA&)> eachRow; // handed every fetched row
};

/// Room for the columns of a described row and their null indicators.
struct RawRow {
    std::vector<std::vector<char>> data;
    std::vector<short> nulls;
    /// Points every column of `da` (described) at a buffer of its own.
    void bind(XSQLDA* da) {
        data.assign(static_cast<std::size_t>(da->sqld), {});
        nulls.assign(static_cast<std::size_t>(da->sqld), 0);
        for (int i = 0; i < da->sqld; ++i) {
            XSQLVAR& v = da->sqlvar[i];
            std::size_t len =
                static_cast<std::size_t>(v.sqllen) + ((v.sqltype & ~1) == SQL_VARYING ? 2 : 0);
            data[static_cast<std::size_t>(i)].resize(std::max<std::size_t>(len, 1));
            v.sqldata = data[static_cast<std::size_t>(i)].data();
            v.sqlind = &nulls[static_cast<std::size_t>(i)];
        }
    }
};

/// Attach, start a transaction, prepare, execute and fetch `sql` to the end,
/// with the client API alone: what any program reading these rows must pay.
/// Returns the rows fetched.
inline long rawFetch(const std::string& path, const std::string& sql, const RawOptions& o = {}) {
    const auto t0 = Clock::now();
    RequireClientLibrary();
    const TFbClientApi& api = FbApi();
    ISC_STATUS* st = StatusVector();
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    isc_stmt_handle stmt = 0;
    std::string dpb = GenerateDPB({"user_name=SYSDBA", std::string("password=") + kPassword});
    CheckStatus(api.isc_attach_database(st, static_cast<short>(path.size()), path.c_str(), &db,
                                        static_cast<short>(dpb.size()), dpb.data()));
    struct {
        isc_db_handle* db;
        ISC_LONG tpbLength;
        char* tpb;
    } teb{&db, 0, nullptr};
    CheckStatus(api.isc_start_multiple(st, &tr, 1, &teb));
    CheckStatus(api.isc_dsql_alloc_statement2(st, &db, &stmt));
    std::vector<char> daBuf(XSQLDA_LENGTH(40));
    auto* da = reinterpret_cast<XSQLDA*>(daBuf.data());
    da->version = SQLDA_VERSION1;
    da->sqln = 40;
    CheckStatus(api.isc_dsql_prepare(st, &tr, &stmt, 0, sql.c_str(), 3, da));
    RawRow row;
    row.bind(da);
    CheckStatus(api.isc_dsql_execute(st, &tr, &stmt, 3, nullptr));
    long rows = 0;
    double valueBytes = 0;
    std::size_t next = 0;
    while (api.isc_dsql_fetch(st, &stmt, 3, da) == 0) {
        ++rows;
        if (o.eachRow) o.eachRow(*da);
        if (o.valueBytes) {
            // A value's own bytes: VARCHAR its length, CHAR without the
            // blanks that pad it, a number, date or blob id its size. The
            // row key is left out: it counts as the cache's own overhead.
            for (int i = 0; i < da->sqld; ++i) {
                const XSQLVAR& v = da->sqlvar[i];
                if (((v.sqltype & 1) && *v.sqlind == -1) ||
                    std::strncmp(v.sqlname, "DB_KEY", 6) == 0)
                    continue;
                switch (v.sqltype & ~1) {
                case SQL_VARYING: {
                    unsigned short len;
                    std::memcpy(&len, v.sqldata, 2);
                    valueBytes += len;
                    break;
                }
                case SQL_TEXT: {
                    int len = v.sqllen;
                    while (len > 0 && v.sqldata[len - 1] == ' ')
                        --len;
                    valueBytes += len;
                    break;
                }
                default:
                    valueBytes += v.sqllen;
                    break;
                }
            }
        }
        if (next < o.checkpoints.size() && rows == o.checkpoints[next]) {
            report(("at" + std::to_string(rows)).c_str(), seconds(t0));
            ++next;
        }
    }
    api.isc_dsql_free_statement(st, &stmt, DSQL_drop);
    api.isc_commit_transaction(st, &tr);
    api.isc_detach_database(st, &db);
    if (o.valueBytes && rows) report("valueBytes", valueBytes / double(rows));
    return rows;
}

// ---------------------------------------------------------------------------
// Running a child and gathering figures.

/// One whole-process run: this program with `args`.
struct Run {
    double wall = -1; // seconds from start to exit
    double cpu = 0;   // user + system seconds
    double peakMiB = 0;
    std::map<std::string, double> figures; // what the child reported
    bool ok() const { return wall >= 0; }
};

inline Run runChild(const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) return {};
    const auto t0 = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        static char self[] = "/proc/self/exe";
        argv.push_back(self);
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(self, argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    struct rusage use {};
    wait4(pid, &status, 0, &use);
    Run r;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "child failed:");
        for (const std::string& a : args)
            std::fprintf(stderr, " %s", a.c_str());
        std::fprintf(stderr, "\n");
        return r;
    }
    r.wall = seconds(t0);
    r.cpu = double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
            double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
    r.peakMiB = double(use.ru_maxrss) / 1024.0;
    std::istringstream lines(text);
    std::string name;
    double value;
    while (lines >> name >> value)
        r.figures[name] = value;
    return r;
}

/// The median of the runs of one measurement, per quantity.
struct Series {
    std::vector<Run> runs;
    static double median(std::vector<double> v) {
        if (v.empty()) return 0;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
    double of(const std::function<double(const Run&)>& f) const {
        std::vector<double> v;
        for (const Run& r : runs)
            if (r.ok()) v.push_back(f(r));
        return median(v);
    }
    double wall() const {
        return of([](const Run& r) { return r.wall; });
    }
    double cpu() const {
        return of([](const Run& r) { return r.cpu; });
    }
    double peak() const {
        return of([](const Run& r) { return r.peakMiB; });
    }
    double figure(const std::string& name) const {
        return of([&](const Run& r) {
            auto it = r.figures.find(name);
            return it == r.figures.end() ? 0.0 : it->second;
        });
    }
    double best() const {
        double b = 1e300;
        for (const Run& r : runs)
            if (r.ok()) b = std::min(b, r.wall);
        return b;
    }
    /// The median of the round-by-round ratios of the wall times to those of
    /// `base`: runs next to each other meet the same load.
    double pairedRatio(const Series& base) const {
        std::vector<double> v;
        for (std::size_t i = 0; i < runs.size() && i < base.runs.size(); ++i)
            if (runs[i].ok() && base.runs[i].ok()) v.push_back(runs[i].wall / base.runs[i].wall);
        return median(v);
    }
    /// Largest spread of the wall times around the median, in percent.
    double spread() const {
        double m = wall();
        double s = 0;
        for (const Run& r : runs)
            if (r.ok() && m > 0) s = std::max(s, std::abs(r.wall - m) / m * 100);
        return s;
    }
};

/// The load average of the machine over the last minute.
inline double loadAverage() {
    double l[1] = {0};
    return getloadavg(l, 1) == 1 ? l[0] : -1;
}

} // namespace benchds
