#pragma once
// Catalog work on a connection's internal transaction, shared by the
// dataset and the table-name listing: the transaction is started when
// inactive and always committed at the end, also after an error.
#include "db/FbDatabase.h"
#include "db/FbSQL.h"

#include <memory>
#include <string>

/// Keeps the internal transaction of `db` active for its lifetime and
/// commits it at the end. Commit() ends it early and reports a failure;
/// the destructor commits silently when Commit was not called.
class TFbInternalTransactionScope {
public:
    /// Opens a closed connection first; starts the internal transaction.
    explicit TFbInternalTransactionScope(TFbDatabase& db);
    ~TFbInternalTransactionScope();
    TFbInternalTransactionScope(const TFbInternalTransactionScope&) = delete;
    TFbInternalTransactionScope& operator=(const TFbInternalTransactionScope&) = delete;

    /// A new statement on the connection and the internal transaction, with
    /// GoToFirstRecordOnExecute false and the given text.
    std::unique_ptr<TFbSQL> Statement(const std::string& sql) const;
    void Commit();

private:
    TFbDatabase& db_;
    bool done_ = false;
};

/// The relation name R of the catalog queries: the table name quoted for
/// `dialect` and then normalised, so dialect 3 keeps its case.
std::string FbCatalogRelationName(int dialect, const std::string& table);

/// `text` with each single quote doubled, for a literal inside '...'.
std::string FbQuoteLiteral(const std::string& text);
