// Column and parameter values on real databases: what each SQL type reads
// as, and what a typed text writes.
#include "tests/db/sql_fixture.h"

#include "rtl/errors.h"
#include "rtl/settings.h"

#include <gtest/gtest.h>

namespace {

using sqltest::clientErrorOf;

const char* kTable = "CREATE TABLE V (ID INTEGER NOT NULL PRIMARY KEY, N92 NUMERIC(9,2), "
                     "N186 NUMERIC(18,6), N184 NUMERIC(18,4), N41 NUMERIC(4,1), C5 CHAR(5), "
                     "VC VARCHAR(300), I INTEGER, SI SMALLINT, BI BIGINT, TS TIMESTAMP, D DATE, "
                     "TM TIME, DBL DOUBLE PRECISION, MEMO BLOB SUB_TYPE 1, BIN BLOB SUB_TYPE 0);\n"
                     "INSERT INTO V (ID, N92, N186, N184, N41, C5, VC, I, SI, BI, TS, D, TM, DBL) "
                     "VALUES (1, 123.45, 1.234567, 1234.5678, -2.5, 'AB', 'texto', 7, -3, "
                     "9000000000, '2024-03-05 10:20:30.789', '2024-03-05', '10:20:30', 2.5);\n"
                     "INSERT INTO V (ID, N92) VALUES (2, -0.05);\n";

class Values : public sqltest::Database {
protected:
    void SetUp() override { open(kTable); }

    /// Row `id` of V, open on its first row.
    std::unique_ptr<TFbSQL> row(int id) {
        auto q = statement("select * from V where ID = " + std::to_string(id));
        q->ExecQuery();
        return q;
    }

    rtl::ScopedFormatSettings brazil{rtl::brazilianSettings()};
};

TEST_F(Values, NumericNineTwoReadsAsDoubleAndExactCurrency) {
    auto q = row(1);
    TFbXSQLVAR& v = q->ColumnNamed("N92");
    EXPECT_EQ(v.SQLType(), SQL_LONG);
    EXPECT_EQ(v.SQLScale(), -2);
    EXPECT_EQ(v.FieldKind(), (TFbFieldKind{ftBCD, 2, 9}));
    EXPECT_EQ(v.AsDouble(), 123.45);
    EXPECT_EQ(v.AsCurrency(), rtl::Currency::fromRaw(1234500));
    EXPECT_EQ(v.AsInt64(), 123);
    EXPECT_EQ(v.AsLong(), 123);
    EXPECT_EQ(v.AsString(), "123,45");
    {
        rtl::ScopedFormatSettings english(rtl::englishSettings());
        EXPECT_EQ(v.AsString(), "123.45");
    }
    auto negative = row(2);
    EXPECT_EQ(negative->ColumnNamed("N92").AsCurrency(), rtl::Currency::fromRaw(-500));
    EXPECT_EQ(negative->ColumnNamed("N92").AsString(), "-0,05");
    EXPECT_EQ(negative->ColumnNamed("N92").AsInt64(), 0);
}

TEST_F(Values, ScaleBeyondFourDecimalsIsAFloat) {
    auto q = row(1);
    TFbXSQLVAR& v = q->ColumnNamed("N186");
    EXPECT_EQ(v.FieldKind().DataType, ftFloat);
    EXPECT_EQ(v.AsDouble(), 1.234567);
    EXPECT_EQ(v.AsString(), "1,234567");
    EXPECT_EQ(q->ColumnNamed("N184").AsCurrency(), rtl::Currency::fromRaw(12345678));
    EXPECT_EQ(q->ColumnNamed("N41").AsCurrency(), rtl::Currency::fromRaw(-25000));
    EXPECT_EQ(q->ColumnNamed("N41").FieldKind(), (TFbFieldKind{ftBCD, 1, 4}));
}

TEST_F(Values, IntegersAndFloatsReadAsText) {
    auto q = row(1);
    EXPECT_EQ(q->ColumnNamed("I").AsString(), "7");
    EXPECT_EQ(q->ColumnNamed("SI").AsString(), "-3");
    EXPECT_EQ(q->ColumnNamed("BI").AsString(), "9000000000");
    EXPECT_EQ(q->ColumnNamed("BI").FieldKind().DataType, ftLargeint);
    EXPECT_EQ(clientErrorOf([&] { q->ColumnNamed("BI").AsLong(); }), 38)
        << "a 64-bit value does not fit 32 bits";
    EXPECT_EQ(q->ColumnNamed("DBL").AsString(), "2,5");
    EXPECT_EQ(q->ColumnNamed("DBL").AsLong(), 2);
}

TEST_F(Values, CharIsTrimmedThroughTheStatementButStoredPadded) {
    auto q = row(1);
    TFbXSQLVAR& v = q->ColumnNamed("C5");
    EXPECT_EQ(v.AsString(), "AB");
    EXPECT_EQ(std::string(v.Data()->sqldata, v.Size()), "AB   ");
    EXPECT_EQ(v.FieldKind(), (TFbFieldKind{ftString, 5, 0}));
}

TEST_F(Values, DatesAndTimesKeepWholeSecondsOnly) {
    auto q = row(1);
    const rtl::TDateTime day = rtl::encodeDate(2024, 3, 5);
    const rtl::TDateTime time = rtl::encodeTime(10, 20, 30, 0);
    EXPECT_EQ(q->ColumnNamed("TS").AsDateTime(), day + time);
    EXPECT_EQ(q->ColumnNamed("TS").AsString(), "05/03/2024 10:20:30");
    EXPECT_EQ(q->ColumnNamed("D").AsDateTime(), day);
    EXPECT_EQ(q->ColumnNamed("D").AsString(), "05/03/2024");
    EXPECT_EQ(q->ColumnNamed("TM").AsDateTime(), time);
    EXPECT_EQ(q->ColumnNamed("TM").AsString(), "10:20:30");
    EXPECT_EQ(clientErrorOf([&] { q->ColumnNamed("TS").AsLong(); }), 38);
    EXPECT_EQ(clientErrorOf([&] { q->ColumnNamed("I").AsDateTime(); }), 38);
}

TEST_F(Values, NullReadsAsZeroAndEmptyText) {
    auto q = row(2);
    EXPECT_TRUE(q->ColumnNamed("I").IsNull());
    EXPECT_EQ(q->ColumnNamed("I").AsLong(), 0);
    EXPECT_EQ(q->ColumnNamed("VC").AsString(), "");
    EXPECT_EQ(q->ColumnNamed("TS").AsDateTime(), 0.0);
    EXPECT_EQ(q->ColumnNamed("MEMO").AsString(), "");
}

TEST_F(Values, EmptyTextWritesNullIntoNumbersAndEmptyStringIntoText) {
    auto q = statement("update V set I = :p0, VC = :p1, TS = :p2 where ID = 1");
    q->ParamNamed("P0").SetAsString("");
    q->ParamNamed("P1").SetAsString("");
    q->ParamNamed("P2").SetAsString("");
    q->ExecQuery();
    tr->Commit();
    EXPECT_EQ(scalar("select I from V where ID = 1"), "<null>");
    EXPECT_EQ(scalar("select '[' || VC || ']' from V where ID = 1"), "[]");
    EXPECT_EQ(scalar("select TS from V where ID = 1"), "<null>");
}

TEST_F(Values, NumberTextIsConvertedByTheServer) {
    auto q = statement("update V set I = :p0, N92 = :p1 where ID = 1");
    q->ParamNamed("P0").SetAsString("42");
    q->ParamNamed("P1").SetAsString("8.5");
    EXPECT_EQ(q->ParamNamed("P0").SQLType(), SQL_TEXT);
    q->ExecQuery();
    tr->Commit();
    EXPECT_EQ(scalar("select I from V where ID = 1"), "42");
    EXPECT_EQ(scalar("select N92 from V where ID = 1"), "8,5");

    q->ParamNamed("P0").SetAsString("quarenta");
    EXPECT_THROW(q->ExecQuery(), EFbFirebirdError);
    tr->Rollback();
}

TEST_F(Values, DateTextIsParsedWithTheRegionalFormats) {
    auto q = statement("update V set TS = :p0, D = :p1, TM = :p2 where ID = 2");
    q->ParamNamed("P0").SetAsString("31/12/2023 23:59:58");
    q->ParamNamed("P1").SetAsString("01/02/2024");
    q->ParamNamed("P2").SetAsString("07:08:09");
    q->ExecQuery();
    tr->Commit();
    EXPECT_EQ(scalar("select TS from V where ID = 2"), "31/12/2023 23:59:58");
    EXPECT_EQ(scalar("select D from V where ID = 2"), "01/02/2024");
    EXPECT_EQ(scalar("select TM from V where ID = 2"), "07:08:09");

    auto bad = statement("update V set D = :p0 where ID = 2");
    EXPECT_THROW(bad->ParamNamed("P0").SetAsString("31/02/2024"), rtl::EConvertError);
}

TEST_F(Values, TypedWritersReachTheColumns) {
    auto q = statement("update V set I = :i, N184 = :c, DBL = :d, TS = :ts, D = :dt, TM = :tm, "
                       "BI = :bi, SI = :si where ID = 2");
    q->ParamNamed("I").SetAsLong(-12);
    q->ParamNamed("C").SetAsCurrency(rtl::Currency::fromRaw(-98765432));
    q->ParamNamed("D").SetAsDouble(0.125);
    const rtl::TDateTime when = rtl::encodeDate(1999, 12, 31) + rtl::encodeTime(23, 0, 1, 600);
    q->ParamNamed("TS").SetAsDateTime(when);
    q->ParamNamed("DT").SetAsDate(when);
    q->ParamNamed("TM").SetAsTime(when);
    q->ParamNamed("BI").SetAsInt64(-9000000001LL);
    q->ParamNamed("SI").SetAsShort(300);
    q->ExecQuery();
    tr->Commit();
    auto r = row(2);
    EXPECT_EQ(r->ColumnNamed("I").AsLong(), -12);
    EXPECT_EQ(r->ColumnNamed("N184").AsCurrency(), rtl::Currency::fromRaw(-98765432));
    EXPECT_EQ(r->ColumnNamed("DBL").AsDouble(), 0.125);
    EXPECT_EQ(r->ColumnNamed("TS").AsString(), "31/12/1999 23:00:01");
    EXPECT_EQ(r->ColumnNamed("D").AsString(), "31/12/1999");
    EXPECT_EQ(r->ColumnNamed("TM").AsString(), "23:00:01");
    EXPECT_EQ(r->ColumnNamed("BI").AsInt64(), -9000000001LL);
    EXPECT_EQ(r->ColumnNamed("SI").AsLong(), 300);
}

TEST_F(Values, VariantsWriteByTheirType) {
    auto q = statement("update V set I = :i, VC = :s where ID = 2");
    q->ParamNamed("I").SetAsVariant(TFbVariant::Boolean(true));
    q->ParamNamed("S").SetAsVariant(TFbVariant::String("var"));
    q->ExecQuery();
    tr->Commit();
    EXPECT_EQ(scalar("select I || VC from V where ID = 2"), "1var");

    TFbVariant array = TFbVariant::Integer(1);
    array.Type |= varArray;
    EXPECT_EQ(clientErrorOf([&] { q->ParamNamed("I").SetAsVariant(array); }), 4);
    EXPECT_EQ(
        clientErrorOf([&] { q->ParamNamed("I").SetAsVariant(TFbVariant::Make(varDispatch)); }), 5);
    q->ParamNamed("I").SetAsVariant(TFbVariant::Null());
    EXPECT_TRUE(q->ParamNamed("I").IsNull());
}

TEST_F(Values, BlobsLongerThanOnePieceRoundTrip) {
    std::string memo;
    for (int i = 0; memo.size() < 40000; ++i)
        memo += "linha " + std::to_string(i) + "\r\n";
    std::string binary;
    for (int i = 0; i < 70000; ++i)
        binary += static_cast<char>((i * 7) & 0xFF);
    auto q = statement("update V set MEMO = :m, BIN = :b where ID = 1");
    q->ParamNamed("M").SetAsString(memo);
    q->ParamNamed("B").SetAsString(binary);
    q->ExecQuery();
    tr->Commit();
    auto r = row(1);
    EXPECT_EQ(r->ColumnNamed("MEMO").FieldKind().DataType, ftMemo);
    EXPECT_EQ(r->ColumnNamed("BIN").FieldKind().DataType, ftBlob);
    EXPECT_EQ(r->ColumnNamed("MEMO").AsString(), memo);
    EXPECT_EQ(r->ColumnNamed("BIN").AsString(), binary);
    EXPECT_EQ(scalar("select char_length(BIN) from V where ID = 1"), "70000");
}

TEST_F(Values, Latin1BytesRoundTripUnchanged) {
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c)
        high += static_cast<char>(c);
    auto q = statement("update V set VC = :s where ID = 2");
    q->ParamNamed("S").SetAsString(high);
    q->ExecQuery();
    tr->Commit();
    EXPECT_EQ(scalar("select VC from V where ID = 2"), high);
    EXPECT_EQ(scalar("select octet_length(VC) from V where ID = 2"), "128");
}

TEST_F(Values, RowKeyParameterTakesTheKeyBytes) {
    auto k = statement("select RDB$DB_KEY from V where ID = 2");
    k->ExecQuery();
    TFbXSQLVAR& keyColumn = k->ColumnAt(0);
    const std::string key(keyColumn.Data()->sqldata, keyColumn.Size());
    k->Close();
    ASSERT_EQ(key.size(), 8u);
    auto q = statement("select ID from V where RDB$DB_KEY = :FB_INTERNAL_DBKEY");
    q->ParamNamed("FB_INTERNAL_DBKEY").SetAsString(key);
    q->ExecQuery();
    EXPECT_EQ(q->ColumnAt(0).AsLong(), 2);
}

class ValuesDialect1 : public sqltest::Database {
protected:
    void SetUp() override {
        open("CREATE TABLE W (D DATE, N NUMERIC(15,2));\n"
             "INSERT INTO W VALUES ('5-MAR-2024', 123.45);\n"
             "INSERT INTO W VALUES ('6-MAR-2024 08:09:10', -7.1);\n",
             1);
    }
    rtl::ScopedFormatSettings brazil{rtl::brazilianSettings()};
};

TEST_F(ValuesDialect1, DateColumnIsATimestampAndNumericsComeFromDoubles) {
    auto q = statement("select D, N from W order by D");
    q->ExecQuery();
    EXPECT_EQ(q->ColumnAt(0).SQLType(), SQL_TIMESTAMP);
    EXPECT_EQ(q->ColumnAt(0).FieldKind().DataType, ftDateTime);
    EXPECT_EQ(q->ColumnAt(0).AsString(), "05/03/2024") << "midnight leaves the time out";
    EXPECT_EQ(q->ColumnAt(1).AsCurrency(), rtl::Currency::fromRaw(1234500));
    q->FetchNext();
    EXPECT_EQ(q->ColumnAt(0).AsString(), "06/03/2024 08:09:10");
    EXPECT_EQ(q->ColumnAt(1).AsCurrency(), rtl::Currency::fromRaw(-71000));
}

TEST_F(ValuesDialect1, DateAndCurrencyWritersFallBackToTimestampAndDouble) {
    auto q = statement("insert into W values (:d, :n)");
    q->ParamNamed("D").SetAsDate(rtl::encodeDate(2020, 1, 2));
    q->ParamNamed("N").SetAsCurrency(rtl::Currency::fromRaw(5000));
    EXPECT_EQ(q->ParamNamed("D").SQLType(), SQL_TIMESTAMP);
    EXPECT_EQ(q->ParamNamed("N").SQLType(), SQL_DOUBLE);
    q->ExecQuery();
    tr->Commit();
    EXPECT_EQ(scalar("select N from W where D = '2-JAN-2020'"), "0,5");
}

} // namespace
