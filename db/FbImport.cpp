// Inserting many rows per exchange. The statement's parameters take each
// column's own type on the server (TYPE OF COLUMN), while the client sends
// every value in the form it already has (a scaled integer, a double, a
// date, text marked with the column's set) and the server converts it, so
// nothing here depends on how the server describes the parameters.
#include "db/FbImport.h"

#include "db/Fb.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "db/FbUtils.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// What every Firebird from 2.5 on takes for one statement: its text within
// 64 KB, its input message within 64 KB (counted from the columns' declared
// sizes, which the block's parameters take), and a parameter count the
// descriptor's 16-bit fields hold comfortably.
constexpr std::size_t kTextLimit = 60000;
constexpr std::size_t kMessageLimit = 60000;
constexpr int kParamLimit = 1500;
// A text longer than this goes to a blob column as a blob of its own.
constexpr std::size_t kInlineText = 32000;

std::size_t declaredBytes(const TFbImportColumn& c) {
    switch (c.FieldType) {
    case 14: // CHAR
        return static_cast<std::size_t>(c.Length) + 8;
    case 37: // VARCHAR
        return static_cast<std::size_t>(c.Length) + 10;
    case 26: // INT128
    case 25: // DECFLOAT(34)
    case 29: // TIMESTAMP WITH TIME ZONE
        return 24;
    default:
        return 16;
    }
}

bool textOnTheWay(const TFbImportColumn& c) {
    switch (c.FieldType) {
    case 24: // DECFLOAT(16)
    case 25: // DECFLOAT(34)
    case 26: // INT128, and NUMERIC and DECIMAL above 18 digits
    case 28: // TIME WITH TIME ZONE
    case 29: // TIMESTAMP WITH TIME ZONE
        return true;
    default:
        return false;
    }
}

std::string columnList(int dialect, const std::vector<TFbImportColumn>& columns) {
    std::string out;
    for (const auto& c : columns) {
        if (!out.empty()) out += ", ";
        out += FbTableNameInSQL(dialect, c.Name);
    }
    return out;
}

// "3.0.11" -> 30; an empty version (a server before 2.1) gives 0.
int versionNumber(const std::string& v) {
    int major = 0, minor = 0;
    std::size_t i = 0;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9')
        major = major * 10 + (v[i++] - '0');
    if (i < v.size() && v[i] == '.') ++i;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9')
        minor = minor * 10 + (v[i++] - '0');
    return major * 10 + std::min(minor, 9);
}

} // namespace

std::vector<TFbImportColumn> FbImportColumns(const TFbTableFacts& facts,
                                             const std::vector<std::string>& names) {
    std::vector<TFbImportColumn> out;
    for (const auto& n : names) {
        const TFbColumnFacts* c = facts.Column(n);
        if (!c) continue;
        out.push_back({c->Name, c->FieldType, c->Scale, c->Length, c->CharSetId, c->SubType});
    }
    return out;
}

std::string FbImportInsertSQL(int dialect, std::string_view table,
                              const std::vector<TFbImportColumn>& columns) {
    std::string sql = "insert into " + FbTableNameInSQL(dialect, table) + " (" +
                      columnList(dialect, columns) + ") values (";
    for (std::size_t i = 0; i < columns.size(); ++i)
        sql += i ? ", ?" : "?";
    return sql + ")";
}

std::string FbImportBlockSQL(int dialect, std::string_view table,
                             const std::vector<TFbImportColumn>& columns, int rows) {
    const std::string t = FbTableNameInSQL(dialect, table);
    std::string sql = "execute block (";
    int p = 0;
    for (int r = 0; r < rows; ++r)
        for (const auto& c : columns) {
            if (p) sql += ", ";
            sql += 'p' + std::to_string(p++);
            // Firebird 4's own kinds travel as text, which the column's
            // assignment reads: a client of an older release cannot take
            // their description.
            sql += textOnTheWay(c)
                       ? " varchar(64) = ?"
                       : " type of column " + t + '.' + FbTableNameInSQL(dialect, c.Name) + " = ?";
        }
    sql += ") as begin\n";
    const std::string head =
        "insert into " + t + " (" + columnList(dialect, columns) + ") values (";
    p = 0;
    for (int r = 0; r < rows; ++r) {
        sql += head;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (i) sql += ", ";
            sql += ":p" + std::to_string(p++);
        }
        sql += ");\n";
    }
    return sql + "end";
}

int FbImportRowsPerStatement(int dialect, std::string_view table,
                             const std::vector<TFbImportColumn>& columns, int most) {
    if (columns.empty()) return 1;
    std::size_t message = 0;
    for (const auto& c : columns)
        message += declaredBytes(c);
    const std::size_t one = FbImportBlockSQL(dialect, table, columns, 1).size();
    const std::size_t two = FbImportBlockSQL(dialect, table, columns, 2).size();
    // Each further row adds what the second one added, plus a digit or two
    // per parameter name as the numbers grow.
    const std::size_t perRow = (two - one) + 2 * columns.size();
    std::size_t rows =
        std::min<std::size_t>(static_cast<std::size_t>(most), kParamLimit / columns.size());
    rows = std::min(rows, kMessageLimit / message);
    rows = std::min(rows, one >= kTextLimit ? 1 : 1 + (kTextLimit - one) / perRow);
    return static_cast<int>(std::max<std::size_t>(rows, 1));
}

// ------------------------------------------------------------------ writer

struct TFbImportWriter::Prepared {
    int rows = 0;
    TFbStatementHandle handle;
    std::vector<char> area; // XSQLDA with rows * columns entries
    XSQLDA* da() { return reinterpret_cast<XSQLDA*>(area.data()); }
};

TFbImportWriter::TFbImportWriter(TFbDatabase& db, TFbTransaction& tr, std::string table,
                                 std::vector<TFbImportColumn> columns)
    : table_(std::move(table)), columns_(std::move(columns)) {
    SetDatabase(&db);
    SetTransaction(&tr);
    dialect_ = db.SQLDialect();
    // EXECUTE BLOCK came with Firebird 2.0 and TYPE OF COLUMN with 2.5.
    blocks_ = versionNumber(db.ServerVersion()) >= 25;
    rowsPerTrip_ = blocks_ ? FbImportRowsPerStatement(dialect_, table_, columns_) : 1;
}

TFbImportWriter::~TFbImportWriter() {
    releaseAll();
}

void TFbImportWriter::SetRowsPerTrip(int rows) {
    rowsPerTrip_ = std::max(1, std::min(rows, blocks_ ? rowsPerTrip_ : 1));
}

void TFbImportWriter::releaseAll() noexcept {
    prepared_.clear(); // each handle is dropped by its owner
}

void TFbImportWriter::TransactionEnding() {
    releaseAll();
}

void TFbImportWriter::DatabaseDisconnecting() {
    releaseAll();
}

TFbImportWriter::Prepared& TFbImportWriter::statementFor(int rows) {
    for (auto& p : prepared_)
        if (p->rows == rows) return *p;
    EnsureActive();
    auto p = std::make_unique<Prepared>();
    p->rows = rows;
    const std::string sql = rows == 1 && !blocks_
                                ? FbImportInsertSQL(dialect_, table_, columns_)
                                : FbImportBlockSQL(dialect_, table_, columns_, rows);
    const TFbClientApi& api = FbApi();
    Call(api.isc_dsql_alloc_statement2(StatusVector(), DBHandle(), p->handle.Ptr()));
    Call(api.isc_dsql_prepare(StatusVector(), TRHandle(), p->handle.Ptr(), 0, sql.c_str(),
                              static_cast<unsigned short>(dialect_), nullptr));
    const int n = rows * static_cast<int>(columns_.size());
    p->area.assign(XSQLDA_LENGTH(n), 0);
    XSQLDA* da = p->da();
    da->version = SQLDA_VERSION1;
    da->sqln = static_cast<ISC_SHORT>(n);
    da->sqld = static_cast<ISC_SHORT>(n);
    // Keep only the two last sizes: the full one and the remainder.
    if (prepared_.size() >= 3) prepared_.erase(prepared_.begin() + 1);
    prepared_.push_back(std::move(p));
    return *prepared_.back();
}

void TFbImportWriter::execute(Prepared& st, const TFbImportValue* values, int rows) {
    const std::size_t cols = columns_.size();
    const std::size_t n = static_cast<std::size_t>(rows) * cols;
    // Sizes first, then one area for every value, 8-byte aligned.
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const TFbImportValue& v = values[i];
        const std::size_t len = v.Type == TFbImportValue::Text ? v.S.size() : 8;
        bytes += (len + 7) & ~std::size_t(7);
    }
    std::vector<std::uint64_t> data(bytes / 8 + 1);
    std::vector<ISC_SHORT> nulls(n);
    std::vector<ISC_QUAD> blobs; // created blobs must outlive the execution
    blobs.reserve(n);
    char* at = reinterpret_cast<char*>(data.data());
    XSQLDA* da = st.da();
    for (std::size_t i = 0; i < n; ++i) {
        const TFbImportValue& v = values[i];
        const TFbImportColumn& c = columns_[i % cols];
        XSQLVAR& x = da->sqlvar[i];
        x.sqlind = &nulls[i];
        x.sqldata = at;
        x.sqlscale = 0;
        x.sqlsubtype = 0;
        nulls[i] = 0;
        switch (v.Type) {
        case TFbImportValue::Null:
            x.sqltype = SQL_LONG + 1;
            x.sqllen = 4;
            nulls[i] = -1;
            break;
        case TFbImportValue::Int:
            x.sqltype = SQL_INT64 + 1;
            x.sqllen = 8;
            x.sqlscale = static_cast<ISC_SHORT>(c.Scale);
            std::memcpy(at, &v.I, 8);
            break;
        case TFbImportValue::Double:
            x.sqltype = SQL_DOUBLE + 1;
            x.sqllen = 8;
            std::memcpy(at, &v.F, 8);
            break;
        case TFbImportValue::Date: {
            x.sqltype = SQL_TYPE_DATE + 1;
            x.sqllen = 4;
            const ISC_DATE d = static_cast<ISC_DATE>(v.I);
            std::memcpy(at, &d, 4);
            break;
        }
        case TFbImportValue::Time: {
            x.sqltype = SQL_TYPE_TIME + 1;
            x.sqllen = 4;
            const ISC_TIME t = v.T;
            std::memcpy(at, &t, 4);
            break;
        }
        case TFbImportValue::Stamp: {
            x.sqltype = SQL_TIMESTAMP + 1;
            x.sqllen = 8;
            ISC_TIMESTAMP ts{static_cast<ISC_DATE>(v.I), v.T};
            std::memcpy(at, &ts, 8);
            break;
        }
        case TFbImportValue::Bool:
            x.sqltype = SQL_BOOLEAN + 1;
            x.sqllen = 1;
            *at = v.I ? 1 : 0;
            break;
        case TFbImportValue::Text:
            if (c.FieldType == 261 && v.S.size() > kInlineText) {
                blobs.push_back(FbWriteBlob(*this, v.S));
                x.sqltype = SQL_BLOB + 1;
                x.sqllen = 8;
                x.sqlsubtype = static_cast<ISC_SHORT>(c.SubType);
                std::memcpy(at, &blobs.back(), 8);
            } else {
                x.sqltype = SQL_TEXT + 1;
                x.sqllen = static_cast<ISC_SHORT>(v.S.size());
                x.sqlsubtype = static_cast<ISC_SHORT>(c.CharSetId);
                std::memcpy(at, v.S.data(), v.S.size());
            }
            break;
        }
        const std::size_t len = v.Type == TFbImportValue::Text ? v.S.size() : 8;
        at += (len + 7) & ~std::size_t(7);
    }
    Call(FbApi().isc_dsql_execute(StatusVector(), TRHandle(), st.handle.Ptr(),
                                  static_cast<unsigned short>(dialect_), da));
}

void TFbImportWriter::Write(const std::vector<TFbImportValue>& values,
                            const std::vector<int>& lines) {
    const std::size_t cols = columns_.size();
    if (cols == 0) return;
    const int rows = static_cast<int>(values.size() / cols);
    failedLine_ = 0;
    for (int r = 0; r < rows;) {
        const int take = std::min(rowsPerTrip_, rows - r);
        const TFbImportValue* first = values.data() + static_cast<std::size_t>(r) * cols;
        try {
            execute(statementFor(take), first, take);
        } catch (const EFbError& e) {
            // A lost connection and a stopped call are no row's fault.
            if (e.ConnectionLost() || e.IBErrorCode() == isc_cancelled) throw;
            // The refused statement left nothing behind (its own savepoint
            // is undone); the same rows one by one tell which row it was.
            // Blocks of one row keep the same conversions.
            if (take > 1) {
                for (int k = 0; k < take; ++k) {
                    try {
                        execute(statementFor(1), first + static_cast<std::size_t>(k) * cols, 1);
                    } catch (const EFbError&) {
                        failedLine_ = static_cast<std::size_t>(r + k) < lines.size()
                                          ? lines[static_cast<std::size_t>(r + k)]
                                          : 0;
                        throw;
                    }
                }
            } else if (static_cast<std::size_t>(r) < lines.size()) {
                failedLine_ = lines[static_cast<std::size_t>(r)];
            }
            throw;
        }
        r += take;
        written_ += take;
    }
}
