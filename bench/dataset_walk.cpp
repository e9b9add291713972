// Walks the table BENCH made by bench_dataset_gen with the table dataset,
// reading every field of every row as text, beside a raw fetch loop written
// directly on the client API over the same SELECT (the floor), in the same
// run. Also times opening BENCH against opening SMALL (1000 rows) and the
// memory the record cache takes per row.
// Usage: bench_dataset_walk <file.fdb> [rounds]
// BENCH_MEMO=1 adds a run that reads every memo's content in both loops;
// BENCH_BARE=1 walks without reading any field (the dataset's own cost).
#include "db/Fb.h"
#include "db/FbDatabase.h"
#include "db/FbIntf.h"
#include "db/FbTable.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

/// CPU seconds of the whole process (the embedded engine runs inside it):
/// steadier than wall time on a machine shared with other work.
double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

/// Resident memory of this process in bytes (VmRSS).
long residentBytes() {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            in >> kb;
            return kb * 1024;
        }
        in.ignore(1 << 20, '\n');
    }
    return 0;
}

struct RawResult {
    long rows = 0;
    long blobBytes = 0;
    double seconds = 0;
    double cpu = 0;
    double fetchSeconds = 0; // the fetch loop alone (after execute)
    double fetchCpu = 0;
};

/// Prepare, execute and fetch `sql` to the end on a fresh attachment, with
/// the client API only. With `readMemo`, also reads the content of every
/// blob column of every row.
RawResult rawLoop(const std::string& path, const std::string& sql, bool readMemo) {
    const TFbClientApi& api = FbApi();
    ISC_STATUS* st = StatusVector();
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    isc_stmt_handle stmt = 0;
    std::string dpb = GenerateDPB({"user_name=SYSDBA", "password=plumtower"});
    CheckStatus(api.isc_attach_database(st, static_cast<short>(path.size()), path.c_str(), &db,
                                        static_cast<short>(dpb.size()), dpb.data()));
    struct {
        isc_db_handle* db;
        ISC_LONG tpbLength;
        char* tpb;
    } teb{&db, 0, nullptr};
    CheckStatus(api.isc_start_multiple(st, &tr, 1, &teb));

    RawResult r;
    auto t0 = Clock::now();
    const double c0 = cpuNow();
    CheckStatus(api.isc_dsql_alloc_statement2(st, &db, &stmt));
    std::vector<char> daBuf(XSQLDA_LENGTH(20));
    auto* da = reinterpret_cast<XSQLDA*>(daBuf.data());
    da->version = SQLDA_VERSION1;
    da->sqln = 20;
    CheckStatus(api.isc_dsql_prepare(st, &tr, &stmt, 0, sql.c_str(), 3, da));
    std::vector<std::vector<char>> data(static_cast<std::size_t>(da->sqld));
    std::vector<short> nulls(static_cast<std::size_t>(da->sqld));
    for (int i = 0; i < da->sqld; ++i) {
        XSQLVAR& v = da->sqlvar[i];
        std::size_t len =
            static_cast<std::size_t>(v.sqllen) + ((v.sqltype & ~1) == SQL_VARYING ? 2 : 0);
        data[static_cast<std::size_t>(i)].resize(std::max<std::size_t>(len, 1));
        v.sqldata = data[static_cast<std::size_t>(i)].data();
        v.sqlind = &nulls[static_cast<std::size_t>(i)];
    }
    CheckStatus(api.isc_dsql_execute(st, &tr, &stmt, 3, nullptr));
    const auto f0 = Clock::now();
    const double fc0 = cpuNow();
    char seg[16384];
    while (api.isc_dsql_fetch(st, &stmt, 3, da) == 0) {
        ++r.rows;
        if (!readMemo) continue;
        for (int i = 0; i < da->sqld; ++i) {
            XSQLVAR& v = da->sqlvar[i];
            if ((v.sqltype & ~1) != SQL_BLOB || ((v.sqltype & 1) && *v.sqlind == -1)) continue;
            isc_blob_handle blob = 0;
            auto* id = reinterpret_cast<ISC_QUAD*>(v.sqldata);
            CheckStatus(api.isc_open_blob2(st, &db, &tr, &blob, id, 0, nullptr));
            unsigned short got = 0;
            for (;;) {
                ISC_STATUS s = api.isc_get_segment(st, &blob, &got, sizeof seg, seg);
                if (s != 0 && s != isc_segment) break;
                r.blobBytes += got;
            }
            api.isc_close_blob(st, &blob);
        }
    }
    r.fetchSeconds = seconds(f0);
    r.fetchCpu = cpuNow() - fc0;
    api.isc_dsql_free_statement(st, &stmt, DSQL_drop);
    r.seconds = seconds(t0);
    r.cpu = cpuNow() - c0;
    api.isc_commit_transaction(st, &tr);
    api.isc_detach_database(st, &db);
    return r;
}

struct WalkResult {
    long rows = 0;
    std::size_t textBytes = 0;
    double openSeconds = 0;
    double seconds = 0;
    double cpu = 0;
    double fetchSeconds = 0; // First to Eof (after the open)
    double fetchCpu = 0;
    double cachedSeconds = 0; // a second First to Eof, from the cache
    long rssGrowth = 0;
    std::size_t recordSize = 0;
};

/// Opens `table` and walks it First to Eof reading every field as text
/// (memo as its grid text unless `readMemo`). `append` reads through the
/// appending readers into one reused buffer instead of a new string.
WalkResult walk(TFbTable& t, const std::string& table, bool readMemo, bool append) {
    WalkResult r;
    t.Close();
    t.SetTableName(table);
    long rss0 = residentBytes();
    auto t0 = Clock::now();
    const double c0 = cpuNow();
    t.Open();
    r.openSeconds = seconds(t0);
    const auto f0 = Clock::now();
    const double fc0 = cpuNow();
    std::string buffer;
    const int n = std::getenv("BENCH_BARE") ? 0 : t.FieldCount();
    auto pass = [&] {
        t.First();
        while (!t.Eof()) {
            for (int i = 0; i < n; ++i) {
                TField& f = t.Fields(i);
                if (append) {
                    buffer.clear();
                    if (f.IsBlob() && !readMemo)
                        f.AppendDisplayText(buffer);
                    else
                        f.AppendAsString(buffer);
                    r.textBytes += buffer.size();
                } else {
                    std::string s = f.IsBlob() && !readMemo ? f.DisplayText() : f.AsString();
                    r.textBytes += s.size();
                }
            }
            ++r.rows;
            t.Next();
        }
    };
    pass();
    r.fetchSeconds = seconds(f0);
    r.fetchCpu = cpuNow() - fc0;
    r.seconds = seconds(t0);
    r.cpu = cpuNow() - c0;
    r.rssGrowth = residentBytes() - rss0;
    // A second pass reads every row from the cache: the cost of the text alone.
    const long fetched = r.rows;
    const auto p0 = Clock::now();
    pass();
    r.cachedSeconds = seconds(p0);
    r.rows = fetched;
    r.recordSize = t.RecordSize();
    t.Close();
    return r;
}

struct OpenTimes {
    double bigMedian = 0, bigMin = 0, smallMedian = 0, smallMin = 0;
};

/// Opens (and closes) the two tables in turn `times` times each, so that a
/// busy moment of the machine hits both alike.
OpenTimes openTimes(TFbTable& t, const std::string& big, const std::string& small, int times) {
    std::vector<double> vb, vs;
    auto once = [&](const std::string& name, std::vector<double>& into) {
        t.Close();
        t.SetTableName(name);
        auto t0 = Clock::now();
        t.Open();
        into.push_back(seconds(t0));
        t.Close();
    };
    for (int i = 0; i < times; ++i) {
        once(big, vb);
        once(small, vs);
    }
    std::sort(vb.begin(), vb.end());
    std::sort(vs.begin(), vs.end());
    return {vb[vb.size() / 2], vb.front(), vs[vs.size() / 2], vs.front()};
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <file.fdb> [rounds]\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
    try {
        TFbDatabase db;
        TFbTransaction tr;
        TFbTable t;
        db.SetDatabaseName(path);
        db.SetLoginPrompt(false);
        db.SetParams({"user_name=SYSDBA", "password=plumtower"});
        tr.SetDefaultDatabase(&db);
        db.SetDefaultTransaction(&tr);
        db.Open();
        t.SetDatabase(&db);
        t.SetTransaction(&tr);
        t.SetBufferChunks(1000);

        // The table's own SELECT, so both loops run the same text.
        t.SetTableName("BENCH");
        t.Open();
        const std::string sql = t.SelectText();
        t.Close();
        std::printf("SELECT: %s\n", sql.c_str());

        // Best of the rounds, per loop: wall and CPU, whole run and fetch phase.
        struct Best {
            double wall = 1e9, cpu = 1e9, fetchWall = 1e9, fetchCpu = 1e9;
            void take(double w, double c, double fw, double fc) {
                wall = std::min(wall, w);
                cpu = std::min(cpu, c);
                fetchWall = std::min(fetchWall, fw);
                fetchCpu = std::min(fetchCpu, fc);
            }
        } bRaw, bWalk, bAppend;
        double cachedWalk = 1e9, cachedAppend = 1e9;
        long rows = 0;
        WalkResult last;
        for (int round = 0; round < rounds; ++round) {
            RawResult raw = rawLoop(path, sql, false);
            WalkResult w = walk(t, "BENCH", false, false);
            WalkResult wa = walk(t, "BENCH", false, true);
            bRaw.take(raw.seconds, raw.cpu, raw.fetchSeconds, raw.fetchCpu);
            bWalk.take(w.seconds, w.cpu, w.fetchSeconds, w.fetchCpu);
            bAppend.take(wa.seconds, wa.cpu, wa.fetchSeconds, wa.fetchCpu);
            cachedWalk = std::min(cachedWalk, w.cachedSeconds);
            cachedAppend = std::min(cachedAppend, wa.cachedSeconds);
            rows = raw.rows;
            if (w.rows != raw.rows)
                std::fprintf(stderr, "row counts differ: raw %ld, walk %ld\n", raw.rows, w.rows);
            if (round == 0) last = w;
            std::printf("round %d: raw %.3f s (fetch %.3f), walk %.3f s (fetch %.3f, open %.4f), "
                        "appending %.3f s (fetch %.3f)\n",
                        round + 1, raw.seconds, raw.fetchSeconds, w.seconds, w.fetchSeconds,
                        w.openSeconds, wa.seconds, wa.fetchSeconds);
        }
        double memoRaw = 0, memoWalk = 0;
        if (std::getenv("BENCH_MEMO")) {
            memoRaw = rawLoop(path, sql, true).seconds;
            memoWalk = walk(t, "BENCH", true, true).seconds;
        }
        const OpenTimes open = openTimes(t, "BENCH", "SMALL", 15);

        auto line = [&](const char* what, const Best& b) {
            std::printf("%-24s %9.0f rows/s  whole %.3f s (cpu %.3f)  fetch phase %.3f s (cpu "
                        "%.3f)\n",
                        what, rows / b.wall, b.wall, b.cpu, b.fetchWall, b.fetchCpu);
        };
        std::printf("\nrows: %ld (best of %d rounds)\n", rows, rounds);
        line("raw fetch loop:", bRaw);
        line("dataset walk, AsString:", bWalk);
        line("dataset walk, appending:", bAppend);
        std::printf("ratio walk/raw: whole %.2f (cpu %.2f), fetch phase %.2f (cpu %.2f)\n",
                    bWalk.wall / bRaw.wall, bWalk.cpu / bRaw.cpu, bWalk.fetchWall / bRaw.fetchWall,
                    bWalk.fetchCpu / bRaw.fetchCpu);
        std::printf("ratio appending/raw: whole %.2f (cpu %.2f), fetch phase %.2f (cpu %.2f)\n",
                    bAppend.wall / bRaw.wall, bAppend.cpu / bRaw.cpu,
                    bAppend.fetchWall / bRaw.fetchWall, bAppend.fetchCpu / bRaw.fetchCpu);
        std::printf("second pass from the cache (text only): AsString %.3f s (%.0f ns/row), "
                    "appending %.3f s (%.0f ns/row)\n",
                    cachedWalk, cachedWalk * 1e9 / double(rows), cachedAppend,
                    cachedAppend * 1e9 / double(rows));
        if (memoWalk > 0)
            std::printf("with memo contents read: raw %.3f s, walk %.3f s, ratio %.2f\n", memoRaw,
                        memoWalk, memoWalk / memoRaw);
        std::printf("record size: %zu bytes; resident growth during the walk: %.1f bytes/row\n",
                    last.recordSize, rows ? double(last.rssGrowth) / double(rows) : 0.0);
        std::printf("open BENCH: median %.4f s, best %.4f s; open SMALL: median %.4f s, best "
                    "%.4f s; ratio of medians %.2f, of bests %.2f\n",
                    open.bigMedian, open.bigMin, open.smallMedian, open.smallMin,
                    open.bigMedian / open.smallMedian, open.bigMin / open.smallMin);
        db.Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
