// The same stored values read through a dataset's field and a statement's
// column: every reader must give the same value or fail alike.
#include "tests/dataset/dstest.h"

#include "db/Fb.h"
#include "db/FbSQL.h"

#include <cstdio>
#include <functional>
#include <map>

using dstest::Env;

namespace {

const char* kEdges =
    "CREATE TABLE E (K INTEGER, N2 NUMERIC(9,2), N4 NUMERIC(18,4), N6 NUMERIC(18,6),"
    " N182 NUMERIC(18,2), BI BIGINT, DB DOUBLE PRECISION, DT DATE, TM TIME, TS TIMESTAMP,"
    " TX VARCHAR(30), CH CHAR(12));"
    "INSERT INTO E VALUES (1, -0.05, 0.5, -1.23455, 9.99, 9223372036854775807, 2.5e300,"
    " '0001-01-01', '23:59:59.9999', '0001-01-01 00:00:00.0001', '42', '-7');"
    "INSERT INTO E VALUES (2, 21474836.47, -922337203685477.5808, 123456789012.345678,"
    " 92233720368547758.07, -9223372036854775808, -1e-300, '9999-12-31', '00:00:00.0001',"
    " '9999-12-31 23:59:59.9999', '05/03/1850 12:00:00', '1.5');"
    "INSERT INTO E VALUES (3, -21474836.48, 922337203685477.5807, 1.000050,"
    " -92233720368547758.08, 2147483648, -2147483648.5, '1850-06-15', '12:00:00.5',"
    " '1899-12-29 06:00:00', 'abc', '');"
    "INSERT INTO E (K) VALUES (4);";

std::string number(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string attempt(const std::function<std::string()>& read) {
    try {
        return read();
    } catch (...) {
        return "erro"; // each reader keeps its own kind of error
    }
}

std::string trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

/// Every reader's result, in one line.
template <class Text, class Float, class Curr, class I64, class I32, class Date, class Bool>
std::string readings(Text text, Float f, Curr c, I64 i64, I32 i32, Date d, Bool b) {
    return attempt([&] { return trimmed(text()); }) + " | " + attempt([&] { return number(f()); }) +
           " | " + attempt([&] { return std::to_string(c().raw()); }) + " | " +
           attempt([&] { return std::to_string(i64()); }) + " | " +
           attempt([&] { return std::to_string(i32()); }) + " | " +
           attempt([&] { return number(d()); }) + " | " +
           attempt([&] { return std::string(b() ? "1" : "0"); });
}

TEST(OneDecoder, FieldsAndStatementEntriesReadTheSameValues) {
    rtl::ScopedFormatSettings fs(dstest::testSettings());
    Env env(kEdges);
    env.open("E");
    TFbSQL q;
    q.SetDatabase(&env.db);
    q.SetTransaction(&env.tr);
    q.SQL().SetText("select * from E order by K");
    q.ExecQuery();
    std::map<std::string, std::string> seen; // "row column" -> readings
    int row = 1;
    for (env.table.First(); !env.table.Eof(); env.table.Next(), q.FetchNext(), ++row) {
        for (int i = 1; i < env.table.FieldCount(); ++i) {
            const TField& f = env.table.Fields(i);
            TFbXSQLVAR& v = q.ColumnAt(i);
            const std::string field =
                readings([&] { return f.AsString(); }, [&] { return f.AsFloat(); },
                         [&] { return f.AsCurrency(); }, [&] { return f.AsLargeInt(); },
                         [&] { return f.AsInteger(); }, [&] { return f.AsDateTime(); },
                         [&] { return f.AsBoolean(); });
            const std::string entry =
                readings([&] { return v.AsString(); }, [&] { return v.AsDouble(); },
                         [&] { return v.AsCurrency(); }, [&] { return v.AsInt64(); },
                         [&] { return v.AsLong(); }, [&] { return v.AsDateTime(); },
                         [&] { return v.AsBoolean(); });
            EXPECT_EQ(field, entry) << "row " << row << " " << f.FieldName();
            seen[std::to_string(row) + " " + f.FieldName()] = field;
        }
    }
    ASSERT_EQ(row, 5);
    const std::map<std::string, std::string> expected = {
        // Halves round away from zero into currency; no digit is lost on the way to a double.
        {"1 N6", "-1.23455 | -1.23455 | -12346 | -1 | -1 | erro | 1"},
        {"3 N6", "1.00005 | 1.0000500000000001 | 10001 | 1 | 1 | erro | 1"},
        {"2 N6", "123456789012.346 | 123456789012.34567 | 1234567890123457 | 123456789012 | erro"
                 " | erro | 1"},
        {"1 N2", "-0.05 | -0.050000000000000003 | -500 | 0 | 0 | erro | 1"},
        {"2 N4", "-922337203685477.5808 | -922337203685477.62 | -9223372036854775808 |"
                 " -922337203685477 | erro | erro | 1"},
        // Beyond currency's range the text stays exact.
        {"2 N182", "92233720368547758.07 | 92233720368547760 | erro | 92233720368547758 | erro"
                   " | erro | 1"},
        {"3 N182", "-92233720368547758.08 | -92233720368547760 | erro | -92233720368547758 | erro"
                   " | erro | 1"},
        {"1 BI", "9223372036854775807 | 9.2233720368547758e+18 | erro | 9223372036854775807 | erro"
                 " | erro | 1"},
        {"3 BI", "2147483648 | 2147483648 | 21474836480000 | 2147483648 | erro | erro | 1"},
        {"3 DB", "-2147483648.5 | -2147483648.5 | -21474836485000 | -2147483648 | -2147483648 |"
                 " erro | 1"},
        {"1 DB", "2.5E300 | 2.5000000000000001e+300 | erro | erro | erro | erro | 1"},
        // Dates at both ends and before 1900; fractions of a second are not kept.
        {"1 DT", "01/01/0001 | -693593 | erro | erro | erro | -693593 | erro"},
        {"2 DT", "31/12/9999 | 2958465 | erro | erro | erro | 2958465 | erro"},
        {"3 DT", "15/06/1850 | -18095 | erro | erro | erro | -18095 | erro"},
        {"1 TM",
         "23:59:59 | 0.99998842592592596 | erro | erro | erro | 0.99998842592592596 | erro"},
        {"2 TM", "00:00:00 | 0 | erro | erro | erro | 0 | erro"},
        {"3 TS", "29/12/1899 06:00:00 | -1.25 | erro | erro | erro | -1.25 | erro"},
        {"2 TS", "31/12/9999 23:59:59 | 2958465.999988426 | erro | erro | erro |"
                 " 2958465.999988426 | erro"},
        // Text: a CHAR's padding is no part of the number it holds.
        {"1 CH", "-7 | -7 | -70000 | -7 | -7 | erro | erro"},
        {"2 TX", "05/03/1850 12:00:00 | erro | erro | erro | erro | -18197.5 | erro"},
        {"3 TX", "abc | erro | erro | erro | erro | erro | erro"},
        {"4 N6", " | 0 | 0 | 0 | 0 | 0 | 0"},
    };
    for (const auto& [key, line] : expected)
        EXPECT_EQ(seen[key], line) << key;
}

} // namespace
