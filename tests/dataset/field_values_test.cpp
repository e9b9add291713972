// What each field kind holds and shows: texts, numbers, dates, nulls,
// display formats, memo and blob contents.
#include "tests/dataset/dstest.h"

#include "db/Fb.h"
#include "db/FbSQL.h"
#include "rtl/datetime.h"
#include "rtl/errors.h"

#include <cmath>

using dstest::Env;

namespace {

const char* kKinds = "CREATE TABLE K (ID INTEGER NOT NULL PRIMARY KEY, C CHAR(10), V VARCHAR(10),"
                     " S SMALLINT, I INTEGER, B BIGINT, N92 NUMERIC(9,2), N186 NUMERIC(18,6),"
                     " N41 NUMERIC(4,1), D DOUBLE PRECISION, F FLOAT, DT DATE, TM TIME,"
                     " TS TIMESTAMP, M BLOB SUB_TYPE 1, BL BLOB SUB_TYPE 0);"
                     "INSERT INTO K VALUES (1, 'AB', 'AB', -7, 123456, 9000000000123,"
                     " 123.45, -1.234567, 12.3, 2.5, 0.25, '2024-03-05', '13:14:15.678',"
                     " '2024-03-05 08:09:10.999', 'linha um', 'bytes');"
                     "INSERT INTO K (ID) VALUES (2);";

struct KindRow {
    const char* field;
    TFieldType kind;
    const char* text;
};

TEST(FieldValues, EveryKindReadsAsText) {
    rtl::ScopedFormatSettings fs(dstest::testSettings());
    Env env(kKinds);
    env.open("K");
    const KindRow rows[] = {
        {"C", ftString, "AB        "},
        {"V", ftString, "AB"},
        {"S", ftSmallint, "-7"},
        {"I", ftInteger, "123456"},
        {"B", ftLargeint, "9000000000123"},
        {"N92", ftBCD, "123.45"},
        {"N186", ftFloat, "-1.234567"},
        {"N41", ftBCD, "12.3"},
        {"D", ftFloat, "2.5"},
        {"F", ftFloat, "0.25"},
        {"DT", ftDate, "05/03/2024"},
        {"TM", ftTime, "13:14:15"},
        {"TS", ftDateTime, "05/03/2024 08:09:10"},
        {"M", ftMemo, "linha um"},
        {"BL", ftBlob, "bytes"},
    };
    for (const KindRow& r : rows) {
        TField& f = env.table.FieldByName(r.field);
        EXPECT_EQ(f.DataType(), r.kind) << r.field;
        EXPECT_FALSE(f.IsNull()) << r.field;
        EXPECT_EQ(f.AsString(), r.text) << r.field;
    }
}

TEST(FieldValues, CharKeepsItsBlanksVarcharHasNone) {
    Env env(kKinds);
    env.open("K");
    EXPECT_EQ(env.table.FieldByName("C").AsString(), "AB" + std::string(8, ' '));
    EXPECT_EQ(env.table.FieldByName("C").DisplayText(), "AB" + std::string(8, ' '));
    EXPECT_EQ(env.table.FieldByName("V").AsString(), "AB");
    EXPECT_EQ(env.table.FieldByName("C").Size(), 10);
}

TEST(FieldValues, NumbersReadInEveryForm) {
    Env env(kKinds);
    env.open("K");
    TField& bcd = env.table.FieldByName("N92");
    EXPECT_EQ(bcd.AsCurrency(), rtl::Currency::fromRaw(1234500));
    EXPECT_DOUBLE_EQ(bcd.AsFloat(), 123.45);
    EXPECT_EQ(bcd.AsInteger(), 123);
    EXPECT_EQ(bcd.Size(), 2);
    EXPECT_EQ(bcd.Precision(), 9);
    EXPECT_DOUBLE_EQ(env.table.FieldByName("N186").AsFloat(), -1.234567);
    EXPECT_EQ(env.table.FieldByName("B").AsLargeInt(), 9000000000123LL);
    EXPECT_EQ(env.table.FieldByName("I").AsInteger(), 123456);
    EXPECT_DOUBLE_EQ(env.table.FieldByName("I").AsFloat(), 123456.0);
    EXPECT_EQ(env.table.FieldByName("S").AsCurrency(), rtl::Currency::fromUnits(-7));
    EXPECT_TRUE(env.table.FieldByName("S").AsBoolean());
    EXPECT_DOUBLE_EQ(env.table.FieldByName("D").AsFloat(), 2.5);
    EXPECT_EQ(env.table.FieldByName("D").AsInteger(), 2);
}

TEST(FieldValues, DatesDropTheFractionOfASecond) {
    Env env(kKinds);
    env.open("K");
    EXPECT_DOUBLE_EQ(env.table.FieldByName("DT").AsDateTime(), rtl::encodeDate(2024, 3, 5));
    EXPECT_DOUBLE_EQ(env.table.FieldByName("TM").AsDateTime(), rtl::encodeTime(13, 14, 15));
    EXPECT_DOUBLE_EQ(env.table.FieldByName("TS").AsDateTime(),
                     rtl::encodeDate(2024, 3, 5) + rtl::encodeTime(8, 9, 10));
}

TEST(FieldValues, DatesBeforeTheBaseDaySubtractTheirTime) {
    Env env("CREATE TABLE T (TS TIMESTAMP);"
            "INSERT INTO T VALUES ('1899-12-29 06:00:00');");
    env.open("T");
    EXPECT_DOUBLE_EQ(env.table.Fields(0).AsDateTime(), -1.25);
}

TEST(FieldValues, NullInEveryKindReadsAsTheKindsZero) {
    rtl::ScopedFormatSettings fs(dstest::testSettings());
    Env env(kKinds);
    env.open("K");
    env.table.Next();
    ASSERT_EQ(env.table.FieldByName("ID").AsInteger(), 2);
    for (int i = 1; i < env.table.FieldCount(); ++i) {
        TField& f = env.table.Fields(i);
        SCOPED_TRACE(f.FieldName());
        EXPECT_TRUE(f.IsNull());
        EXPECT_EQ(f.AsString(), "");
        if (f.IsBlob()) {
            EXPECT_EQ(f.BlobStream().Size(), 0);
            continue;
        }
        EXPECT_EQ(f.DisplayText(), "");
        EXPECT_EQ(f.AsInteger(), 0);
        EXPECT_EQ(f.AsFloat(), 0.0);
        EXPECT_EQ(f.AsCurrency(), rtl::Currency());
        EXPECT_EQ(f.AsDateTime(), 0.0);
        EXPECT_FALSE(f.AsBoolean());
    }
    EXPECT_EQ(env.table.FieldByName("M").DisplayText(), "(Memo)");
    EXPECT_EQ(env.table.FieldByName("BL").DisplayText(), "(Blob)");
}

TEST(FieldValues, MemoAndBlobShowTheirKindAndReadTheirContent) {
    Env env(kKinds);
    env.open("K");
    TField& memo = env.table.FieldByName("M");
    TField& blob = env.table.FieldByName("BL");
    EXPECT_EQ(memo.DisplayText(), "(MEMO)");
    EXPECT_EQ(blob.DisplayText(), "(BLOB)");
    TFbBlobStream s = memo.BlobStream();
    EXPECT_EQ(s.Size(), 8);
    char buf[6] = {};
    EXPECT_EQ(s.Read(buf, 5), 5u);
    EXPECT_EQ(std::string(buf, 5), "linha");
    EXPECT_EQ(s.ReadAll(), " um");
    EXPECT_EQ(s.Read(buf, 5), 0u) << "reading past the content returns nothing";
    EXPECT_EQ(blob.AsString(), "bytes");
    EXPECT_THROW(env.table.FieldByName("I").BlobStream(), EFbError);
}

TEST(FieldValues, LongMemoIsReadInFull) {
    Env env("CREATE TABLE T (M BLOB SUB_TYPE 1);");
    std::string big;
    for (int i = 0; i < 5000; ++i)
        big += "linha " + std::to_string(i) + "\n";
    {
        TFbSQL ins;
        ins.SetDatabase(&env.db);
        ins.SetTransaction(&env.tr);
        ins.SQL().SetText("insert into T values (:M)");
        ins.ParamNamed("M").SetAsString(big);
        ins.ExecQuery();
        env.tr.Commit();
    }
    env.open("T");
    EXPECT_GT(big.size(), 16384u * 2);
    EXPECT_EQ(env.table.Fields(0).AsString(), big);
}

TEST(FieldValues, DisplayFormatsShapeTheGridText) {
    rtl::FormatSettings br = rtl::brazilianSettings();
    rtl::ScopedFormatSettings fs(br);
    Env env("CREATE TABLE T (VALOR DOUBLE PRECISION, QTD NUMERIC(9,3), PRECO NUMERIC(9,2),"
            " DIA DATE, HORA TIME, N INTEGER);"
            "INSERT INTO T VALUES (1234567.891, 2.5, 10, '2024-03-05', '07:08:09', 5);");
    env.open("T");
    TField& valor = env.table.FieldByName("VALOR");
    valor.SetDisplayFormat("###,###,###,##0.00");
    EXPECT_EQ(valor.DisplayText(), "1.234.567,89");
    EXPECT_EQ(valor.AsString(), "1.234.567,89") << "a float's text follows its format";
    TField& qtd = env.table.FieldByName("QTD");
    qtd.SetDisplayFormat("###,###,###,##0.####");
    EXPECT_EQ(qtd.DisplayText(), "2,5");
    TField& preco = env.table.FieldByName("PRECO");
    EXPECT_EQ(preco.AsString(), "10");
    preco.SetDisplayFormat("###,###,###,##0.00");
    EXPECT_EQ(preco.DisplayText(), "10,00");
    EXPECT_EQ(preco.AsString(), "10") << "BCD text is always the currency text";
    TField& dia = env.table.FieldByName("DIA");
    dia.SetDisplayFormat("dd/mm/yyyy");
    EXPECT_EQ(dia.DisplayText(), "05/03/2024");
    dia.SetDisplayFormat("yyyy");
    EXPECT_EQ(dia.DisplayText(), "2024");
    TField& hora = env.table.FieldByName("HORA");
    hora.SetDisplayFormat("hh:nn:ss");
    EXPECT_EQ(hora.DisplayText(), "07:08:09");
    EXPECT_EQ(env.table.FieldByName("N").DisplayText(), "5");
}

TEST(FieldValues, FieldSettingsLiveOnlyUntilTheNextOpen) {
    Env env(kKinds);
    env.open("K");
    env.table.FieldByName("D").SetDisplayFormat("0.00");
    env.table.FieldByName("D").SetVisible(false);
    env.table.FieldByName("D").SetDisplayLabel("Duplo");
    EXPECT_EQ(env.table.FieldByName("D").DisplayLabel(), "Duplo");
    env.table.Close();
    env.table.Open();
    EXPECT_EQ(env.table.FieldByName("D").DisplayFormat(), "");
    EXPECT_TRUE(env.table.FieldByName("D").Visible());
    EXPECT_EQ(env.table.FieldByName("D").DisplayLabel(), "D");
}

TEST(FieldValues, TextParsesIntoNumbersOrFails) {
    Env env("CREATE TABLE T (A VARCHAR(10), B VARCHAR(10), C CHAR(3));"
            "INSERT INTO T VALUES ('42', 'abc', 'yes');");
    env.open("T");
    EXPECT_EQ(env.table.FieldByName("A").AsInteger(), 42);
    EXPECT_DOUBLE_EQ(env.table.FieldByName("A").AsFloat(), 42.0);
    EXPECT_THROW(env.table.FieldByName("B").AsInteger(), rtl::EConvertError);
    EXPECT_THROW(env.table.FieldByName("B").AsFloat(), rtl::EConvertError);
    // No boolean word: refused, as the statement's reader refuses it.
    EXPECT_THROW(env.table.FieldByName("B").AsBoolean(), EFbClientError);
    EXPECT_THROW(env.table.FieldByName("C").AsBoolean(), EFbClientError);
}

TEST(FieldValues, DateCannotBeReadAsANumberOfOtherKind) {
    Env env(kKinds);
    env.open("K");
    try {
        env.table.FieldByName("DT").AsInteger();
        FAIL();
    } catch (const EFbError& e) {
        EXPECT_EQ(e.SQLCode(), 38);
    }
    EXPECT_THROW(env.table.FieldByName("I").AsDateTime(), EFbError);
}

TEST(FieldValues, LargeScaledNumbersReadAsTheNearestDouble) {
    Env env("CREATE TABLE T (N NUMERIC(18,6));"
            "INSERT INTO T VALUES (123456789012.345678);"
            "INSERT INTO T VALUES (1234567890.123456);"
            "INSERT INTO T VALUES (-123456789.012345);");
    env.open("T");
    EXPECT_EQ(env.table.Fields(0).AsFloat(), 123456789012.345678) << "no digit cut at fifteen";
    env.table.Next();
    EXPECT_EQ(env.table.Fields(0).AsFloat(), 1234567890.123456) << "sixteen digits";
    env.table.Next();
    EXPECT_EQ(env.table.Fields(0).AsFloat(), -123456789.012345) << "fifteen digits stay exact";
}

} // namespace

namespace {

TEST(FieldValues, Dialect1NumbersAndDates) {
    rtl::ScopedFormatSettings fs(dstest::testSettings());
    Env env("CREATE TABLE T (N NUMERIC(9,2), BIG NUMERIC(15,2), DIA DATE);"
            "INSERT INTO T VALUES (123.45, 1234567.89, '5-MAR-2024');",
            1);
    env.open("T");
    TField& n = env.table.FieldByName("N");
    EXPECT_EQ(n.DataType(), ftBCD);
    EXPECT_EQ(n.AsCurrency(), rtl::Currency::fromRaw(1234500));
    EXPECT_EQ(env.table.FieldByName("BIG").DataType(), ftFloat)
        << "wide numerics of dialect 1 are doubles";
    EXPECT_DOUBLE_EQ(env.table.FieldByName("BIG").AsFloat(), 1234567.89);
    EXPECT_EQ(env.table.FieldByName("DIA").AsString(), "05/03/2024");
}

} // namespace
