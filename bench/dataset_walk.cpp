// Walks the table BENCH made by bench_dataset_gen with the table dataset,
// reading every field of every row as text, beside a raw fetch loop written
// directly on the client API over the same SELECT (the floor), in the same
// run. Also times opening BENCH against opening SMALL (1000 rows) and the
// memory the record cache takes per row.
// Usage: bench_dataset_walk <file.fdb> [rounds]
#include "db/Fb.h"
#include "db/FbDatabase.h"
#include "db/FbIntf.h"
#include "db/FbTable.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
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
    api.isc_dsql_free_statement(st, &stmt, DSQL_drop);
    r.seconds = seconds(t0);
    api.isc_commit_transaction(st, &tr);
    api.isc_detach_database(st, &db);
    return r;
}

struct WalkResult {
    long rows = 0;
    std::size_t textBytes = 0;
    double openSeconds = 0;
    double seconds = 0;
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
    t.Open();
    r.openSeconds = seconds(t0);
    std::string buffer;
    t.First();
    const int n = t.FieldCount();
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
    r.seconds = seconds(t0);
    r.rssGrowth = residentBytes() - rss0;
    r.recordSize = t.RecordSize();
    t.Close();
    return r;
}

double medianOpen(TFbTable& t, const std::string& table, int times) {
    std::vector<double> v;
    for (int i = 0; i < times; ++i) {
        t.Close();
        t.SetTableName(table);
        auto t0 = Clock::now();
        t.Open();
        v.push_back(seconds(t0));
        t.Close();
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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

        double best[4] = {1e9, 1e9, 1e9, 1e9};
        double bestMemoRaw = 1e9, bestMemoWalk = 1e9;
        long rows = 0;
        WalkResult last;
        for (int round = 0; round < rounds; ++round) {
            RawResult raw = rawLoop(path, sql, false);
            WalkResult w = walk(t, "BENCH", false, false);
            WalkResult wa = walk(t, "BENCH", false, true);
            best[0] = std::min(best[0], raw.seconds);
            best[1] = std::min(best[1], w.seconds);
            best[2] = std::min(best[2], wa.seconds);
            rows = raw.rows;
            if (w.rows != raw.rows)
                std::fprintf(stderr, "row counts differ: raw %ld, walk %ld\n", raw.rows, w.rows);
            if (round == 0) last = w;
            std::printf("round %d: raw %.3f s, walk %.3f s (open %.4f s), walk/append %.3f s\n",
                        round + 1, raw.seconds, w.seconds, w.openSeconds, wa.seconds);
        }
        if (std::getenv("BENCH_MEMO")) {
            RawResult raw = rawLoop(path, sql, true);
            WalkResult w = walk(t, "BENCH", true, true);
            bestMemoRaw = raw.seconds;
            bestMemoWalk = w.seconds;
        }
        const double openBig = medianOpen(t, "BENCH", 5);
        const double openSmall = medianOpen(t, "SMALL", 5);

        std::printf("\nrows: %ld\n", rows);
        std::printf("raw fetch loop:          %10.0f rows/s (%.3f s)\n", rows / best[0], best[0]);
        std::printf("dataset walk, AsString:  %10.0f rows/s (%.3f s)  ratio %.2f\n", rows / best[1],
                    best[1], best[1] / best[0]);
        std::printf("dataset walk, appending: %10.0f rows/s (%.3f s)  ratio %.2f\n", rows / best[2],
                    best[2], best[2] / best[0]);
        if (bestMemoWalk < 1e9)
            std::printf("with memo contents:      raw %.3f s, walk %.3f s, ratio %.2f\n",
                        bestMemoRaw, bestMemoWalk, bestMemoWalk / bestMemoRaw);
        std::printf("record size: %zu bytes; resident growth during the walk: %.1f bytes/row\n",
                    last.recordSize, rows ? double(last.rssGrowth) / double(rows) : 0.0);
        std::printf("open BENCH (median of 5): %.4f s; open SMALL: %.4f s; ratio %.2f\n", openBig,
                    openSmall, openBig / openSmall);
        db.Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
