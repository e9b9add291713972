#pragma once
// Dynamic SQL statements (TFbSQL) and their two descriptor collections
// (TFbXSQLDA) of value holders (TFbXSQLVAR), with every conversion between
// the database's SQL types and texts, numbers and date-times.
#include "db/FbDatabase.h"
#include "db/FbTypes.h"
#include "db/FbValues.h"
#include "rtl/currency.h"
#include "rtl/datetime.h"

#include <ibase.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TFbSQL;
class TFbXSQLDA;

/// Statement kinds: the codes of the statement-type information item.
enum TFbSQLKind {
    SQLUnknown = 0,
    SQLSelect = 1,
    SQLInsert = 2,
    SQLUpdate = 3,
    SQLDelete = 4,
    SQLDDL = 5,
    SQLGetSegment = 6,
    SQLPutSegment = 7,
    SQLExecProcedure = 8,
    SQLStartTransaction = 9,
    SQLCommit = 10,
    SQLRollback = 11,
    SQLSelectForUpdate = 12,
    SQLSetGenerator = 13
};

/// Type codes of a variant value (the classic automation codes).
enum TFbVarType {
    varEmpty = 0,
    varNull = 1,
    varSmallint = 2,
    varInteger = 3,
    varSingle = 4,
    varDouble = 5,
    varCurrency = 6,
    varDate = 7,
    varOleStr = 8,
    varDispatch = 9,
    varError = 10,
    varBoolean = 11,
    varVariant = 12,
    varUnknown = 13,
    varShortInt = 16,
    varByte = 17,
    varWord = 18,
    varLongWord = 19,
    varInt64 = 20,
    varString = 0x100,
    varArray = 0x2000,
    varByRef = 0x4000
};

/// A loosely typed value handed to TFbXSQLVAR::SetAsVariant. `Type` may
/// carry the varArray or varByRef bit.
struct TFbVariant {
    int Type = varEmpty;
    std::int64_t Int = 0; ///< integers, byte, boolean (0 or 1)
    double Float = 0;     ///< single, double, date (a TDateTime)
    rtl::Currency Curr;   ///< currency
    std::string Str;      ///< string, OLE string

    static TFbVariant Null() { return Make(varNull); }
    static TFbVariant Integer(std::int32_t v) { return Make(varInteger, v); }
    static TFbVariant Int64(std::int64_t v) { return Make(varInt64, v); }
    static TFbVariant Double(double v) { return Make(varDouble, 0, v); }
    static TFbVariant Currency(rtl::Currency v) {
        TFbVariant r = Make(varCurrency);
        r.Curr = v;
        return r;
    }
    static TFbVariant Date(rtl::TDateTime v) { return Make(varDate, 0, v); }
    static TFbVariant String(std::string v) {
        TFbVariant r = Make(varString);
        r.Str = std::move(v);
        return r;
    }
    static TFbVariant Boolean(bool v) { return Make(varBoolean, v ? 1 : 0); }
    static TFbVariant Make(int type, std::int64_t i = 0, double f = 0) {
        TFbVariant r;
        r.Type = type;
        r.Int = i;
        r.Float = f;
        return r;
    }
};

/// One parameter or result column: an XSQLVAR entry of its collection with
/// the conversions of its value. Readers of a null value give 0, empty
/// text or date-time 0. A conversion that the value's type does not allow
/// is client error 38 "Invalid data conversion".
class TFbXSQLVAR {
public:
    TFbXSQLVAR(const TFbXSQLVAR&) = delete;
    TFbXSQLVAR& operator=(const TFbXSQLVAR&) = delete;

    int Index() const { return index_; }
    /// The normalised name under which the entry is found.
    const std::string& Name() const { return name_; }
    bool Modified() const { return modified_; }
    void SetModified(bool v) { modified_ = v; }

    /// The XSQLVAR entry itself (type, scale, lengths, data and indicator).
    XSQLVAR* Data() const { return var_; }
    TFbXSQLDA& Collection() const { return *owner_; }
    TFbSQL* Statement() const;

    /// Type code without the nullable bit.
    int SQLType() const { return var_->sqltype & ~1; }
    int SQLScale() const { return var_->sqlscale; }
    int SQLSubtype() const { return var_->sqlsubtype; }
    /// The length of the data area as described (for VARYING without the
    /// two length bytes).
    int Size() const { return var_->sqllen; }
    bool IsNullable() const { return (var_->sqltype & 1) != 0; }
    bool IsNull() const { return IsNullable() && var_->sqlind && *var_->sqlind == -1; }

    std::string SQLName() const { return {var_->sqlname, nameLen(var_->sqlname_length)}; }
    std::string RelName() const { return {var_->relname, nameLen(var_->relname_length)}; }
    std::string OwnName() const { return {var_->ownname, nameLen(var_->ownname_length)}; }
    std::string AliasName() const { return {var_->aliasname, nameLen(var_->aliasname_length)}; }

    /// The field kind that the dataset gives this column.
    TFbFieldKind FieldKind() const;
    /// A native type of the newer servers (FbValues.h), which the entry
    /// holds as the server's exact text (a VARYING of kExactTextBytes);
    /// None for every other type.
    TFbExactKind ExactKind() const { return FbExactKindOfSQLType(describedType_); }
    /// Room for the text of any value of those types (38 digits, a sign
    /// and a point; a timestamp and the longest zone name).
    static constexpr short kExactTextBytes = 96;

    // Readers.
    /// Text: TEXT without trailing blanks, VARYING as stored, numbers as
    /// integer / general float / currency text, dates and times with the
    /// regional formats, a blob's whole content, "(Array)" for arrays.
    std::string AsString() const;
    std::int32_t AsLong() const;
    std::int64_t AsInt64() const;
    double AsDouble() const;
    /// Exact for scaled integers in dialect 3.
    rtl::Currency AsCurrency() const;
    /// Whole seconds: fractions of a second are dropped.
    rtl::TDateTime AsDateTime() const;
    /// BOOLEAN as stored, integers not 0, text by TryTextToBoolean; any
    /// other type or text is client error 38. A BOOLEAN reads as 1 or 0
    /// through the number readers and as BooleanText through AsString.
    bool AsBoolean() const;
    /// A blob's id (client error 38 for any other type).
    ISC_QUAD AsQuad() const;

    // Writers: each clears the null indicator, then writes every entry of
    // the collection that has the same name and marks it modified.
    /// TEXT/VARYING (and numbers): sent as TEXT for the server to convert;
    /// a DB_KEY keeps its type. BLOB: a new blob with the text as content.
    /// Empty text: null. Dates and times: parsed with the regional formats
    /// (rtl::EConvertError when the text is no date-time) and sent as a
    /// timestamp. BOOLEAN: the words of TryTextToBoolean; other text goes
    /// to the server, which refuses it.
    void SetAsString(std::string_view value);
    /// Text the user typed (UTF-8), for the server to store as the same
    /// characters whatever the set of the column: a CHAR or VARCHAR of a
    /// named set receives it as UTF8 text, which the server transliterates
    /// (and refuses, with its own message, when a character has no place in
    /// the column's set); a text without a set and a text blob receive it
    /// encoded in the set the descriptor gives them (NONE meaning Latin-1),
    /// a character that set lacks refused here in the server's words
    /// (EFbFirebirdError, isc_transliteration_failed). Any other kind
    /// (numbers, dates, booleans, read by the program or converted by the
    /// server) receives it as Latin-1 when it fits, else as it is. Otherwise
    /// as SetAsString.
    void SetAsUtf8String(std::string_view utf8);
    /// Text the user typed (UTF-8, regional form) for a column of `kind`
    /// (FbValues.h): sent as the server's text of the value
    /// (FbExactTextForServer; OCTETS as the bytes its hexadecimal digits
    /// give, client error 38 for other text); text that reads as no such
    /// value goes as typed, for the server to refuse in its own words.
    /// Empty text: null.
    void SetAsTypedExact(TFbExactKind kind, std::string_view typed);
    /// A BOOLEAN entry receives the value, any other 1 or 0 as SQL_LONG.
    void SetAsBoolean(bool value);
    /// The integer writers give a BOOLEAN entry 0 or 1 as false or true
    /// (client error 38 for other numbers).
    void SetAsShort(std::int16_t value);
    void SetAsLong(std::int32_t value);
    void SetAsInt64(std::int64_t value);
    void SetAsDouble(double value);
    void SetAsCurrency(rtl::Currency value);
    void SetAsDate(rtl::TDateTime value);
    void SetAsTime(rtl::TDateTime value);
    void SetAsDateTime(rtl::TDateTime value);
    /// Only on a blob entry (client error 38 otherwise).
    void SetAsQuad(ISC_QUAD value);
    /// true: null (a non-nullable entry is made nullable first).
    void SetIsNull(bool value);
    /// By the variant's type; client error 4 for arrays, 5 for dispatch,
    /// error, variant, unknown and by-reference values.
    void SetAsVariant(const TFbVariant& value);

private:
    friend class TFbXSQLDA;
    TFbXSQLVAR(TFbXSQLDA* owner, int index) : owner_(owner), index_(index) {}

    static size_t nameLen(short len) { return len < 0 ? 0 : (len > 32 ? 32 : size_t(len)); }
    /// The described length of a text, a negative one counting as 0.
    size_t textLength() const { return var_->sqllen > 0 ? size_t(var_->sqllen) : 0; }
    int dialect() const;
    std::int64_t scaledInt() const;
    /// The entries written by a writer: every entry named like this one.
    std::vector<TFbXSQLVAR*> targets();
    /// Sets type (keeping the nullable bit), scale and length, sizes the
    /// data area and clears the null indicator.
    void setStorage(short type, short scale, short len);
    /// setStorage, then the value's `len` bytes as its data.
    void store(short type, short scale, const void* bytes, short len);
    void allocate();
    void writeText(std::string_view value);
    void writeTimestamp(rtl::TDateTime value);
    void writeBoolean(bool value);
    /// For an entry described as BOOLEAN: writes 0 or 1 as a boolean and
    /// returns true; false for any other entry.
    bool writeIfBoolean(std::int64_t value);
    void markNull();

    TFbXSQLDA* owner_;
    int index_;
    XSQLVAR* var_ = nullptr;
    std::string name_;
    bool modified_ = false;
    short describedType_ = 0;    ///< type as described, nullable bit removed
    short describedSubtype_ = 0; ///< the described subtype (a text's set)
    std::vector<char> data_;
    short indicator_ = 0;
};

/// A descriptor collection: a client XSQLDA with a fixed number of entries,
/// one TFbXSQLVAR per entry, the entries' names and, for result columns,
/// the one relation all columns come from.
class TFbXSQLDA {
public:
    /// `statement` may be null (a free-standing collection, dialect 3, no
    /// blob access).
    explicit TFbXSQLDA(TFbSQL* statement, bool columns);
    ~TFbXSQLDA();
    TFbXSQLDA(const TFbXSQLDA&) = delete;
    TFbXSQLDA& operator=(const TFbXSQLDA&) = delete;

    int Count() const { return count_; }
    /// Empties the name list; growing reallocates the descriptor area and
    /// re-points every holder; 0 also clears the unique relation name.
    void SetCount(int value);

    /// Entry `index` (0..Count-1); client error 26 otherwise.
    TFbXSQLVAR& Vars(int index);
    TFbXSQLVAR& operator[](int index) { return Vars(index); }
    /// The first entry whose name equals `name` normalised; null when none.
    TFbXSQLVAR* ByName(std::string_view name);

    /// The descriptor area handed to the client calls.
    XSQLDA* AsXSQLDA() { return sqlda_; }
    const std::string& UniqueRelationName() const { return uniqueRelationName_; }
    /// The names, one per entry in order, normalised (empty until named).
    const std::vector<std::string>& Names() const { return names_; }
    TFbSQL* Statement() const { return statement_; }

    /// After a describe: relation name, entry names and storage per type
    /// (client error 35 for an unknown type). `paramNames` are the parsed
    /// marker names (parameters only; empty names them like columns).
    void Initialize(const std::vector<std::string>& paramNames = {});

private:
    friend class TFbXSQLVAR;
    TFbSQL* statement_;
    bool columns_;
    int count_ = 0;
    int capacity_ = 0;
    XSQLDA* sqlda_ = nullptr;
    std::vector<std::unique_ptr<TFbXSQLVAR>> vars_;
    std::vector<std::string> names_;
    std::string uniqueRelationName_;
};

/// The statement's text as a list of lines. Every change first tells the
/// statement (OnSQLChanging, then the statement is released); assigning
/// the text it already has changes nothing.
class TFbSQLLines {
public:
    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string& operator[](int index) const { return lines_.at(index); }
    const std::vector<std::string>& Lines() const { return lines_; }
    /// The lines, each followed by CR LF.
    std::string Text() const;
    /// Splits at CR LF, LF or CR.
    void SetText(std::string_view text);
    void Assign(const std::vector<std::string>& lines);
    void Add(std::string_view line);
    void Insert(int index, std::string_view line);
    void Set(int index, std::string_view line);
    void Delete(int index);
    void Clear();

private:
    friend class TFbSQL;
    explicit TFbSQLLines(TFbSQL* owner) : owner_(owner) {}
    void changing();
    TFbSQL* owner_;
    std::vector<std::string> lines_;
};

/// One dynamic SQL statement on a connection, inside a transaction.
/// Order of use: Database/Transaction and SQL; ParamNamed(...) values;
/// ExecQuery; for a SELECT FetchNext until AtEnd, then Close.
class TFbSQL : public TFbLink {
public:
    /// Loads the client library first (client error 1 when none is found).
    TFbSQL();
    /// Drops the statement (and its cursor with it); never throws.
    ~TFbSQL() override;

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    TFbSQLLines& SQL() { return sql_; }
    const TFbSQLLines& SQL() const { return sql_; }

    bool ParamCheck() const { return paramCheck_; }
    void SetParamCheck(bool v) { paramCheck_ = v; }
    bool InventParamNames() const { return inventParamNames_; }
    void SetInventParamNames(bool v) { inventParamNames_ = v; }
    bool GoToFirstRecordOnExecute() const { return goToFirst_; }
    void SetGoToFirstRecordOnExecute(bool v) { goToFirst_ = v; }

    /// Called before the SQL lines change.
    std::function<void(TFbSQL&)> OnSQLChanging;

    /// Client errors 31 (open), 24/25/15 (no connection or transaction), 42
    /// (empty text), 55 (parse error), 5 (segment or start-transaction
    /// statement), 35 (unknown type), or the server's error; a failure
    /// leaves the statement released. Starts an inactive transaction.
    void Prepare();
    /// Prepares if needed and executes; a SELECT opens its cursor (and
    /// fetches the first row when GoToFirstRecordOnExecute). 31 when open.
    void ExecQuery();
    /// The next row, or null at the end. Client error 32 when not open.
    TFbXSQLDA* FetchNext();
    /// Closes an open cursor; does nothing otherwise.
    void Close();
    /// Drops the server statement and un-prepares.
    void ReleaseStatement();

    /// Prepares if needed; client error 46 when no parameter has the name.
    TFbXSQLVAR& ParamNamed(std::string_view name);
    /// Client error 46 when no column has the name.
    TFbXSQLVAR& ColumnNamed(std::string_view name);
    /// Client error 46 (naming the index) outside 0..column count-1.
    TFbXSQLVAR& ColumnAt(int index);
    TFbXSQLDA& CurrentRow() { return columns_; }
    /// Prepares if needed.
    TFbXSQLDA& ParamList();

    /// True at the end or when not open.
    bool AtEnd() const { return atEnd_ || !open_; }
    bool AtStart() const { return atStart_; }
    bool IsPrepared() const { return prepared_; }
    bool IsOpen() const { return open_; }
    int RecordCount() const { return recordCount_; }
    int StatementKind() const { return kind_; }
    /// The one table all result columns come from; empty for none, several
    /// or a statement that is no SELECT.
    std::string SoleRelationName() const;
    /// Set at the first prepare: Name followed by 8 random digits.
    const std::string& CursorName() const { return cursorName_; }
    /// Give the cursor its name on the server at each execution (default
    /// false): only a statement that another one addresses by that name
    /// ("where current of") needs it, and naming it makes the execution wait
    /// for an answer of its own instead of travelling with the first fetch.
    bool NamedCursor() const { return namedCursor_; }
    void SetNamedCursor(bool v) { namedCursor_ = v; }
    /// The text sent to the server (markers replaced by "?").
    const std::string& ProcessedSQL() const { return processedSQL_; }
    isc_stmt_handle* Handle() { return handle_.Ptr(); }
    /// The connection's dialect (3 without a connection).
    int Dialect() const;

protected:
    void TransactionEnding() override;
    void DatabaseDisconnecting() override;

private:
    friend class TFbSQLLines;
    void sqlChanging();
    void prepareStatement();

    void describeColumns();
    void checkHandle() const;
    /// Back to not prepared: the statement dropped (errors ignored), both
    /// collections emptied, every state flag cleared.
    void unprepare() noexcept;
    bool isSelect() const { return kind_ == SQLSelect || kind_ == SQLSelectForUpdate; }

    std::string name_;
    TFbSQLLines sql_;
    bool paramCheck_ = true;
    bool inventParamNames_ = false;
    bool goToFirst_ = true;
    bool namedCursor_ = false;
    TFbStatementHandle handle_;
    bool prepared_ = false;
    bool open_ = false;
    bool atStart_ = false;
    bool atEnd_ = false;
    int recordCount_ = 0;
    int kind_ = SQLUnknown;
    std::string processedSQL_;
    std::vector<std::string> paramNames_;
    std::string cursorName_;
    TFbXSQLDA params_;
    TFbXSQLDA columns_;
};

/// Reads the whole content of the blob `id` (empty for a zero id) on the
/// link's connection and transaction, in pieces of at most 16384 bytes.
/// The server's error on failure (the blob is closed first).
std::string FbReadBlob(const TFbLink& link, ISC_QUAD id);

/// Creates a blob holding `content` on the link's connection and
/// transaction, written in pieces of at most 16384 bytes, and returns its
/// id. The server's error on failure.
ISC_QUAD FbWriteBlob(const TFbLink& link, std::string_view content);
