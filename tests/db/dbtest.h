#pragma once
// Small helpers for the access-layer tests: a client that records the
// notifications it hears, and a way to run one statement without a
// statement object.
#include "db/FbDatabase.h"
#include "tests/support/fbtest.h"

#include <string>
#include <vector>

namespace dbtest {

/// The client error code of the EFbClientError that `f` raises (its text
/// into `message` when given), or -1 when it raises none.
template <class F> int clientErrorOf(F&& f, std::string* message = nullptr) {
    try {
        f();
    } catch (const EFbClientError& e) {
        if (message) *message = e.what();
        return e.SQLCode();
    }
    return -1;
}

/// A statement-like client that writes "<name>:<event>" into a shared log.
class Recorder : public TFbLink {
public:
    Recorder(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}
    std::string failOn; ///< an event name that makes the hook throw

protected:
    void TransactionEnding() override { note("ending"); }
    void TransactionEnded() override { note("ended"); }
    void TransactionFree() override { note("transaction gone"); }
    void DatabaseDisconnecting() override { note("disconnecting"); }
    void DatabaseDisconnected() override { note("disconnected"); }
    void DatabaseFree() override { note("database gone"); }

private:
    void note(const std::string& event) {
        log_.push_back(name_ + ":" + event);
        if (event == failOn) throw std::runtime_error(name_ + " refuses " + event);
    }
    std::string name_;
    std::vector<std::string>& log_;
};

/// Runs `sql` on `db` inside `tr` (started if needed), raising server errors.
inline void exec(TFbDatabase& db, TFbTransaction& tr, const std::string& sql) {
    tr.CheckInTransaction();
    tr.Call(
        FbApi().isc_dsql_execute_immediate(StatusVector(), db.Handle(), tr.Handle(), 0, sql.c_str(),
                                           static_cast<unsigned short>(db.SQLDialect()), nullptr));
}

/// The number isql prints for "select count(*) from <table>" (embedded).
inline int countRows(const std::string& path, const std::string& table) {
    std::string out = fbtest::isql(path, "set heading off; select count(*) from " + table + ";");
    return std::stoi(out);
}

/// A connection to `name` as SYSDBA, not yet opened.
inline void prepare(TFbDatabase& db, const std::string& name,
                    const std::string& password = fbtest::kPassword) {
    db.SetDatabaseName(name);
    db.SetLoginPrompt(false);
    db.SetParams({"user_name=SYSDBA", "password=" + password});
}

} // namespace dbtest
