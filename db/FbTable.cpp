#include "db/FbTable.h"

#include "db/FbDataSetCatalog.h"
#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbUtils.h"
#include "rtl/strutil.h"

#include <array>

namespace {

std::string joinFields(const std::vector<std::string>& fields) {
    std::string r;
    for (const std::string& f : fields) {
        if (!r.empty()) r += ";";
        r += f;
    }
    return r;
}

} // namespace

struct TFbTable::Companions {
    // Refresh, delete, insert and modify: generated and prepared, never run.
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
        Close();
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
    if (!regenerate_) return;
    Unprepare();
    generateSelect();
    if (!readOnly_) generateModifications();
    regenerate_ = false;
}

void TFbTable::PrepareCompanions() {
    for (TFbSQL& st : companions_->statements) {
        if (st.SQL().Count() == 0) continue;
        st.SetDatabase(Database());
        st.SetTransaction(Transaction());
        try {
            st.Prepare();
        } catch (const EFbFirebirdPermissionError&) {
            // No right to change the table: it is shown all the same.
        }
    }
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
    // Every open generates the SELECT and reads the catalog again.
    regenerate_ = true;
}

void TFbTable::readCatalogFields(TFbInternalTransactionScope& scope) {
    catalogFields_.clear();
    const std::string rel = FbCatalogRelationName(dialect(), tableName_);
    auto st = scope.Statement(
        "Select R.RDB$FIELD_NAME, R.RDB$FIELD_POSITION, F.RDB$COMPUTED_BLR, "
        "F.RDB$DEFAULT_VALUE, F.RDB$NULL_FLAG, F.RDB$FIELD_LENGTH, F.RDB$FIELD_SCALE, "
        "F.RDB$FIELD_TYPE, F.RDB$FIELD_SUB_TYPE, F.RDB$EXTERNAL_LENGTH, "
        "F.RDB$EXTERNAL_SCALE, F.RDB$EXTERNAL_TYPE "
        "from RDB$RELATION_FIELDS R, RDB$FIELDS F where R.RDB$RELATION_NAME = '" +
        FbQuoteLiteral(rel) +
        "' "
        "and R.RDB$FIELD_SOURCE = F.RDB$FIELD_NAME "
        "order by R.RDB$FIELD_POSITION");
    st->ExecQuery();
    while (TFbXSQLDA* row = st->FetchNext()) {
        CatalogField f;
        f.name = FbTrimRight((*row)[0].AsString());
        f.kind = FieldKindOfCatalogType((*row)[7].AsLong(), (*row)[6].AsLong(), (*row)[8].AsLong(),
                                        (*row)[5].AsLong());
        f.computed = !(*row)[2].IsNull();
        f.required = (*row)[3].IsNull() && (*row)[4].AsLong() == 1;
        catalogFields_.push_back(std::move(f));
    }
    st->Close();
}

void TFbTable::readIndexDefs(TFbInternalTransactionScope& scope) {
    indexDefs_.clear();
    primaryKey_.clear();
    const int d = dialect();
    const std::string rel = FbCatalogRelationName(d, tableName_);
    auto outer = scope.Statement(
        "Select I.RDB$INDEX_NAME, I.RDB$UNIQUE_FLAG, I.RDB$INDEX_TYPE, "
        "I.RDB$SEGMENT_COUNT, S.RDB$FIELD_NAME, R.RDB$CONSTRAINT_TYPE "
        "from RDB$INDICES I, RDB$INDEX_SEGMENTS S   LEFT JOIN RDB$RELATION_CONSTRAINTS R ON "
        "( R.RDB$INDEX_NAME = S.RDB$INDEX_NAME) "
        "where I.RDB$INDEX_NAME = S.RDB$INDEX_NAME and I.RDB$RELATION_NAME = '" +
        FbQuoteLiteral(rel) + "'");
    outer->ExecQuery();
    while (TFbXSQLDA* row = outer->FetchNext()) {
        TFbIndexDef def;
        def.Name = FbTrimRight((*row)[0].AsString());
        def.Primary = rtl::upperCase((*row)[5].AsString()).find("PRIMARY KEY") != std::string::npos;
        def.Unique = (*row)[1].AsLong() == 1;
        const int segments = (*row)[3].AsLong();
        if (segments <= 1) {
            def.Fields = FbTrim((*row)[4].AsString());
        } else {
            auto inner = scope.Statement(
                "Select RDB$FIELD_NAME from RDB$INDEX_SEGMENTS where RDB$INDEX_NAME = '" +
                FbQuoteLiteral(NormalizeIdentifier(d, QuoteIdentifier(d, def.Name))) +
                "'ORDER BY RDB$FIELD_POSITION");
            inner->ExecQuery();
            std::vector<std::string> fields;
            while (TFbXSQLDA* seg = inner->FetchNext())
                fields.push_back(FbTrim((*seg)[0].AsString()));
            inner->Close();
            def.Fields = joinFields(fields);
            // The outer query lists one row per segment: skip the others.
            for (std::size_t i = 1; i < fields.size(); ++i)
                if (!outer->FetchNext()) break;
        }
        if (def.Primary) primaryKey_ = def.Fields;
        indexDefs_.push_back(std::move(def));
    }
    outer->Close();
}

void TFbTable::readUpdatability(TFbInternalTransactionScope& scope) {
    const std::string rel = FbCatalogRelationName(dialect(), tableName_);
    auto st = scope.Statement(
        "Select RDB$SYSTEM_FLAG, RDB$DBKEY_LENGTH from RDB$RELATIONS where RDB$RELATION_NAME = '" +
        FbQuoteLiteral(rel) + "'");
    st->ExecQuery();
    bool updatable = false;
    if (TFbXSQLDA* row = st->FetchNext())
        updatable = (*row)[0].AsLong() == 0 && (*row)[1].AsLong() == 8;
    st->Close();
    if (!updatable) readOnly_ = true;
}

void TFbTable::generateSelect() {
    Binding().EnsureActive();
    const int d = dialect();
    {
        TFbInternalTransactionScope scope(*Database());
        if (!Active()) readCatalogFields(scope);
        readIndexDefs(scope);
        scope.Commit();
    }
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
    {
        TFbInternalTransactionScope scope(*Database());
        readUpdatability(scope);
        scope.Commit();
    }
    if (readOnly_) {
        deleteText_.clear();
        insertText_.clear();
        modifyText_.clear();
    } else {
        std::vector<std::string> fields;
        for (const CatalogField& f : catalogFields_)
            if (!f.computed && f.kind.DataType != ftUnknown) fields.push_back(f.name);
        const int d = dialect();
        deleteText_ = FbTableDeleteSQL(d, tableName_);
        insertText_ = FbTableInsertSQL(d, tableName_, fields);
        modifyText_ = FbTableModifySQL(d, tableName_, fields);
    }
    companions_->statements[1].SQL().SetText(deleteText_);
    companions_->statements[2].SQL().SetText(insertText_);
    companions_->statements[3].SQL().SetText(modifyText_);
}
