#include "db/FbDataSetCatalog.h"

#include "db/FbUtils.h"

TFbInternalTransactionScope::TFbInternalTransactionScope(TFbDatabase& db) : db_(db) {
    if (!db_.Connected()) db_.Open();
    TFbTransaction* tr = db_.InternalTransaction();
    if (!tr->Active()) tr->StartTransaction();
}

TFbInternalTransactionScope::~TFbInternalTransactionScope() {
    if (done_) return;
    try {
        TFbTransaction* tr = db_.InternalTransaction();
        if (tr->Active()) tr->Commit();
    } catch (...) {
        // Nothing was written on this transaction, so a failed commit loses
        // nothing; the error that brought us here is the one to report.
    }
}

std::unique_ptr<TFbSQL> TFbInternalTransactionScope::Statement(const std::string& sql) const {
    auto st = std::make_unique<TFbSQL>();
    st->SetDatabase(&db_);
    st->SetTransaction(db_.InternalTransaction());
    st->SetGoToFirstRecordOnExecute(false);
    st->SQL().SetText(sql);
    return st;
}

void TFbInternalTransactionScope::Commit() {
    done_ = true;
    TFbTransaction* tr = db_.InternalTransaction();
    if (tr->Active()) tr->Commit();
}

std::string FbCatalogRelationName(int dialect, const std::string& table) {
    return NormalizeIdentifier(dialect, QuoteIdentifier(dialect, table));
}

std::string FbQuoteLiteral(const std::string& text) {
    std::string r;
    r.reserve(text.size());
    for (char c : text) {
        r += c;
        if (c == '\'') r += '\'';
    }
    return r;
}
