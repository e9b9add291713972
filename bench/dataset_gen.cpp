// Makes the benchmark database: a table BENCH of N rows with a column of
// each kind the dataset maps, and a table SMALL of 1000 rows of the same
// shape. Usage: bench_dataset_gen <file.fdb> <rows>
// The file is created through the embedded engine (as SYSDBA); an existing
// file is refused.
#include "db/Fb.h"
#include "db/FbDatabase.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

namespace {

const char* kColumns = "(ID INTEGER NOT NULL PRIMARY KEY, C CHAR(10), V VARCHAR(40), S SMALLINT,"
                       " B BIGINT, N92 NUMERIC(9,2), N186 NUMERIC(18,6), D DOUBLE PRECISION,"
                       " DT DATE, TM TIME, TS TIMESTAMP, M BLOB SUB_TYPE 1)";

/// One server-side loop inserting rows first..last.
std::string fillBlock(const std::string& table, long first, long last) {
    return "EXECUTE BLOCK AS DECLARE I INTEGER = " + std::to_string(first) +
           "; BEGIN WHILE (I <= " + std::to_string(last) + ") DO BEGIN INSERT INTO " + table +
           " VALUES (:I, 'C' || MOD(:I, 1000), 'texto variavel da linha ' || :I,"
           " MOD(:I, 30000) - 15000, CAST(:I AS BIGINT) * 1000003,"
           " MOD(:I, 1000000) / 100.0, :I / 7.0, :I * 1.5,"
           " DATE '2000-01-01' + MOD(:I, 9000), TIME '00:00:00' + MOD(:I, 86400),"
           " TIMESTAMP '2000-01-01 00:00:00' + :I / 86400.0,"
           " 'memo da linha ' || :I); I = I + 1; END END";
}

void fill(TFbDatabase& db, const std::string& table, long rows) {
    const long batch = 50000;
    for (long first = 1; first <= rows; first += batch) {
        long last = std::min(rows, first + batch - 1);
        db.ExecuteImmediate(fillBlock(table, first, last));
        std::fprintf(stderr, "\r%s: %ld rows", table.c_str(), last);
    }
    std::fprintf(stderr, "\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <file.fdb> <rows>\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const long rows = std::atol(argv[2]);
    if (std::filesystem::exists(path)) {
        std::fprintf(stderr, "%s exists\n", path.c_str());
        return 2;
    }
    try {
        auto t0 = std::chrono::steady_clock::now();
        TFbDatabase::CreateDatabase(
            "CREATE DATABASE '" + path + "' USER 'SYSDBA' PASSWORD 'plumtower' PAGE_SIZE 16384", 3);
        TFbDatabase db;
        db.SetDatabaseName(path);
        db.SetLoginPrompt(false);
        db.SetParams({"user_name=SYSDBA", "password=plumtower"});
        db.Open();
        db.ExecuteImmediate(std::string("CREATE TABLE BENCH ") + kColumns);
        db.ExecuteImmediate(std::string("CREATE TABLE SMALL ") + kColumns);
        fill(db, "SMALL", 1000);
        fill(db, "BENCH", rows);
        db.Close();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%s: BENCH %ld rows, SMALL 1000 rows, %.1f s\n", path.c_str(), rows, s);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
