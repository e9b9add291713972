// What the record cache keeps of a row: texts at their limits, empty texts
// beside nulls, CHAR padding in characters, rows across the cache's blocks
// walked both ways, the row key after a reopen, a large memo; and every
// reader of the cache against the statement's reader of the same value.
#include "tests/dataset/dstest.h"

#include "db/Fb.h"
#include "db/FbSQL.h"

#include <algorithm>

using dstest::Env;

namespace {

TEST(RecordCache, TextsAtTheirLimitsEmptyAndNull) {
    // 254 and 255 bytes sit on both sides of the one-byte length; every
    // text is followed by an integer that must come back intact.
    Env env("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, A VARCHAR(254), B VARCHAR(255),"
            " C VARCHAR(8000), D CHAR(300), E INTEGER);"
            "INSERT INTO T VALUES (1, RPAD('', 254, 'a'), RPAD('', 255, 'b'), RPAD('', 8000, 'c'),"
            " RPAD('', 300, 'd'), 11);"
            "INSERT INTO T VALUES (2, '', '', '', '', 22);"
            "INSERT INTO T VALUES (3, NULL, NULL, NULL, NULL, 33);"
            "INSERT INTO T VALUES (4, 'x', NULL, 'y', 'z', NULL);");
    env.open("T");
    env.table.Last();
    struct Case {
        int row;
        const char* field;
        bool null;
        std::string text;
    };
    const Case cases[] = {
        {1, "A", false, std::string(254, 'a')},
        {1, "B", false, std::string(255, 'b')},
        {1, "C", false, std::string(8000, 'c')},
        {1, "D", false, std::string(300, 'd')},
        {1, "E", false, "11"},
        {2, "A", false, ""},
        {2, "B", false, ""},
        {2, "C", false, ""},
        {2, "D", false, std::string(300, ' ')},
        {2, "E", false, "22"},
        {3, "A", true, ""},
        {3, "B", true, ""},
        {3, "C", true, ""},
        {3, "D", true, ""},
        {3, "E", false, "33"},
        {4, "A", false, "x"},
        {4, "B", true, ""},
        {4, "C", false, "y"},
        {4, "D", false, "z" + std::string(299, ' ')},
        {4, "E", true, ""},
    };
    for (const Case& c : cases) {
        env.table.SetRecNo(c.row);
        const TField& f = env.table.FieldByName(c.field);
        EXPECT_EQ(f.IsNull(), c.null) << c.row << c.field;
        EXPECT_EQ(f.AsString(), c.text) << c.row << c.field;
    }
}

TEST(RecordCache, CharPaddingInAMultiByteCharacterSet) {
    // "ãé" is 4 bytes of UTF-8: a UTF8 CHAR(4) holding it has 2 more
    // characters, blanks; single-byte sets pad by bytes as before.
    Env env("CREATE TABLE U (ID INTEGER, C CHAR(4), V VARCHAR(4), FULL4 CHAR(4),"
            " L CHAR(4) CHARACTER SET ISO8859_1, O CHAR(4) CHARACTER SET OCTETS,"
            " M BLOB SUB_TYPE 1);"
            "INSERT INTO U VALUES (1, '\xc3\xa3\xc3\xa9', '\xc3\xa3\xc3\xa9',"
            " '\xc3\xa3\xc3\xa9\xe2\x82\xac\xe4\xb8\xad', 'ab', 'ab', '\xc3\xa3');",
            "UTF8");
    env.open("U");
    struct Case {
        const char* field;
        int charSet;
        std::string text;
    };
    const Case cases[] = {
        {"C", csUtf8, "\xc3\xa3\xc3\xa9  "},
        {"V", csUtf8, "\xc3\xa3\xc3\xa9"},
        {"FULL4", csUtf8, "\xc3\xa3\xc3\xa9\xe2\x82\xac\xe4\xb8\xad"},
        {"L", 21, "ab  "},
        {"O", csOctets, std::string("ab\0\0", 4)},
        {"M", csUtf8, "\xc3\xa3"},
        {"ID", csNone, "1"},
    };
    for (const Case& c : cases) {
        const TField& f = env.table.FieldByName(c.field);
        EXPECT_EQ(f.CharSetId(), c.charSet) << c.field;
        EXPECT_EQ(f.AsString(), c.text) << c.field;
    }
    EXPECT_EQ(env.table.FieldByName("C").Size(), 16) << "the size stays in bytes";
}

TEST(RecordCache, CharactersCountedByTheirCharacterSet) {
    struct Case {
        int charSet;
        std::string bytes;
        std::size_t chars;
    };
    const Case cases[] = {
        {csNone, "\xc3\xa3\xc3\xa9", 4},
        {21, "\xe3\xe9", 2}, // ISO8859_1
        {csUtf8, "a\xc3\xa3\xe2\x82\xac\xe4\xb8\xad\xf0\x9f\x98\x80", 5},
        {csUnicodeFss, "\xc3\xa3z", 2},
        {5,
         "\x82\xa0"
         "a\xb1",
         3}, // SJIS_0208: a double-byte, ASCII, a kana
        {6,
         "\xa4\xa2"
         "a\x8e\xb1",
         3}, // EUCJ_0208
        {67,
         "\xc4\xe3"
         "a",
         2}, // GBK
        {csGb18030,
         "\x81\x30\x81\x30"
         "a\xc4\xe3",
         3},
        {csUtf8, "\xc3", 1}, // cut short: still one character
    };
    for (const Case& c : cases)
        EXPECT_EQ(FbCharCount(c.charSet, c.bytes), c.chars) << c.charSet << " " << c.bytes;
}

/// 3000 rows whose texts take 0 to 2000 bytes, every 7th one null: about
/// three megabytes, over several blocks of the cache.
std::string straddlingTable() {
    return "CREATE TABLE S (ID INTEGER NOT NULL PRIMARY KEY, T VARCHAR(2000), C CHAR(3), N "
           "INTEGER);"
           "SET TERM ^;"
           "EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN WHILE (I <= 3000) DO BEGIN"
           " INSERT INTO S VALUES (:I, IIF(MOD(:I, 7) = 0, NULL,"
           " RPAD('', MOD(:I * 37, 2001), ASCII_CHAR(65 + MOD(:I, 26)))),"
           " ASCII_CHAR(97 + MOD(:I, 26)), -:I); I = I + 1; END END^"
           "SET TERM ;^";
}

void expectStraddlingRow(TFbTable& t, int id) {
    ASSERT_EQ(t.FieldByName("ID").AsInteger(), id);
    const TField& text = t.FieldByName("T");
    if (id % 7 == 0) {
        EXPECT_TRUE(text.IsNull()) << id;
    } else {
        const std::string s = text.AsString();
        EXPECT_EQ(s.size(), std::size_t(id * 37 % 2001)) << id;
        EXPECT_EQ(std::count(s.begin(), s.end(), char('A' + id % 26)), std::ptrdiff_t(s.size()))
            << id;
    }
    EXPECT_EQ(t.FieldByName("C").AsString(), std::string(1, char('a' + id % 26)) + "  ") << id;
    EXPECT_EQ(t.FieldByName("N").AsInteger(), -id);
}

TEST(RecordCache, RowsAcrossBlocksWalkedBothWays) {
    Env env(straddlingTable());
    env.table.SetBufferChunks(7);
    env.open("S");
    int id = 0;
    for (env.table.First(); !env.table.Eof(); env.table.Next())
        expectStraddlingRow(env.table, ++id);
    ASSERT_EQ(id, 3000);
    for (env.table.Last(); !env.table.Bof(); env.table.Prior())
        expectStraddlingRow(env.table, id--);
    EXPECT_EQ(id, 0);
    for (int recNo : {2999, 1, 1500, 2, 3000, 777}) {
        env.table.SetRecNo(recNo);
        expectStraddlingRow(env.table, recNo);
        TFbRowPeek peek(env.table, 3000 - recNo);
        expectStraddlingRow(env.table, 3001 - recNo);
    }
}

TEST(RecordCache, RepositionsByKeyAfterReopening) {
    Env env(straddlingTable());
    env.table.SetBufferChunks(7);
    env.open("S");
    env.table.SetRecNo(2500);
    env.table.SetFilter("ID > 100");
    env.table.SetFiltered(true); // reopens and walks back to the same row
    EXPECT_EQ(env.table.RecNo(), 2400);
    expectStraddlingRow(env.table, 2500);
    env.table.SetFiltered(false);
    EXPECT_EQ(env.table.RecNo(), 2500);
    expectStraddlingRow(env.table, 2500);
}

TEST(RecordCache, LastShowsTheBusyCursorOnlyWhileItFetches) {
    Env env(straddlingTable());
    env.open("S");
    std::vector<std::string> calls;
    TFbCustomDataSet::SetBusyHook([&](bool busy) { calls.push_back(busy ? "on" : "off"); });
    env.table.Last();
    env.table.Last(); // everything is cached already
    TFbCustomDataSet::SetBusyHook(nullptr);
    EXPECT_EQ(calls, (std::vector<std::string>{"on", "off"}));
    EXPECT_EQ(env.table.RecordCount(), 3000);
}

TEST(RecordCache, OneMegabyteMemo) {
    Env env("CREATE TABLE M (ID INTEGER NOT NULL PRIMARY KEY, T BLOB SUB_TYPE 1, V VARCHAR(5));");
    std::string big(1 << 20, ' ');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = char('a' + (i / 1000) % 26);
    {
        TFbSQL ins;
        ins.SetDatabase(&env.db);
        ins.SetTransaction(&env.tr);
        ins.SQL().SetText("INSERT INTO M VALUES (:ID, :T, :V)");
        const std::pair<int, std::string> rows[] = {{1, "um"}, {2, big}, {3, "tres"}};
        for (const auto& [id, text] : rows) {
            ins.ParamNamed("ID").SetAsLong(id);
            ins.ParamNamed("T").SetAsString(text);
            ins.ParamNamed("V").SetAsString("v" + std::to_string(id));
            ins.ExecQuery();
        }
        env.tr.Commit();
    }
    env.open("M");
    env.table.Next();
    EXPECT_TRUE(env.table.FieldByName("T").AsString() == big);
    EXPECT_EQ(env.table.FieldByName("T").BlobStream().Size(), 1 << 20);
    env.table.Last();
    EXPECT_EQ(env.table.FieldByName("T").AsString(), "tres");
    env.table.Prior();
    EXPECT_TRUE(env.table.FieldByName("T").AsString() == big);
    EXPECT_EQ(env.table.FieldByName("V").AsString(), "v2");
    env.table.Prior();
    EXPECT_EQ(env.table.FieldByName("T").AsString(), "um");
}

TEST(RecordCache, EveryReaderAgreesWithTheStatement) {
    // The cache keeps numbers and dates as the server sends them and
    // converts them when read; the statement converts the same bytes.
    rtl::ScopedFormatSettings fs(dstest::testSettings());
    Env env("CREATE TABLE R (ID INTEGER NOT NULL PRIMARY KEY, S SMALLINT, I INTEGER, B BIGINT,"
            " N41 NUMERIC(4,1), N92 NUMERIC(9,2), N184 NUMERIC(18,4), N186 NUMERIC(18,6),"
            " F FLOAT, D DOUBLE PRECISION, DT DATE, TM TIME, TS TIMESTAMP, V VARCHAR(8));"
            "INSERT INTO R VALUES (1, -32768, -2147483648, -9223372036854775807, -999.9,"
            " -9999999.99, -12345.6789, -0.000001, -1.5, -1e300, '0001-01-01',"
            " '00:00:00', '1899-12-29 23:59:59.999', '-12');"
            "INSERT INTO R VALUES (2, 32767, 2147483647, 9223372036854775807, 999.9,"
            " 9999999.99, 12345.6789, 999999999999.999999, 3.25, 1e-300,"
            " '9999-12-31', '23:59:59.999', '1899-12-30 12:00:00', '3.5');"
            "INSERT INTO R (ID) VALUES (3);");
    env.open("R");
    TFbSQL st;
    st.SetDatabase(&env.db);
    st.SetTransaction(&env.tr);
    st.SetGoToFirstRecordOnExecute(false);
    st.SQL().SetText("SELECT * FROM R ORDER BY ID");
    st.ExecQuery();
    for (env.table.First(); !env.table.Eof(); env.table.Next()) {
        TFbXSQLDA* row = st.FetchNext();
        ASSERT_NE(row, nullptr);
        for (int i = 0; i < env.table.FieldCount(); ++i) {
            const TField& f = env.table.Fields(i);
            TFbXSQLVAR& v = (*row)[i];
            const std::string at = f.FieldName() + " row " + std::to_string(env.table.RecNo());
            EXPECT_EQ(f.IsNull(), v.IsNull()) << at;
            EXPECT_EQ(f.AsString(), v.AsString()) << at;
            switch (f.DataType()) {
            case ftDate:
            case ftTime:
            case ftDateTime:
                EXPECT_EQ(f.AsDateTime(), v.AsDateTime()) << at;
                break;
            case ftString:
                break;
            default:
                EXPECT_EQ(f.AsFloat(), v.AsDouble()) << at;
                if (f.DataType() != ftFloat) {
                    EXPECT_EQ(f.AsLargeInt(), v.AsInt64()) << at;
                }
                if (f.DataType() == ftBCD) {
                    EXPECT_EQ(f.AsCurrency(), v.AsCurrency()) << at;
                }
                break;
            }
        }
    }
}

} // namespace
