#include "db/FbTable.h"

#include "db/FbCatalogSQL.h"
#include "db/FbDatabase.h"
#include "db/FbSQL.h"

#include <array>

namespace {

/// The SQL type a described column has for the catalog's RDB$FIELD_TYPE,
/// for the kinds that arrive as they are stored; 0 for the others (arrays,
/// and the kinds a server may send bound to another type).
int describedTypeOf(int fieldType) {
    switch (fieldType) {
    case 7:
        return SQL_SHORT;
    case 8:
        return SQL_LONG;
    case 10:
        return SQL_FLOAT;
    case 12:
        return SQL_TYPE_DATE;
    case 13:
        return SQL_TYPE_TIME;
    case 14:
        return SQL_TEXT;
    case 16:
        return SQL_INT64;
    case 23:
        return SQL_BOOLEAN;
    case 27:
        return SQL_DOUBLE;
    case 35:
        return SQL_TIMESTAMP;
    case 37:
        return SQL_VARYING;
    case 261:
        return SQL_BLOB;
    default:
        return 0;
    }
}

} // namespace

struct TFbTable::Companions {
    // Refresh, delete, insert and modify: generated, prepared only when used.
    std::array<TFbSQL, 4> statements;
};

TFbTable::TFbTable() : companions_(std::make_unique<Companions>()) {
    for (TFbSQL& st : companions_->statements)
        st.SetGoToFirstRecordOnExecute(false);
}

TFbTable::~TFbTable() {
    // Close while this object's overrides still exist.
    try {
        Close();
    } catch (...) {
    }
}

int TFbTable::dialect() const {
    return Dialect();
}

void TFbTable::SetTableName(const std::string& name) {
    if (Active()) throw EDatabaseError("Cannot perform this operation on an open dataset");
    if (name == tableName_) return;
    tableName_ = name;
    selectText_.clear();
    SelectSQL().SQL().Clear();
    refreshText_.clear();
    deleteText_.clear();
    insertText_.clear();
    modifyText_.clear();
    for (TFbSQL& st : companions_->statements)
        st.SQL().Clear();
    regenerate_ = true;
    indexName_.clear();
    indexFieldNames_.clear();
    indexDescending_ = false;
    primaryKey_.clear();
    indexDefs_.clear();
    facts_.reset();
    // Updatability belongs to the table that was read, not to the next one.
    readOnly_ = false;
}

void TFbTable::SetFilter(const std::string& filter) {
    if (filtered_ && filter != filter_) {
        filter_ = filter;
        if (Active())
            ReopenKeepingRow();
        else
            regenerate_ = true;
        return;
    }
    filter_ = filter;
}

void TFbTable::SetFiltered(bool value) {
    if (value == filtered_) return;
    filtered_ = value;
    regenerate_ = true;
    if (Active()) ReopenKeepingRow();
}

void TFbTable::SetFilterOptions(int options) {
    if (options != 0) RaiseClientError(4);
}

void TFbTable::SetDefaultIndex(bool value) {
    if (value != defaultIndex_) {
        defaultIndex_ = value;
        regenerate_ = true;
    }
}

void TFbTable::SetIndexFieldNames(const std::string& value) {
    if (value != indexFieldNames_) {
        indexFieldNames_ = value;
        regenerate_ = true;
    }
}

void TFbTable::SetIndexName(const std::string& value) {
    if (value != indexName_) {
        indexName_ = value;
        regenerate_ = true;
    }
}

void TFbTable::SetIndexDescending(bool value) {
    if (value != indexDescending_) {
        indexDescending_ = value;
        regenerate_ = true;
    }
}

void TFbTable::ReopenKeepingRow(int searchLimit) {
    if (!Active()) return;
    TFbBusyScope busy; // the walk back to the row may fetch many rows
    const std::string key = CurrentRowKey();
    regenerate_ = true;
    DisableControls();
    try {
        Close(true);
        Open();
        if (!key.empty()) {
            // Walk from the first row until the row with the same key is
            // current; without it, stay on the first row. The limit keeps a
            // row that moved far away from costing the whole table.
            bool found = false;
            First();
            while (!Eof()) {
                found = CurrentRowKey() == key;
                if (found || (searchLimit >= 0 && RecNo() >= searchLimit)) break;
                Next();
            }
            if (!found) First();
        }
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

void TFbTable::CheckOpenable() {
    if (tableName_.empty()) RaiseClientError(75);
}

void TFbTable::BeforePrepare() {
    factsFresh_ = false;
    if (!regenerate_) return;
    useFacts(false);
    regenerate_ = false;
}

void TFbTable::useFacts(bool fresh) {
    Binding().EnsureActive();
    facts_ =
        Database()->TableFacts(FbCatalogRelationName(dialect(), tableName_), *Transaction(), fresh);
    factsFresh_ = fresh;
    primaryKey_ = facts_->PrimaryKey;
    indexDefs_ = facts_->Indexes;
    // A table that the catalog does not know is left to the SELECT, whose
    // prepare says so in the server's words.
    if (facts_->Found && !facts_->Updatable) readOnly_ = true;
    const std::string before = SelectSQL().SQL().Text();
    generateSelect();
    if (!readOnly_) generateModifications();
    // An unchanged SELECT stays prepared: a reopening that keeps the
    // transaction then only executes it again.
    if (SelectSQL().SQL().Text() != before) Unprepare();
}

void TFbTable::PrepareSelect() {
    try {
        PrepareIfNeeded();
    } catch (const EFbFirebirdError& e) {
        // Facts kept from an earlier open may name a key column another user
        // has dropped since: read them again and make the SELECT anew once.
        if (factsFresh_ || e.ConnectionLost() || e.IBErrorCode() == isc_cancelled) throw;
        Database()->ForgetTableFacts(facts_ ? facts_->Relation : std::string());
        useFacts(true);
        PrepareIfNeeded();
        return;
    }
    if (factsFresh_ || descriptionMatches()) return;
    // Another user altered the table since its facts were read.
    Database()->ForgetTableFacts(facts_->Relation);
    useFacts(true);
    if (Prepared())
        RedefineFields();
    else
        PrepareIfNeeded();
}

bool TFbTable::descriptionMatches() {
    if (!facts_ || !facts_->Found) return true;
    TFbXSQLDA& cols = SelectSQL().CurrentRow();
    std::size_t k = 0;
    for (int i = 0; i < cols.Count(); ++i) {
        TFbXSQLVAR& v = cols[i];
        if (v.Name() == "FB_INTERNAL_DBKEY") continue;
        if (k >= facts_->Columns.size()) return false;
        const TFbColumnFacts& c = facts_->Columns[k++];
        if (!FbSameColumnName(c.Name, v.SQLName())) return false;
        // Dialect 1 reads some kinds as others (numbers as doubles): there
        // the names alone tell.
        const int type = dialect() == 1 ? 0 : describedTypeOf(c.FieldType);
        if (type != 0 && type != v.SQLType()) return false;
        if ((type == SQL_SHORT || type == SQL_LONG || type == SQL_INT64) && v.SQLType() == type &&
            c.Scale != v.SQLScale())
            return false;
    }
    return k == facts_->Columns.size();
}

TFbSQL& TFbTable::Statement(TFbTableStatement which) {
    TFbSQL& st = companions_->statements[static_cast<std::size_t>(which)];
    st.SetDatabase(Database());
    st.SetTransaction(Transaction());
    return st;
}

void TFbTable::ReleaseCompanions() {
    for (TFbSQL& st : companions_->statements) {
        try {
            st.Close();
            st.ReleaseStatement();
        } catch (...) {
        }
    }
}

void TFbTable::AfterCloseCleanup() {
    // Every open generates its texts again, from the facts the connection
    // keeps.
    regenerate_ = true;
}

void TFbTable::generateSelect() {
    const int d = dialect();
    std::string order;
    if (!indexFieldNames_.empty()) {
        order = indexFieldNames_;
    } else if (!indexName_.empty()) {
        for (const TFbIndexDef& def : indexDefs_)
            if (def.Name == indexName_) order = def.Fields;
    } else if (defaultIndex_) {
        order = primaryKey_;
    }
    selectText_ = FbTableSelectSQL(d, tableName_, filter_, filtered_, order, indexDescending_);
    refreshText_ = FbTableRefreshSQL(d, tableName_);
    SelectSQL().SQL().SetText(selectText_);
    companions_->statements[0].SQL().SetText(refreshText_);
}

void TFbTable::generateModifications() {
    if (readOnly_) {
        deleteText_.clear();
        insertText_.clear();
        modifyText_.clear();
    } else {
        std::vector<std::string> fields;
        for (const TFbColumnFacts& c : facts_->Columns)
            if (!c.Computed && c.Kind().DataType != ftUnknown) fields.push_back(c.Name);
        const int d = dialect();
        deleteText_ = FbTableDeleteSQL(d, tableName_);
        insertText_ = FbTableInsertSQL(d, tableName_, fields);
        modifyText_ = FbTableModifySQL(d, tableName_, fields);
    }
    companions_->statements[1].SQL().SetText(deleteText_);
    companions_->statements[2].SQL().SetText(insertText_);
    companions_->statements[3].SQL().SetText(modifyText_);
}
