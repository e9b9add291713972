// Walking the rows: lazy fetching, the record count, end and start of data,
// jumping to a row, and growing the cache chunk by chunk.
#include "tests/dataset/dstest.h"

using dstest::Env;

namespace {

std::string numbersTable(int rows) {
    std::string ddl = "CREATE TABLE N (ID INTEGER NOT NULL PRIMARY KEY, NOME CHAR(6));"
                      "SET TERM ^;"
                      "EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN WHILE (I <= " +
                      std::to_string(rows) +
                      ") DO BEGIN INSERT INTO N VALUES (:I, 'n' || :I); I = I + 1; END END^"
                      "SET TERM ;^";
    return ddl;
}

TEST(Navigation, OpeningFetchesOnlyTheFirstRow) {
    Env env(numbersTable(50));
    env.open("N");
    EXPECT_EQ(env.table.RecordCount(), 1);
    EXPECT_EQ(env.table.RecNo(), 1);
    EXPECT_TRUE(env.table.Bof());
    EXPECT_FALSE(env.table.Eof());
    EXPECT_FALSE(env.table.AllFetched());
    EXPECT_EQ(env.table.FieldByName("ID").AsInteger(), 1);
}

TEST(Navigation, RecordCountGrowsWithTheWalkAndIsCompleteAfterLast) {
    Env env(numbersTable(50));
    env.open("N");
    for (int i = 0; i < 9; ++i)
        env.table.Next();
    EXPECT_EQ(env.table.RecordCount(), 10);
    EXPECT_EQ(env.table.RecNo(), 10);
    env.table.Last();
    EXPECT_EQ(env.table.RecordCount(), 50);
    EXPECT_EQ(env.table.RecNo(), 50);
    EXPECT_TRUE(env.table.Eof());
    EXPECT_TRUE(env.table.AllFetched());
    EXPECT_EQ(env.table.FieldByName("ID").AsInteger(), 50);
    // The export's way: last, then first, then walk from the cache.
    env.table.First();
    EXPECT_EQ(env.table.RecNo(), 1);
    EXPECT_FALSE(env.table.Eof());
    int seen = 0;
    while (!env.table.Eof()) {
        ++seen;
        EXPECT_EQ(env.table.FieldByName("ID").AsInteger(), seen);
        env.table.Next();
    }
    EXPECT_EQ(seen, 50);
    EXPECT_EQ(env.table.RecNo(), 50) << "Next past the end stays on the last row";
}

TEST(Navigation, PriorWalksBackThroughTheCache) {
    Env env(numbersTable(5));
    env.open("N");
    env.table.Next();
    env.table.Next();
    env.table.Prior();
    EXPECT_EQ(env.table.FieldByName("ID").AsInteger(), 2);
    env.table.Prior();
    EXPECT_EQ(env.table.RecNo(), 1);
    EXPECT_FALSE(env.table.Bof());
    env.table.Prior();
    EXPECT_TRUE(env.table.Bof());
    EXPECT_EQ(env.table.RecNo(), 1);
    env.table.Last();
    int back = 0;
    while (!env.table.Bof()) {
        ++back;
        env.table.Prior();
    }
    EXPECT_EQ(back, 5);
}

TEST(Navigation, EmptyTableIsAtBothEnds) {
    Env env("CREATE TABLE E (ID INTEGER);");
    env.open("E");
    EXPECT_TRUE(env.table.Eof());
    EXPECT_TRUE(env.table.Bof());
    EXPECT_TRUE(env.table.IsEmpty());
    EXPECT_EQ(env.table.RecNo(), 0);
    EXPECT_TRUE(env.table.Fields(0).IsNull());
    env.table.Last();
    env.table.First();
    env.table.Next();
    EXPECT_EQ(env.table.RecordCount(), 0);
    EXPECT_EQ(env.table.RecNo(), 0);
}

TEST(Navigation, SetRecNoFetchesUpToTheRowAndStopsAtTheLast) {
    Env env(numbersTable(30));
    env.open("N");
    env.table.SetRecNo(12);
    EXPECT_EQ(env.table.RecNo(), 12);
    EXPECT_EQ(env.table.RecordCount(), 12);
    EXPECT_EQ(env.table.FieldByName("ID").AsInteger(), 12);
    env.table.SetRecNo(3);
    EXPECT_EQ(env.table.FieldByName("ID").AsInteger(), 3);
    EXPECT_EQ(env.table.RecordCount(), 12);
    env.table.SetRecNo(1000);
    EXPECT_EQ(env.table.RecNo(), 30);
}

TEST(Navigation, FetchMoreGrowsTheCacheWithoutMoving) {
    Env env(numbersTable(25));
    env.open("N");
    EXPECT_EQ(env.table.FetchMore(10), 10);
    EXPECT_EQ(env.table.RecordCount(), 11);
    EXPECT_EQ(env.table.RecNo(), 1);
    EXPECT_EQ(env.table.FetchMore(100), 14);
    EXPECT_TRUE(env.table.AllFetched());
    EXPECT_EQ(env.table.FetchMore(5), 0);
}

TEST(Navigation, PeekingAtARowLeavesTheCurrentRowAlone) {
    Env env(numbersTable(10));
    env.open("N");
    env.table.FetchMore(9);
    env.table.SetRecNo(4);
    {
        TFbRowPeek peek(env.table, 7);
        EXPECT_EQ(env.table.FieldByName("ID").AsInteger(), 8);
    }
    EXPECT_EQ(env.table.FieldByName("ID").AsInteger(), 4);
    EXPECT_EQ(env.table.RecNo(), 4);
}

TEST(Navigation, PeekingBeyondTheCacheReadsNullAndFetchesNothing) {
    Env env(numbersTable(10));
    env.open("N");
    {
        TFbRowPeek peek(env.table, 5);
        EXPECT_TRUE(env.table.FieldByName("ID").IsNull());
    }
    EXPECT_EQ(env.table.RecordCount(), 1);
    EXPECT_EQ(env.table.FieldByName("ID").AsInteger(), 1);
}

TEST(Navigation, SmallChunksHoldEveryRowIntact) {
    Env env(numbersTable(23));
    env.table.SetBufferChunks(2);
    env.open("N");
    env.table.Last();
    for (int r = 23; r >= 1; --r) {
        env.table.SetRecNo(r);
        ASSERT_EQ(env.table.FieldByName("ID").AsInteger(), r);
        std::string nome = "n" + std::to_string(r);
        nome.resize(6, ' ');
        ASSERT_EQ(env.table.FieldByName("NOME").AsString(), nome);
    }
}

TEST(Navigation, BufferChunksOfZeroOrLessMeansAThousand) {
    TFbTable t;
    EXPECT_EQ(t.BufferChunks(), 1000);
    t.SetBufferChunks(0);
    EXPECT_EQ(t.BufferChunks(), 1000);
    t.SetBufferChunks(-5);
    EXPECT_EQ(t.BufferChunks(), 1000);
    t.SetBufferChunks(7);
    EXPECT_EQ(t.BufferChunks(), 7);
}

TEST(Navigation, ClosedTableHasNoRowsAndIgnoresMoves) {
    Env env(numbersTable(3));
    env.open("N");
    env.table.Close();
    env.table.Next();
    env.table.Last();
    EXPECT_EQ(env.table.RecordCount(), 0);
    EXPECT_EQ(env.table.RecNo(), 0);
    EXPECT_TRUE(env.table.Eof());
    EXPECT_EQ(env.table.FieldCount(), 0);
}

} // namespace
