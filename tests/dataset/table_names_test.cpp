// Listing the tables of a database for the table chooser.
#include "tests/dataset/dstest.h"

#include "db/Fb.h"

#include <algorithm>

using dstest::Env;
using Strings = std::vector<std::string>;

namespace {

Strings sorted(Strings v) {
    std::sort(v.begin(), v.end());
    return v;
}

const char* kMixed = "CREATE TABLE PRODUTOS (ID INTEGER);"
                     "CREATE TABLE \"Vendas 2024\" (ID INTEGER);"
                     "CREATE TABLE X (ID INTEGER);"
                     "CREATE VIEW V_PRODUTOS AS SELECT ID FROM PRODUTOS;";

TEST(TableNames, UserTablesOnlyWithoutViewsOrSystemTablesAndTrimmed) {
    Env env(kMixed);
    Strings names{"left over"};
    env.db.ListTableNames(names, false);
    EXPECT_EQ(sorted(names), (Strings{"PRODUTOS", "Vendas 2024", "X"}));
}

TEST(TableNames, SystemTablesOnRequestButNeverViews) {
    Env env(kMixed);
    Strings names;
    env.db.ListTableNames(names, true);
    EXPECT_NE(std::find(names.begin(), names.end(), "RDB$RELATIONS"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "PRODUTOS"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "V_PRODUTOS"), names.end());
    for (const std::string& n : names)
        EXPECT_EQ(n.find_last_not_of(' '), n.size() - 1) << "'" << n << "'";
}

TEST(TableNames, EmptyDatabaseGivesAnEmptyListAndNoActiveTransaction) {
    Env env("");
    Strings names{"stale"};
    env.db.ListTableNames(names, false);
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(env.db.InternalTransaction()->Active());
    EXPECT_FALSE(env.tr.Active());
}

TEST(TableNames, TwoListingsInARowAreAlikeAndLeaveTheCallersTransactionAlone) {
    Env env(kMixed);
    env.open("PRODUTOS");
    ASSERT_TRUE(env.tr.Active());
    Strings first, second;
    env.db.ListTableNames(first, false);
    env.db.ListTableNames(second, false);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.size(), 3u);
    EXPECT_FALSE(env.db.InternalTransaction()->Active());
    EXPECT_TRUE(env.tr.Active());
    EXPECT_TRUE(env.table.Active());
}

TEST(TableNames, ClosedConnectionIsOpenedFirst) {
    Env env(kMixed);
    env.db.Close();
    Strings names;
    env.db.ListTableNames(names, false);
    EXPECT_TRUE(env.db.Connected());
    EXPECT_EQ(names.size(), 3u);
}

TEST(TableNames, FailedAttachLeavesTheListAlone) {
    fbtest::TempFolder folder;
    TFbDatabase db;
    db.SetDatabaseName(folder.file("missing.fdb"));
    db.SetLoginPrompt(false);
    db.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
    Strings names{"keep"};
    EXPECT_THROW(db.ListTableNames(names, false), EFbError);
    EXPECT_EQ(names, (Strings{"keep"}));
    EXPECT_FALSE(db.Connected());
}

} // namespace
