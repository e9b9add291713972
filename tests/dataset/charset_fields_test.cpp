// TField::CharSetId names the set of the bytes the field's readers return,
// on a connection with a set and on one without.
#include "db/FbDatabase.h"
#include "db/FbTable.h"
#include "rtl/charset.h"
#include "tests/support/fbtest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace rtl::cs;

TEST(CharSetFields, ReadersReturnBytesInTheSetCharSetIdNames) {
    fbtest::TempFolder pasta;
    const std::string banco = pasta.file("m.fdb");
    fbtest::createDatabaseUtf8(
        banco, "WIN1252",
        "create table T (W varchar(4), WC char(3), WM blob sub_type text, "
        "L varchar(4) character set ISO8859_1, U char(2) character set UTF8, "
        "UM blob sub_type text character set UTF8, N varchar(4) character set NONE, "
        "O char(2) character set OCTETS); commit; "
        "insert into T values ('€', '“”', '–€', 'ã', '中', 'Zoë 中', 'abc', 'ab');");
    struct Caso {
        const char* campo;
        int utf8;          // CharSetId on the UTF8 connection the program chooses
        int semSet;        // and on a connection asked for without a set
        const char* texto; // the characters, as UTF-8 (CHAR padded in characters)
    };
    const Caso casos[] = {
        {"W", Utf8, Win1252, "€"},   {"WC", Utf8, Win1252, "“” "}, {"WM", Utf8, Win1252, "–€"},
        {"L", Utf8, Iso8859_1, "ã"}, {"U", Utf8, Utf8, "中 "},     {"UM", Utf8, Utf8, "Zoë 中"},
        {"N", None, None, "abc"},
    };
    for (const bool comSet : {true, false}) {
        TFbDatabase db;
        db.SetDatabaseName(banco);
        db.SetLoginPrompt(false);
        std::vector<std::string> linhas{"user_name=SYSDBA",
                                        std::string("password=") + fbtest::kPassword};
        if (!comSet) linhas.push_back("lc_ctype=NONE");
        db.SetParams(linhas);
        db.Open();
        ASSERT_EQ(db.ConnectionCharSetId(), comSet ? Utf8 : None);
        TFbTransaction tr;
        tr.SetDefaultDatabase(&db);
        TFbTable t;
        t.SetDatabase(&db);
        t.SetTransaction(&tr);
        t.SetTableName("T");
        t.Open();
        for (const Caso& c : casos) {
            SCOPED_TRACE(std::string(c.campo) + (comSet ? " UTF8" : " NONE"));
            const TField& f = t.FieldByName(c.campo);
            EXPECT_EQ(f.CharSetId(), comSet ? c.utf8 : c.semSet);
            EXPECT_EQ(rtl::toUtf8(f.AsString(), f.CharSetId()), c.texto);
        }
        EXPECT_EQ(t.FieldByName("O").CharSetId(), Octets);
        EXPECT_EQ(t.FieldByName("O").AsString(), "ab");
        t.Close();
        db.Close();
    }
}

} // namespace
