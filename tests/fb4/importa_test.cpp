// Importing into Firebird 4's own kinds (INT128, DECFLOAT, times with a
// zone): the server reads them from the cells' text.
#include "db/FbDatabase.h"
#include "import/Importacao.h"
#include "tests/support/fbtest.h"

#include <gtest/gtest.h>

#include <optional>

TEST(ImportaFb4, TiposNovosLidosPeloServidor) {
    FBTEST_REQUIRE_FB4_SERVER();
    fbtest::Fb4Database base("create table T (ID int128 not null primary key, D decfloat(34), "
                             "N numeric(30,4), H time with time zone, "
                             "M timestamp with time zone, V varchar(10));",
                             "UTF8");
    TFbDatabase db;
    TFbTransaction tr;
    db.SetDatabaseName(base.name());
    db.SetLoginPrompt(false);
    db.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
    tr.SetDefaultDatabase(&db);
    db.SetDefaultTransaction(&tr);
    db.Open();
    importa::Importacao imp(
        db.TableFacts("T", tr),
        std::make_unique<importa::FonteTexto>(
            "ID\tD\tN\tH\tM\tV\n"
            "170141183460469231731687303715884105727\t1.5E+300\t12345678901234567890.1234\t"
            "10:11:12 America/Sao_Paulo\t2024-02-29 10:11:12 +03:00\tação\n",
            importa::FormatoTexto{}),
        rtl::brazilianSettings());
    importa::Verificacao v;
    ASSERT_TRUE(imp.verifica(v));
    EXPECT_EQ(v.ruins, 0);
    EXPECT_EQ(importa::gravaTudo(imp, db, tr, false), 1);
    db.Close();
    const std::string s =
        base.isql("select cast(id as varchar(50)), cast(d as varchar(50)), cast(n as varchar(50)), "
                  "cast(h as varchar(60)), cast(m as varchar(60)), v from t;");
    for (const char* esperado :
         {"170141183460469231731687303715884105727", "1.5E+300", "12345678901234567890.1234",
          "10:11:12.0000 America/Sao_Paulo", "2024-02-29 10:11:12.0000 +03:00", "ação"})
        EXPECT_NE(s.find(esperado), std::string::npos) << esperado << "\n" << s;
}
