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
        if (Active()) ReopenKeepingRow();
        return;
    }
    filter_ = filter;
}

void TFbTable::SetFiltered(bool value) {
    if (value == filtered_) return;
    filtered_ = value;
    if (Active()) ReopenKeepingRow();
}

void TFbTable::SetFilterOptions(int options) {
    if (options != 0) RaiseClientError(4);
}

void TFbTable::SetDefaultIndex(bool value) {
    if (value != defaultIndex_) {
        defaultIndex_ = value;
    }
}

void TFbTable::SetIndexFieldNames(const std::string& value) {
    if (value != indexFieldNames_) {
        indexFieldNames_ = value;
    }
}

void TFbTable::SetIndexName(const std::string& value) {
    if (value != indexName_) {
        indexName_ = value;
    }
}

void TFbTable::SetIndexDescending(bool value) {
    if (value != indexDescending_) {
        indexDescending_ = value;
    }
}

void TFbTable::ReopenKeepingRow(int searchLimit) {
    if (!Active()) return;
    TFbBusyScope busy; // the walk back to the row may fetch many rows
    const std::string key = CurrentRowKey();
    reopenAside();
    CompleteReopen(key, searchLimit);
}

void TFbTable::reopenAside() {
    try {
        OpenAside();
    } catch (...) {
        // As a close and a failed open would leave it: closed.
        AbandonOpen();
        Close(true);
        throw;
    }
}

void TFbTable::CompleteReopen(const std::string& key, int searchLimit) {
    DisableControls();
    try {
        CompleteOpen();
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

void TFbTable::ApplyFilter(const std::string& filter, bool filtered) {
    SetFilterForNextOpen(filter, filtered);
    if (!Active()) return;
    TFbBusyScope busy;
    reopenAside();
    CompleteOpen();
}

void TFbTable::CheckOpenable() {
    if (tableName_.empty()) RaiseClientError(75);
}

/// What an opening generated, put in place when it completes.
struct TFbTable::Pending {
    std::shared_ptr<const TFbTableFacts> facts;
    bool fresh = false; ///< read during this opening
    bool readOnly = false;
    std::string select, refresh, del, ins, mod;
};

void TFbTable::BeforePrepare() {
    pending_ = std::make_unique<Pending>();
    pending_->readOnly = readOnly_;
    takeFacts(false);
}

void TFbTable::takeFacts(bool fresh) {
    Binding().EnsureActive();
    Pending& p = *pending_;
    p.facts =
        Database()->TableFacts(FbCatalogRelationName(dialect(), tableName_), *Transaction(), fresh);
    p.fresh = fresh;
    // A table that the catalog does not know is left to the SELECT, whose
    // prepare says so in the server's words.
    if (p.facts->Found && !p.facts->Updatable) p.readOnly = true;
    const int d = dialect();
    std::string order;
    if (!indexFieldNames_.empty()) {
        order = indexFieldNames_;
    } else if (!indexName_.empty()) {
        for (const TFbIndexDef& def : p.facts->Indexes)
            if (def.Name == indexName_) order = def.Fields;
    } else if (defaultIndex_) {
        order = p.facts->PrimaryKey;
    }
    p.select = FbTableSelectSQL(d, tableName_, filter_, filtered_, order, indexDescending_);
    p.refresh = FbTableRefreshSQL(d, tableName_);
    p.del.clear();
    p.ins.clear();
    p.mod.clear();
    if (!p.readOnly) {
        std::vector<std::string> fields;
        for (const TFbColumnFacts& c : p.facts->Columns)
            if (!c.Computed && c.Kind().DataType != ftUnknown) fields.push_back(c.Name);
        p.del = FbTableDeleteSQL(d, tableName_);
        p.ins = FbTableInsertSQL(d, tableName_, fields);
        p.mod = FbTableModifySQL(d, tableName_, fields);
    }
    TFbSQL& st = OpeningSQL();
    const std::string before = st.SQL().Text();
    st.SQL().SetText(p.select);
    // A closed table's SELECT that keeps its text stays prepared.
    if (&st == &SelectSQL() && st.SQL().Text() != before) Unprepare();
}

void TFbTable::PrepareSelect() {
    const std::string relation = pending_->facts->Relation;
    try {
        PrepareOpening();
    } catch (const EFbFirebirdError& e) {
        // Facts kept from an earlier open may name a key column another user
        // has dropped since: read them again and make the SELECT anew once.
        if (pending_->fresh || e.ConnectionLost() || e.IBErrorCode() == isc_cancelled) throw;
        Database()->ForgetTableFacts(relation);
        takeFacts(true);
        PrepareOpening();
        return;
    }
    if (pending_->fresh || descriptionMatches(OpeningSQL())) return;
    // Another user altered the table since its facts were read.
    Database()->ForgetTableFacts(relation);
    takeFacts(true);
    PrepareOpening();
}

void TFbTable::CommitOpening() {
    if (!pending_) return;
    Pending& p = *pending_;
    facts_ = p.facts;
    primaryKey_ = p.facts->PrimaryKey;
    indexDefs_ = p.facts->Indexes;
    readOnly_ = p.readOnly;
    selectText_ = p.select;
    refreshText_ = p.refresh;
    deleteText_ = p.del;
    insertText_ = p.ins;
    modifyText_ = p.mod;
    const std::string* texts[] = {&refreshText_, &deleteText_, &insertText_, &modifyText_};
    for (std::size_t i = 0; i < companions_->statements.size(); ++i)
        companions_->statements[i].SQL().SetText(*texts[i]);
    pending_.reset();
}

void TFbTable::AbandonOpening() {
    pending_.reset();
}

bool TFbTable::descriptionMatches(TFbSQL& st) const {
    const TFbTableFacts& facts = *pending_->facts;
    if (!facts.Found) return true;
    TFbXSQLDA& cols = st.CurrentRow();
    std::size_t k = 0;
    for (int i = 0; i < cols.Count(); ++i) {
        TFbXSQLVAR& v = cols[i];
        if (v.Name() == "FB_INTERNAL_DBKEY") continue;
        if (k >= facts.Columns.size()) return false;
        const TFbColumnFacts& c = facts.Columns[k++];
        if (!FbSameColumnName(c.Name, v.SQLName())) return false;
        // Dialect 1 reads some kinds as others (numbers as doubles): there
        // the names alone tell.
        const int type = dialect() == 1 ? 0 : describedTypeOf(c.FieldType);
        if (type != 0 && type != v.SQLType()) return false;
        if ((type == SQL_SHORT || type == SQL_LONG || type == SQL_INT64) && c.Scale != v.SQLScale())
            return false;
    }
    return k == facts.Columns.size();
}

std::int64_t TFbTable::CountRows() {
    CheckOpenable();
    Binding().EnsureActive();
    TFbSQL st;
    st.SetDatabase(Database());
    st.SetTransaction(Transaction());
    st.SetParamCheck(false); // the filter is the user's text, kept as given
    st.SQL().SetText(FbTableCountSQL(dialect(), tableName_, filter_, filtered_));
    TFbBusyScope busy;
    st.ExecQuery();
    const std::int64_t n = st.CurrentRow()[0].AsInt64();
    st.Close();
    return n;
}

void TFbTable::SelectLike(const TFbTable& other) {
    SetTableName(other.tableName_);
    SetDatabase(other.Database());
    SetTransaction(other.Transaction());
    filter_ = other.filter_;
    filtered_ = other.filtered_;
    defaultIndex_ = other.defaultIndex_;
    indexFieldNames_ = other.indexFieldNames_;
    indexName_ = other.indexName_;
    indexDescending_ = other.indexDescending_;
}

void TFbTable::MarkComputedFields(std::vector<FieldDef>& defs) {
    // A described column carries at most 31 bytes of its name and of its
    // table's (Firebird 4 names take up to 63 characters): the SELECT lists
    // the table's columns in the order of its facts, which hold them whole.
    // Facts that do not name what was described (an alteration between
    // their reading and the prepare) leave the described names.
    const TFbTableFacts* facts = facts_.get();
    if (!facts || !facts->Found) return TFbCustomDataSet::MarkComputedFields(defs);
    const std::size_t count = facts->Columns.size();
    for (const FieldDef& d : defs)
        if (static_cast<std::size_t>(d.column) >= count ||
            !FbSameColumnName(facts->Columns[static_cast<std::size_t>(d.column)].Name, d.sqlName))
            return TFbCustomDataSet::MarkComputedFields(defs);
    for (FieldDef& d : defs) {
        const TFbColumnFacts& c = facts->Columns[static_cast<std::size_t>(d.column)];
        d.name = d.sqlName = c.Name;
        d.relation = facts->Relation;
        d.computed = c.Computed;
        // A type the server sends as its exact text: the catalog tells what
        // that text is.
        if (d.kind.DataType == ftString && d.exact == TFbExactKind::None)
            d.exact = FbExactKindOfCatalog(c.FieldType, c.CharSetId);
    }
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
