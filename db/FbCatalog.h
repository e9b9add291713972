#pragma once
// What the catalog says of a table (its catalog facts), how the catalog's
// answers are read into them, and the small runner of catalog queries that
// the connection uses: the client API alone, so the connection needs no
// statement object for its own reading.
#include "db/FbIntf.h"
#include "db/FbTypes.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// A column as the catalog defines it (RDB$RELATION_FIELDS and its domain
/// in RDB$FIELDS).
struct TFbColumnFacts {
    /// The full name, trailing blanks removed (up to 63 characters on
    /// Firebird 4, longer than the 31 bytes a described column carries).
    std::string Name;
    int Position = 0;
    int FieldType = 0; ///< RDB$FIELD_TYPE
    int SubType = 0;
    int Scale = 0;  ///< 0 or negative
    int Length = 0; ///< bytes
    int Precision = 0;
    int CharSetId = 0; ///< 0 for none (and for every kind that is no text)
    bool Computed = false;
    bool NotNull = false;    ///< the column or its domain is NOT NULL
    bool HasDefault = false; ///< the column or its domain has a default
    /// The field kind the catalog type gives (FieldKindOfCatalogType).
    TFbFieldKind Kind() const;
};

/// One index of a table as read from the catalog.
struct TFbIndexDef {
    std::string Name;
    /// Field names joined by ";", in segment order.
    std::string Fields;
    bool Primary = false;
    bool Unique = false;
};

/// What the access layer keeps of one table: read in one exchange, kept by
/// the connection (TFbDatabase::TableFacts) until it detaches.
struct TFbTableFacts {
    /// The relation's name as the catalog stores it.
    std::string Relation;
    /// False when the catalog has no such relation.
    bool Found = false;
    /// Columns in position order.
    std::vector<TFbColumnFacts> Columns;
    /// Indexes in the order the catalog gave them.
    std::vector<TFbIndexDef> Indexes;
    /// The primary key's fields joined by ";" (empty without one).
    std::string PrimaryKey;
    /// A table whose rows can be written: no system table, an 8-byte row
    /// key (a view's key is 8 bytes per table it joins).
    bool Updatable = false;
    /// Changes whenever a column, a key or an index of the table changes
    /// (FbCatalogTableNamesSQL gives the same stamp for every table).
    std::string Stamp;

    /// The column named `name` exactly; null when none is.
    const TFbColumnFacts* Column(std::string_view name) const;
};

/// True when `described`, a column's name as a described statement gives it
/// (the legacy descriptor holds its first 31 bytes, possibly followed by one
/// byte that is no part of it), may name the column the catalog calls
/// `full`. Names that share their first 31 bytes are told apart by position.
bool FbSameColumnName(std::string_view full, std::string_view described);

/// Reads the records of FbCatalogTableFactsSQL in `records` (all of them,
/// in any order) into `facts`: its columns sorted by position, its indexes
/// with their segments in order, and its primary key. Throws EFbClientError
/// 0 on a malformed record.
void FbReadFactRecords(TFbTableFacts& facts, std::string_view records);

/// A catalog query on an attachment and a running transaction, with the
/// client API alone. Parameters are texts in UNICODE_FSS (the catalog's
/// names: the same bytes on a connection without a set and on a UTF8 one);
/// every column is read as text, numbers in decimal. Statements are
/// prepared in dialect 3 whatever the database's (the catalog's names need
/// no quotes, and its numbers are never dialect 1's). Failures are the
/// server's errors (EFbFirebirdError), captured at once.
class TFbCatalogQuery {
public:
    /// A row: one text per column, empty optional for null.
    using Row = std::vector<std::optional<std::string>>;

    TFbCatalogQuery(isc_db_handle* db, isc_tr_handle* tr) : db_(db), tr_(tr) {}

    /// A statement that gives at most one row, asked and answered in one
    /// exchange (isc_dsql_exec_immed2, or prepare, execute and fetch on a
    /// library without it). `widths` are the bytes each column's text may
    /// take. False when no row came.
    bool One(const std::string& sql, const std::vector<std::string>& params,
             const std::vector<int>& widths, Row& row);
    /// Every row of a cursor, in order, to `each`.
    void Each(const std::string& sql, const std::vector<std::string>& params,
              const std::function<void(const Row&)>& each);

private:
    isc_db_handle* db_;
    isc_tr_handle* tr_;
};

/// The integer of a row's column (0 for null or a text that is no number).
long long FbRowInt(const TFbCatalogQuery::Row& row, std::size_t column);
/// The text of a row's column (empty for null).
const std::string& FbRowText(const TFbCatalogQuery::Row& row, std::size_t column);
