// The character set a connection asks for, chosen at connect time from the
// database's default set and its text columns, on real databases.
#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "rtl/charset.h"
#include "tests/support/fbtest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace rtl::cs;

struct Caso {
    const char* padrao; // the database's default set
    const char* ddl;
    int conexao;  // ConnectionCharSetId
    int literais; // TextCharSetId
};

TEST(ConnectionCharSet, SingleByteDatabasesKeepTheirBlockAndOthersAskForUtf8) {
    const Caso casos[] = {
        {"NONE", "create table T (A varchar(5), B blob sub_type text);", None, None},
        {"ISO8859_1", "create table T (A varchar(5), N varchar(5) character set NONE);", None,
         Iso8859_1},
        {"WIN1252",
         "create table T (A char(5), B blob sub_type text, "
         "X varchar(5) character set OCTETS, Y varchar(5) character set ASCII);",
         None, Win1252},
        // A NONE default takes the one set its columns have.
        {"NONE", "create table T (A varchar(5) character set WIN1252);", None, Win1252},
        {"UTF8", "create table T (A varchar(5));", Utf8, Utf8},
        {"UNICODE_FSS", "", Utf8, Utf8},
        {"WIN1252", "create table T (A varchar(5), B varchar(5) character set ISO8859_1);", Utf8,
         Utf8},
        {"NONE", "create table T (A blob sub_type text character set UTF8);", Utf8, Utf8},
    };
    const std::string linhas = GenerateDPB({"user_name=SYSDBA", "password=plumtower"});
    for (const Caso& c : casos) {
        SCOPED_TRACE(std::string(c.padrao) + " " + c.ddl);
        fbtest::TempFolder pasta;
        const std::string banco = pasta.file("c.fdb");
        fbtest::createDatabaseUtf8(banco, c.padrao, c.ddl);
        TFbDatabase db;
        db.SetDatabaseName(banco);
        db.SetLoginPrompt(false);
        db.SetParams({"user_name=SYSDBA", "password=plumtower"});
        db.Open();
        EXPECT_EQ(db.DefaultCharSetId(), rtl::charSetId(c.padrao));
        EXPECT_EQ(db.ConnectionCharSetId(), c.conexao);
        EXPECT_EQ(db.TextCharSetId(), c.literais);
        // The single-byte world's block stays byte for byte the two lines';
        // the others gain exactly one clump.
        EXPECT_EQ(db.DPB(), c.conexao == None ? linhas : linhas + "\x30\x04UTF8");
        EXPECT_EQ(db.Params().size(), 2u) << "the user's lines are left as they were";
        EXPECT_FALSE(db.InternalTransaction()->Active());
        db.Close();
    }
}

TEST(ConnectionCharSet, AnLcCtypeLineOfTheUserIsObeyedAsWritten) {
    fbtest::TempFolder pasta;
    const std::string banco = pasta.file("c.fdb");
    fbtest::createDatabaseUtf8(banco, "UTF8", "");
    TFbDatabase db;
    db.SetDatabaseName(banco);
    db.SetLoginPrompt(false);
    db.SetParams({"user_name=SYSDBA", "password=plumtower", "lc_ctype=WIN1252"});
    db.Open();
    EXPECT_EQ(db.ConnectionCharSetId(), Win1252);
    EXPECT_EQ(db.DPB(), GenerateDPB(db.Params()));
}

} // namespace
