#pragma once
// A real database in a temporary folder with a connection, a transaction and
// a table dataset wired as the main window wires them.
#include "db/FbDatabase.h"
#include "db/FbTable.h"
#include "rtl/settings.h"
#include "tests/support/fbtest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dstest {

struct Env {
    fbtest::TempFolder folder;
    std::string path;
    TFbDatabase db;
    TFbTransaction tr;
    TFbTable table;

    /// Creates the database with `ddl` (statements ending with ";") and
    /// attaches through the embedded engine.
    explicit Env(const std::string& ddl, int dialect = 3) {
        path = folder.file("t.fdb");
        fbtest::createDatabase(path, ddl, dialect);
        attach(dialect);
    }
    /// The same with the database's default character set `charSet` (dialect
    /// 3); `ddl` runs through isql, whose connection has no character set,
    /// and the dataset's connection asks for none either (lc_ctype=NONE), so
    /// each column's text arrives in the column's own set.
    Env(const std::string& ddl, const std::string& charSet) {
        path = folder.file("t.fdb");
        TFbDatabase::CreateDatabase("CREATE DATABASE '" + path + "' USER 'SYSDBA' PASSWORD '" +
                                    fbtest::kPassword + "' DEFAULT CHARACTER SET " + charSet);
        if (!ddl.empty()) fbtest::isql(path, ddl);
        attach(3, {"lc_ctype=NONE"});
    }
    void attach(int dialect, const std::vector<std::string>& more = {}) {
        db.SetDatabaseName(path);
        db.SetLoginPrompt(false);
        std::vector<std::string> params{"user_name=SYSDBA",
                                        std::string("password=") + fbtest::kPassword};
        params.insert(params.end(), more.begin(), more.end());
        db.SetParams(params);
        db.SetSQLDialect(dialect);
        tr.SetDefaultDatabase(&db);
        db.SetDefaultTransaction(&tr);
        db.Open();
        table.SetDatabase(&db);
        table.SetTransaction(&tr);
        table.SetBufferChunks(1000);
    }
    ~Env() {
        try {
            table.Close();
            db.Close();
        } catch (...) {
        }
    }

    /// Opens `name` (closing first) with the given filter.
    void open(const std::string& name, const std::string& filter = "", bool filtered = false) {
        table.Close();
        table.SetTableName(name);
        table.SetFilter(filter);
        table.SetFiltered(filtered);
        table.Open();
    }

    /// The texts of field `field` for every row, walking First to Eof.
    std::vector<std::string> column(const std::string& field) {
        std::vector<std::string> out;
        table.First();
        while (!table.Eof()) {
            out.push_back(table.FieldByName(field).AsString());
            table.Next();
        }
        return out;
    }
};

/// A fixed "." decimal, "dd/mm/yyyy" set so texts do not depend on the machine.
inline rtl::FormatSettings testSettings() {
    rtl::FormatSettings fs = rtl::englishSettings();
    fs.shortDateFormat = "dd/mm/yyyy";
    fs.longTimeFormat = "hh:nn:ss";
    return fs;
}

} // namespace dstest
