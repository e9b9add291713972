// The table dataset against the raw fetch loop of the client API, in whole
// processes, on tables this program generates itself:
//   BENCH  12 columns (every kind the dataset maps), 1,000,000 rows
//   WIDE   ID + four wide VARCHARs holding 3 to 12 characters, 200,000 rows
//   GROWTH the 12-column shape, 2,000,000 rows, fetched with checkpoints
//   SMALL  the 12-column shape, 1,000 rows (opening must not cost more on BENCH)
// Every figure is a separate run of this program (attach and open included),
// the median of the rounds, printed beside the raw loop of the same rounds.
// Rounds interleave the measurements so a busy moment of the machine hits
// them alike.
//
// Usage: bench_dataset_walk [--db FILE] [--keep] [--rounds N] [--scale F]
//   --db FILE   use (or create, then keep) this database instead of a temporary one
//   --rounds N  runs per figure (default 5)
//   --scale F   multiplies every table size (0.1 for a quick look)
#include "bench/dataset_kit.h"
#include "db/FbTable.h"
#include "export/ExpDataSet.h"
#include "rtl/settings.h"

#include <filesystem>

namespace fs = std::filesystem;
using namespace benchds;

namespace {

struct Wired {
    TFbDatabase db;
    TFbTransaction tr;
    TFbTable t;
    Wired(const std::string& path, const std::string& table) {
        db.SetDatabaseName(path);
        db.SetLoginPrompt(false);
        db.SetParams({"user_name=SYSDBA", std::string("password=") + kPassword});
        tr.SetDefaultDatabase(&db);
        db.SetDefaultTransaction(&tr);
        t.SetDatabase(&db);
        t.SetTransaction(&tr);
        t.SetBufferChunks(1000);
        t.SetTableName(table);
    }
};

// ---- what a child runs ----------------------------------------------------

/// Bytes the dataset holds for its cached rows: what it reports where it can
/// (its blocks may be mapped outside the C heap), else the heap's growth
/// since `heap0`.
template <typename DataSet> double cacheBytes(const DataSet& t, double heap0) {
    if constexpr (requires { t.CacheBytes(); })
        return double(t.CacheBytes());
    else
        return heapBytes() - heap0;
}

/// Open and walk First to Eof reading every field as text: through the
/// appending readers into one reused buffer, or as a new string per field.
/// Memo and blob fields give their grid text, as a grid or export reads them.
int childWalk(const std::string& path, const std::string& table, bool append) {
    Wired w(path, table);
    w.t.Open();
    const double heap0 = heapBytes();
    const int n = w.t.FieldCount();
    std::vector<bool> blob(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        blob[static_cast<std::size_t>(i)] = w.t.Fields(i).IsBlob();
    std::string buffer;
    std::size_t bytes = 0;
    long rows = 0;
    for (w.t.First(); !w.t.Eof(); w.t.Next()) {
        for (int i = 0; i < n; ++i) {
            const TField& f = w.t.Fields(i);
            if (append) {
                buffer.clear();
                if (blob[static_cast<std::size_t>(i)])
                    f.AppendDisplayText(buffer);
                else
                    f.AppendAsString(buffer);
                bytes += buffer.size();
            } else {
                std::string s = blob[static_cast<std::size_t>(i)] ? f.DisplayText() : f.AsString();
                bytes += s.size();
            }
        }
        ++rows;
    }
    report("rows", double(rows));
    report("textBytes", double(bytes) / double(std::max(rows, 1L)));
    report("cachePerRow", cacheBytes(w.t, heap0) / double(std::max(rows, 1L)));
    return 0;
}

/// Open, then Last: every row into the cache, as Ctrl+End in the grid does.
int childLast(const std::string& path, const std::string& table) {
    Wired w(path, table);
    w.t.Open();
    const double heap0 = heapBytes();
    const auto t0 = Clock::now();
    w.t.Last();
    report("lastSeconds", seconds(t0));
    report("rows", w.t.RecordCount());
    report("cachePerRow", cacheBytes(w.t, heap0) / double(std::max(w.t.RecordCount(), 1)));
    return 0;
}

/// The text export as the dialog runs it: open, Last, First, then the
/// writer over every field.
int childExport(const std::string& path, const std::string& table, const std::string& out) {
    rtl::setFormatSettings(rtl::brazilianSettings());
    Wired w(path, table);
    w.t.Open();
    for (int i = 0; i < w.t.FieldCount(); ++i) {
        TField& f = w.t.Fields(i);
        const std::string format = DefaultDisplayFormat(f.DataType(), f.FieldName());
        if (!format.empty()) f.SetDisplayFormat(format);
    }
    w.t.Last();
    w.t.First();
    w.t.DisableControls();
    exporta::FonteDataSet source(w.t);
    exporta::ExpText(out, source, ",", "''");
    w.t.EnableControls();
    std::error_code ec;
    report("fileBytes", double(fs::file_size(out, ec)));
    fs::remove(out, ec);
    return 0;
}

/// Fetches into the cache in steps, reporting the seconds since the start
/// and the heap per row when each checkpoint is reached.
int childGrow(const std::string& path, const std::string& table, const std::vector<long>& marks) {
    const auto t0 = Clock::now();
    Wired w(path, table);
    w.t.Open();
    const double heap0 = heapBytes();
    for (long mark : marks) {
        while (w.t.RecordCount() < mark && !w.t.AllFetched())
            w.t.FetchMore(int(std::min<long>(mark - w.t.RecordCount(), 100000)));
        const std::string n = std::to_string(w.t.RecordCount());
        report(("at" + n).c_str(), seconds(t0));
        report(("cache" + n).c_str(), cacheBytes(w.t, heap0) / double(w.t.RecordCount()));
    }
    return 0;
}

/// Opening BENCH against opening SMALL, in one process, alternately.
int childOpen(const std::string& path) {
    Wired w(path, "BENCH");
    std::vector<double> big, small;
    for (int i = 0; i < 15; ++i)
        for (auto* which : {&big, &small}) {
            w.t.Close();
            w.t.SetTableName(which == &big ? "BENCH" : "SMALL");
            const auto t0 = Clock::now();
            w.t.Open();
            which->push_back(seconds(t0));
        }
    report("openBig", Series::median(big));
    report("openSmall", Series::median(small));
    return 0;
}

int child(const std::vector<std::string>& a) {
    const std::string& mode = a[0];
    const std::string& path = a[1];
    std::vector<long> marks;
    for (std::size_t i = 3; i < a.size(); ++i)
        marks.push_back(std::atol(a[i].c_str()));
    if (mode == "gen") {
        TableSizes n;
        n.bench = marks.at(0), n.wide = marks.at(1), n.growth = marks.at(2);
        createTables(path, n);
        return 0;
    }
    if (mode == "open") return childOpen(path);
    const std::string& table = a.at(2);
    if (mode == "raw") {
        RawOptions o;
        o.checkpoints = marks;
        report("rows", double(rawFetch(path, tableSelect(table), o)));
        return 0;
    }
    if (mode == "values") {
        RawOptions o;
        o.valueBytes = true;
        rawFetch(path, tableSelect(table), o);
        return 0;
    }
    if (mode == "walk") return childWalk(path, table, true);
    if (mode == "walkstr") return childWalk(path, table, false);
    if (mode == "last") return childLast(path, table);
    if (mode == "export") return childExport(path, table, a.at(3));
    if (mode == "grow") return childGrow(path, table, marks);
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}

// ---- the parent ------------------------------------------------------------

/// Wall time (median) and its ratio to the raw loop's: of the medians, the
/// median of the round-by-round ratios, and of the best runs; CPU time and
/// peak memory with their ratios.
void printRow(const char* what, const Series& s, const Series& raw) {
    std::printf("  %-28s %6.3f s %5.2fx (paired %5.2fx, best %5.2fx)  cpu %6.3f s %5.2fx  "
                "peak %6.1f MiB %5.2fx  ±%.0f%%\n",
                what, s.wall(), s.wall() / raw.wall(), s.pairedRatio(raw), s.best() / raw.best(),
                s.cpu(), s.cpu() / raw.cpu(), s.peak(), s.peak() / raw.peak(), s.spread());
}

void printRaw(const char* what, const Series& raw) {
    std::printf("  %-28s %6.3f s (best %6.3f s)                 cpu %6.3f s         peak %6.1f "
                "MiB         ±%.0f%%\n",
                what, raw.wall(), raw.best(), raw.cpu(), raw.peak(), raw.spread());
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (!args.empty() && args[0] == "--child")
            return child(std::vector<std::string>(args.begin() + 1, args.end()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }

    std::string dbPath;
    bool keep = false;
    int rounds = 5;
    double scale = 1;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--db" && i + 1 < args.size())
            dbPath = args[++i], keep = true;
        else if (args[i] == "--keep")
            keep = true;
        else if (args[i] == "--rounds" && i + 1 < args.size())
            rounds = std::max(1, std::atoi(args[++i].c_str()));
        else if (args[i] == "--scale" && i + 1 < args.size())
            scale = std::atof(args[++i].c_str());
        else {
            std::fprintf(stderr, "usage: %s [--db FILE] [--keep] [--rounds N] [--scale F]\n",
                         argv[0]);
            return 2;
        }
    }
    TableSizes n;
    n.bench = long(double(n.bench) * scale);
    n.wide = long(double(n.wide) * scale);
    n.growth = long(double(n.growth) * scale);
    const std::vector<long> marks = {n.growth / 8, n.growth / 2, n.growth};

    fs::path folder;
    if (dbPath.empty()) {
        folder = fs::temp_directory_path() / ("dataset_walk_" + std::to_string(getpid()));
        fs::create_directories(folder);
        dbPath = (folder / "bench.fdb").string();
    }
    if (!fs::exists(dbPath)) {
        const auto t0 = Clock::now();
        Run gen = runChild({"--child", "gen", dbPath, "-", std::to_string(n.bench),
                            std::to_string(n.wide), std::to_string(n.growth)});
        if (!gen.ok()) return 1;
        std::printf("generated %s in %.0f s\n", dbPath.c_str(), seconds(t0));
    }
    const std::string exportFile = dbPath + ".txt";
    const double load0 = loadAverage();

    Run benchValues = runChild({"--child", "values", dbPath, "BENCH"});
    Run wideValues = runChild({"--child", "values", dbPath, "WIDE"});
    Series rawBench, walkBench, walkStrBench, lastBench, exportBench;
    Series rawWide, walkWide, lastWide;
    Series rawGrowth, growGrowth;
    std::vector<std::string> markArgs;
    for (long m : marks)
        markArgs.push_back(std::to_string(m));
    auto withMarks = [&](std::vector<std::string> a) {
        a.insert(a.end(), markArgs.begin(), markArgs.end());
        return a;
    };
    for (int round = 0; round < rounds; ++round) {
        std::fprintf(stderr, "round %d of %d (load %.2f)\n", round + 1, rounds, loadAverage());
        rawBench.runs.push_back(runChild({"--child", "raw", dbPath, "BENCH"}));
        walkBench.runs.push_back(runChild({"--child", "walk", dbPath, "BENCH"}));
        lastBench.runs.push_back(runChild({"--child", "last", dbPath, "BENCH"}));
        exportBench.runs.push_back(runChild({"--child", "export", dbPath, "BENCH", exportFile}));
        walkStrBench.runs.push_back(runChild({"--child", "walkstr", dbPath, "BENCH"}));
        rawWide.runs.push_back(runChild({"--child", "raw", dbPath, "WIDE"}));
        walkWide.runs.push_back(runChild({"--child", "walk", dbPath, "WIDE"}));
        lastWide.runs.push_back(runChild({"--child", "last", dbPath, "WIDE"}));
        rawGrowth.runs.push_back(runChild(withMarks({"--child", "raw", dbPath, "GROWTH"})));
        growGrowth.runs.push_back(runChild(withMarks({"--child", "grow", dbPath, "GROWTH"})));
    }
    Series open;
    open.runs.push_back(runChild({"--child", "open", dbPath}));
    const double load1 = loadAverage();

    std::printf("\nwhole processes, median of %d runs (±: largest distance of one run from the "
                "median, wall); load average %.2f before, %.2f after\n",
                rounds, load0, load1);
    auto bytesLine = [](const Series& cache, const Series& raw, double values, long rows) {
        const double held = cache.figure("cachePerRow");
        std::printf("  bytes held per cached row: %.1f (values %.1f + %.1f; target at most "
                    "values + 24); peak over the raw loop's: %.1f per row\n",
                    held, values, held - values,
                    (cache.peak() - raw.peak()) * 1048576.0 / double(rows));
    };

    std::printf("\nBENCH, 12 columns, %ld rows\n", n.bench);
    printRaw("raw fetch loop (client API)", rawBench);
    printRow("walk, every field as text", walkBench, rawBench);
    printRow("walk, AsString per field", walkStrBench, rawBench);
    printRow("Last (every row cached)", lastBench, rawBench);
    printRow("text export", exportBench, rawBench);
    std::printf("  Last alone (after the open): %.3f s\n", lastBench.figure("lastSeconds"));
    bytesLine(lastBench, rawBench, benchValues.figures["valueBytes"], n.bench);

    std::printf("\nWIDE, ID + 4 VARCHAR(250..500) holding 3 to 12 characters, %ld rows\n", n.wide);
    printRaw("raw fetch loop (client API)", rawWide);
    printRow("walk, every field as text", walkWide, rawWide);
    printRow("Last (every row cached)", lastWide, rawWide);
    bytesLine(lastWide, rawWide, wideValues.figures["valueBytes"], n.wide);

    std::printf("\nGROWTH, 12 columns: time from the start and cache per row at each "
                "checkpoint\n");
    for (long m : marks) {
        const std::string at = "at" + std::to_string(m);
        const double raw = rawGrowth.figure(at), ds = growGrowth.figure(at);
        std::printf("  %8ld rows: raw %6.3f s (%.2f us/row), dataset %6.3f s (%.2f us/row) "
                    "%.2fx, cache %.1f bytes/row\n",
                    m, raw, raw * 1e6 / double(m), ds, ds * 1e6 / double(m), ds / raw,
                    growGrowth.figure("cache" + std::to_string(m)));
    }
    std::printf("  peak memory: raw %.1f MiB, dataset %.1f MiB (%.1f bytes/row over raw)\n",
                rawGrowth.peak(), growGrowth.peak(),
                (growGrowth.peak() - rawGrowth.peak()) * 1048576.0 / double(n.growth));

    std::printf("\nopen BENCH %.4f s, open SMALL %.4f s (medians of 15 in one process)\n",
                open.figure("openBig"), open.figure("openSmall"));

    if (!keep && !folder.empty()) fs::remove_all(folder);
    return 0;
}
