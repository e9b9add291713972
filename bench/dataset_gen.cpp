// Makes the database that bench_dataset_walk measures, to keep it for
// repeated runs or other tools: BENCH (12 columns, 1,000,000 rows), WIDE
// (wide VARCHARs holding short texts, 200,000 rows), GROWTH (12 columns,
// 2,000,000 rows) and SMALL (1,000 rows), scaled by the optional factor.
// Usage: bench_dataset_gen <file.fdb> [scale]
// The file is created through the embedded engine (as SYSDBA); an existing
// file is refused.
#include "bench/dataset_kit.h"

#include <filesystem>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s <file.fdb> [scale]\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const double scale = argc > 2 ? std::atof(argv[2]) : 1.0;
    if (std::filesystem::exists(path)) {
        std::fprintf(stderr, "%s exists\n", path.c_str());
        return 2;
    }
    benchds::TableSizes n;
    n.bench = long(double(n.bench) * scale);
    n.wide = long(double(n.wide) * scale);
    n.growth = long(double(n.growth) * scale);
    try {
        const auto t0 = benchds::Clock::now();
        benchds::createTables(path, n);
        std::printf("%s: BENCH %ld, WIDE %ld, GROWTH %ld, SMALL %ld rows, %.1f s\n", path.c_str(),
                    n.bench, n.wide, n.growth, n.small, benchds::seconds(t0));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
