#pragma once
// Rows brought into a table: the values as the writer sends them, the
// statements that insert many rows per exchange (pure generators), and the
// writer that runs them on a transaction it does not end.
#include "db/FbCatalog.h"
#include "db/FbDatabase.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

/// One value ready to be sent, in the form the column's kind takes.
struct TFbImportValue {
    enum Kind : std::uint8_t { Null, Int, Double, Date, Time, Stamp, Bool, Text };
    Kind Type = Null;
    /// Int: the number scaled by the column's scale (12345 at scale -2 is
    /// 123.45). Date and Stamp: the day (days since 17 November 1858).
    /// Bool: 0 or 1.
    std::int64_t I = 0;
    /// Time and Stamp: the time of day in ten-thousandths of a second.
    std::uint32_t T = 0;
    double F = 0;
    /// Text: bytes in the column's character set (numbers too wide for 64
    /// bits go as decimal text, for the server to read).
    std::string S;
};

/// A column the writer fills, in the order the values of a row come.
struct TFbImportColumn {
    std::string Name; ///< as the catalog stores it
    int FieldType = 0;
    int Scale = 0;
    int Length = 0;
    int CharSetId = 0;
    int SubType = 0;
};

/// The columns of `facts` by name (a name it lacks is skipped).
std::vector<TFbImportColumn> FbImportColumns(const TFbTableFacts& facts,
                                             const std::vector<std::string>& names);

/// How many rows one statement carries for these columns: as many as keep
/// the statement text, its parameters and their message within what every
/// Firebird from 2.5 accepts, at least 1 and at most `most`.
int FbImportRowsPerStatement(int dialect, std::string_view table,
                             const std::vector<TFbImportColumn>& columns, int most = 256);

/// "insert into T (A, B) values (?, ?)" (names as FbTableNameInSQL writes them).
std::string FbImportInsertSQL(int dialect, std::string_view table,
                              const std::vector<TFbImportColumn>& columns);

/// "execute block (p0 type of column T.A = ?, ...) as begin insert into T
/// (A, B) values (:p0, :p1); ... end": `rows` inserts in one statement, the
/// parameters row after row. Firebird 4's own kinds (INT128, DECFLOAT, times
/// with a zone) are declared varchar(64): their values go as text.
std::string FbImportBlockSQL(int dialect, std::string_view table,
                             const std::vector<TFbImportColumn>& columns, int rows);

/// Writes rows into one table on a running transaction, many rows per
/// exchange (one EXECUTE BLOCK each, on a server that has it; one INSERT per
/// row otherwise). It never commits nor rolls back: the caller ends the
/// transaction, so a refusal leaves nothing written once it rolls back.
class TFbImportWriter : public TFbLink {
public:
    TFbImportWriter(TFbDatabase& db, TFbTransaction& tr, std::string table,
                    std::vector<TFbImportColumn> columns);
    ~TFbImportWriter() override;

    /// Rows one exchange carries.
    int RowsPerTrip() const { return rowsPerTrip_; }
    /// Limits the rows per exchange (1 sends each row alone).
    void SetRowsPerTrip(int rows);

    /// Writes `values` (a row after another, as many values per row as
    /// there are columns). `lines` gives each row's line in the source,
    /// for FailedLine. On the server's refusal the rows of the refused
    /// exchange are sent again one by one to find the row it refused,
    /// FailedLine tells its line, and the refusal is raised as it came.
    void Write(const std::vector<TFbImportValue>& values, const std::vector<int>& lines);

    /// The line of the row the server refused (0 when it could not be told).
    int FailedLine() const { return failedLine_; }
    /// Rows written so far.
    long long Written() const { return written_; }

protected:
    void TransactionEnding() override;
    void DatabaseDisconnecting() override;

private:
    struct Prepared;
    Prepared& statementFor(int rows);
    void execute(Prepared& st, const TFbImportValue* values, int rows);
    void releaseAll() noexcept;

    std::string table_;
    std::vector<TFbImportColumn> columns_;
    int dialect_ = 3;
    bool blocks_ = true;
    int rowsPerTrip_ = 1;
    int failedLine_ = 0;
    long long written_ = 0;
    std::vector<std::unique_ptr<Prepared>> prepared_;
};
