#pragma once
// One database table as a read-only dataset: builds its SELECT from the
// table name, the filter condition and the primary key, and generates (never
// runs) the statements that would modify it.
#include "db/FbCatalog.h"
#include "db/FbCustomDataSet.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

/// The SELECT of a table: "select " Q(T) ".*, RDB$DB_KEY as FB_INTERNAL_DBKEY
/// from " Q(T); a second line " where " + filter when `filtered` and the
/// filter is not empty (kept as given); a last line " order by " +
/// FbTableOrderText(orderFieldList, descending) when that is not empty.
/// Lines are joined by CR LF. Q is QuoteIdentifier with `dialect`.
std::string FbTableSelectSQL(int dialect, std::string_view table, std::string_view filter,
                             bool filtered, std::string_view orderFieldList,
                             bool descending = false);

/// The row count of what FbTableSelectSQL selects with the same table and
/// filter: "select count(*) from " Q(T), then the same where line.
std::string FbTableCountSQL(int dialect, std::string_view table, std::string_view filter,
                            bool filtered);

/// The order text for a ";"-separated field list: in dialect 3 each field
/// in double quotes (embedded double quotes doubled), ", " between them; in
/// dialect 1 the whole list is trimmed, upper-cased and every ";" becomes
/// ", ". `descending` puts " desc" after every field (dialect 1 then also
/// trims each field). Empty for an empty list.
std::string FbTableOrderText(int dialect, std::string_view fieldList, bool descending = false);

/// The statements generated for an updatable table over `fields` (the
/// columns that are neither computed nor read-only).
std::string FbTableRefreshSQL(int dialect, std::string_view table);
std::string FbTableDeleteSQL(int dialect, std::string_view table);
std::string FbTableInsertSQL(int dialect, std::string_view table,
                             const std::vector<std::string>& fields);
std::string FbTableModifySQL(int dialect, std::string_view table,
                             const std::vector<std::string>& fields);

/// A table or column name as "Replicar" and "Limpar" write it: as it is when
/// the parser reads it back as that name (an upper-case letter, then
/// upper-case letters, digits, "_" or "$", and no reserved word of Firebird
/// 3); otherwise in double quotes, embedded double quotes doubled. Dialect 1
/// has no quoted names: there the name is always written as it is.
std::string FbTableNameInSQL(int dialect, std::string_view name);

/// The lines of the replication UPDATE: "update " T " set " C " = :p0", then
/// " where " + filter when `filtered` and the filter is not empty (kept as
/// given). T and C as FbTableNameInSQL writes them.
std::vector<std::string> FbTableReplicateSQL(int dialect, std::string_view table,
                                             std::string_view column, std::string_view filter,
                                             bool filtered);

/// The DELETE of every row: "delete from " T, T as FbTableNameInSQL writes it.
std::string FbTableClearSQL(int dialect, std::string_view table);

/// The statements a table generates besides its SELECT.
enum class TFbTableStatement { Refresh, Delete, Insert, Modify };

/// A table of the connection's database as a dataset. The main window's
/// instance is `tabela`.
///
/// What the table needs of the catalog (its key, its indexes, which columns
/// are computed, whether it can be written) comes from the connection's
/// catalog facts (TFbDatabase::TableFacts): read in one exchange on the
/// table's own transaction the first time the connection opens the table,
/// then kept. When the prepared SELECT describes other columns than the
/// kept facts name (another user altered the table), or fails to prepare
/// with them, the facts are read afresh and the SELECT made again.
class TFbTable : public TFbCustomDataSet {
public:
    TFbTable();
    ~TFbTable() override;

    const std::string& TableName() const { return tableName_; }
    /// Only while closed ("Cannot perform this operation on an open
    /// dataset" otherwise). A different name forgets the generated
    /// statements, the index choice and the primary key.
    void SetTableName(const std::string& name);

    /// An SQL condition without the word WHERE.
    const std::string& Filter() const { return filter_; }
    /// With Filtered on and a different text, an open table reopens on the
    /// row with the same key (else the first row); otherwise only stored.
    void SetFilter(const std::string& filter);
    bool Filtered() const { return filtered_; }
    /// A change reopens an open table as SetFilter does; stored when closed.
    void SetFiltered(bool value);
    /// Filter options are not supported: any non-zero value is client error
    /// 4 "Unsupported feature".
    void SetFilterOptions(int options);

    /// Order by the primary key when no index is chosen (default true).
    bool DefaultIndex() const { return defaultIndex_; }
    void SetDefaultIndex(bool value);
    /// Optional explicit order: ";"-separated field names.
    const std::string& IndexFieldNames() const { return indexFieldNames_; }
    void SetIndexFieldNames(const std::string& value);
    /// Optional order by the fields of a named index.
    const std::string& IndexName() const { return indexName_; }
    void SetIndexName(const std::string& value);
    /// Every field of the order in force runs from the highest value down
    /// (default false). Like the other order properties it takes effect at
    /// the next open and is cleared when TableName changes.
    bool IndexDescending() const { return indexDescending_; }
    void SetIndexDescending(bool value);

    /// Runs the SELECT again as the properties now give it (order, filter)
    /// and makes current the row that was current, when it is among the
    /// first `searchLimit` rows of the new result (all rows when negative);
    /// otherwise the first row. Controls hear one ControlsEnabled at the end.
    /// The transaction goes on (a transaction this table started still ends
    /// with its last close), so the new result reads the same state of the
    /// database, and an unchanged SELECT is not prepared again. Does nothing
    /// on a closed table. On failure the table stays closed.
    void ReopenKeepingRow(int searchLimit = -1);
    /// The second part of ReopenKeepingRow after OpenAside ran on another
    /// thread: on the table's thread, puts the new result in place and
    /// makes current the row whose key is `key` (CurrentRowKey taken before
    /// OpenAside) as ReopenKeepingRow does.
    void CompleteReopen(const std::string& key, int searchLimit = -1);
    /// Sets Filter and Filtered together, for the next opening (Open, or
    /// OpenAside on an open table); nothing runs now.
    void SetFilterForNextOpen(const std::string& filter, bool filtered) {
        filter_ = filter;
        filtered_ = filtered;
    }
    /// Sets Filter and Filtered together; an open table runs its SELECT
    /// again at once on the same transaction (as ReopenKeepingRow, on the
    /// first row). On failure the table stays closed.
    void ApplyFilter(const std::string& filter, bool filtered);

    /// The rows the SELECT gives as the properties now stand (table and
    /// filter), counted by the server on the table's transaction, so an
    /// open table's count reads the state its rows were read from.
    /// Connects and starts the transaction when needed.
    std::int64_t CountRows();
    /// Makes this closed table select what `other` selects: its
    /// connection, transaction, table name, filter and order. Opened, it
    /// reads the same rows in the same order as `other` (on a transaction
    /// that reads one state of the database, the very same rows).
    void SelectLike(const TFbTable& other);

    /// True once an open found the table not updatable (a view or a system
    /// table).
    bool ReadOnly() const { return readOnly_; }
    /// The primary-key fields joined by ";" (known after an open).
    const std::string& PrimaryKeyFields() const { return primaryKey_; }
    /// The index definitions read at the last open.
    const std::vector<TFbIndexDef>& IndexDefs() const { return indexDefs_; }

    /// The catalog facts the last open used (null before one).
    const std::shared_ptr<const TFbTableFacts>& Facts() const { return facts_; }

    /// A generated statement (text as RefreshText and the others give it;
    /// empty until an open generated it) on the table's connection and
    /// transaction. Nothing runs or prepares these statements for the table:
    /// a statement is prepared when it is first executed or asked for its
    /// parameters, and released when the transaction ends.
    TFbSQL& Statement(TFbTableStatement which);

    /// The generated statement texts (empty until an open generated them).
    const std::string& SelectText() const { return selectText_; }
    const std::string& RefreshText() const { return refreshText_; }
    const std::string& DeleteText() const { return deleteText_; }
    const std::string& InsertText() const { return insertText_; }
    const std::string& ModifyText() const { return modifyText_; }

protected:
    void CheckOpenable() override;
    void BeforePrepare() override;
    void PrepareSelect() override;
    void CommitOpening() override;
    void AbandonOpening() override;
    void MarkComputedFields(std::vector<FieldDef>& defs) override;
    void ReleaseCompanions() override;

private:
    struct Companions;
    struct Pending;

    /// OpenAside on an open table; on failure the table closes (keeping
    /// its transaction), as a close and a failed open would leave it.
    void reopenAside();
    /// Takes the connection's facts of the table (read anew when `fresh`)
    /// and generates every text from them into the opening.
    void takeFacts(bool fresh);
    /// The prepared statement `st` describes the columns the opening's
    /// facts name.
    bool descriptionMatches(TFbSQL& st) const;
    int dialect() const;

    std::unique_ptr<Companions> companions_;
    std::unique_ptr<Pending> pending_;
    std::shared_ptr<const TFbTableFacts> facts_;
    std::string tableName_;
    std::string filter_;
    bool filtered_ = false;
    bool defaultIndex_ = true;
    std::string indexFieldNames_;
    std::string indexName_;
    bool indexDescending_ = false;
    bool readOnly_ = false;
    std::string primaryKey_;
    std::vector<TFbIndexDef> indexDefs_;
    std::string selectText_, refreshText_, deleteText_, insertText_, modifyText_;
};
