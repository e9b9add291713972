// A Firebird 3 BOOLEAN column through statements: what it reads as, and what
// a typed text, a number or a variant writes into it.
#include "tests/db/sql_fixture.h"

#include "db/Fb.h"
#include "db/FbUtils.h"

#include <gtest/gtest.h>

namespace {

using sqltest::clientErrorOf;

const char* kFlags = "CREATE TABLE FLAGS (ID INTEGER NOT NULL PRIMARY KEY, B BOOLEAN);\n"
                     "INSERT INTO FLAGS VALUES (1, TRUE);\n"
                     "INSERT INTO FLAGS VALUES (2, FALSE);\n"
                     "INSERT INTO FLAGS VALUES (3, NULL);\n";

const char* kNao = "N\xc3O";

class Booleans : public sqltest::Database {
protected:
    void SetUp() override { open(kFlags); }

    std::unique_ptr<TFbSQL> row(int id) {
        auto q = statement("select B from FLAGS where ID = " + std::to_string(id));
        q->ExecQuery();
        return q;
    }

    /// Writes into row 1 through the parameter, by `write`, and commits.
    template <class W> void update(W write) {
        auto q = statement("update FLAGS set B = :B where ID = 1");
        write(q->ParamNamed("B"));
        q->ExecQuery();
        tr->Commit();
    }

    std::string first() { return scalar("select B from FLAGS where ID = 1"); }
};

} // namespace

TEST_F(Booleans, TrueFalseAndNullReadInEveryForm) {
    auto yes = row(1);
    TFbXSQLVAR& t = yes->ColumnAt(0);
    EXPECT_EQ(t.SQLType(), SQL_BOOLEAN);
    EXPECT_EQ(t.FieldKind(), (TFbFieldKind{ftBoolean, 0, 0}));
    EXPECT_TRUE(t.AsBoolean());
    EXPECT_EQ(t.AsLong(), 1);
    EXPECT_EQ(t.AsInt64(), 1);
    EXPECT_EQ(t.AsDouble(), 1.0);
    EXPECT_EQ(t.AsString(), "SIM");
    EXPECT_EQ(clientErrorOf([&] { t.AsDateTime(); }), 38);

    auto no = row(2);
    EXPECT_FALSE(no->ColumnAt(0).AsBoolean());
    EXPECT_EQ(no->ColumnAt(0).AsLong(), 0);
    EXPECT_EQ(no->ColumnAt(0).AsString(), kNao);

    auto none = row(3);
    EXPECT_TRUE(none->ColumnAt(0).IsNull());
    EXPECT_FALSE(none->ColumnAt(0).AsBoolean());
    EXPECT_EQ(none->ColumnAt(0).AsString(), "");
}

TEST_F(Booleans, TypedWordsWriteTrueFalseOrNull) {
    const struct {
        const char* typed;
        std::string stored;
    } cases[] = {
        {"True", "SIM"}, {"false", kNao}, {"1", "SIM"},     {"0", kNao},
        {"s", "SIM"},    {"N", kNao},     {" sim ", "SIM"}, {"n\xe3o", kNao},
        {"NAO", kNao},   {"TRUE", "SIM"}, {"", "<null>"},
    };
    for (const auto& c : cases) {
        update([&](TFbXSQLVAR& p) { p.SetAsString(c.typed); });
        EXPECT_EQ(first(), c.stored) << "typed [" << c.typed << "]";
    }
}

TEST_F(Booleans, AnyOtherTextIsRefusedByTheServerAndChangesNothing) {
    EXPECT_THROW(update([](TFbXSQLVAR& p) { p.SetAsString("talvez"); }), EFbFirebirdError);
    tr->Rollback();
    EXPECT_EQ(first(), "SIM");
}

TEST_F(Booleans, NumbersZeroAndOneAndBooleanVariantsWriteIt) {
    update([](TFbXSQLVAR& p) { p.SetAsLong(0); });
    EXPECT_EQ(first(), kNao);
    update([](TFbXSQLVAR& p) { p.SetAsInt64(1); });
    EXPECT_EQ(first(), "SIM");
    update([](TFbXSQLVAR& p) { p.SetAsShort(0); });
    EXPECT_EQ(first(), kNao);
    update([](TFbXSQLVAR& p) { p.SetAsBoolean(true); });
    EXPECT_EQ(first(), "SIM");
    update([](TFbXSQLVAR& p) {
        TFbVariant v = TFbVariant::Make(varBoolean);
        v.Int = 0;
        p.SetAsVariant(v);
    });
    EXPECT_EQ(first(), kNao);
    // The server has no number-to-boolean conversion; other numbers are no
    // boolean at all.
    auto q = statement("update FLAGS set B = :B where ID = 1");
    EXPECT_EQ(clientErrorOf([&] { q->ParamNamed("B").SetAsLong(2); }), 38);
}

TEST_F(Booleans, ABooleanParameterFiltersRows) {
    auto q = statement("select count(*) from FLAGS where B = :B");
    q->ParamNamed("B").SetAsString("S");
    q->ExecQuery();
    EXPECT_EQ(q->ColumnAt(0).AsLong(), 1);
    q->Close();
    q->ParamNamed("B").SetAsString("N");
    q->ExecQuery();
    EXPECT_EQ(q->ColumnAt(0).AsLong(), 1);
}

TEST(BooleanWords, TheProgramsTextAndTheWordsItAccepts) {
    EXPECT_STREQ(BooleanText(true), "SIM");
    EXPECT_STREQ(BooleanText(false), "N\xc3O");
    bool v = true;
    EXPECT_TRUE(TryTextToBoolean("n\xc3o", v));
    EXPECT_FALSE(v);
    for (const char* other : {"", "2", "sim?", "yes", "verdadeiro", "T"}) {
        v = true;
        EXPECT_FALSE(TryTextToBoolean(other, v)) << other;
        EXPECT_TRUE(v) << "left untouched by " << other;
    }
}
