#pragma once
// A fresh database file per test, a connection and a transaction on it, and
// statements bound to both.
#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "tests/db/dbtest.h"
#include "tests/support/fbtest.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace sqltest {

class Database : public ::testing::Test {
protected:
    /// Creates the file with `ddl`, then attaches through the embedded engine.
    void open(const std::string& ddl, int dialect = 3) {
        path = folder.file("test.fdb");
        fbtest::createDatabase(path, ddl, dialect);
        db = std::make_unique<TFbDatabase>();
        db->SetDatabaseName(path);
        db->SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
        db->SetLoginPrompt(false);
        if (dialect == 1) db->SetSQLDialect(1);
        db->Open();
        tr = std::make_unique<TFbTransaction>();
        tr->SetDefaultDatabase(db.get());
    }

    /// A statement on the test's connection and transaction with `sql` as text.
    std::unique_ptr<TFbSQL> statement(const std::string& sql = "") {
        auto q = std::make_unique<TFbSQL>();
        q->SetDatabase(db.get());
        q->SetTransaction(tr.get());
        if (!sql.empty()) q->SQL().SetText(sql);
        return q;
    }

    /// Runs a statement without results and commits.
    void exec(const std::string& sql) {
        auto q = statement(sql);
        q->ExecQuery();
        tr->Commit();
    }

    /// The first column of the first row of `sql`, as text ("<null>" for null).
    std::string scalar(const std::string& sql) {
        auto q = statement(sql);
        q->ExecQuery();
        std::string r = q->ColumnAt(0).IsNull() ? "<null>" : q->ColumnAt(0).AsString();
        q->Close();
        return r;
    }

    void TearDown() override {
        tr.reset();
        db.reset();
    }

    fbtest::TempFolder folder;
    std::string path;
    std::unique_ptr<TFbDatabase> db;
    std::unique_ptr<TFbTransaction> tr;
};

using dbtest::clientErrorOf;

} // namespace sqltest
