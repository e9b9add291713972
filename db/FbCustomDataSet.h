#pragma once
// The SQL-driven dataset engine: a read-only, navigable set of rows fetched
// lazily from a server cursor into a record cache that holds each row at its
// actual size, with typed fields, an observer interface for the controls that
// show it, and a busy hook for the user interface's hourglass.
#include "db/FbTypes.h"
#include "db/FbValues.h"
#include "rtl/currency.h"
#include "rtl/datetime.h"
#include "rtl/format.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TFbDatabase;
class TFbTransaction;
class TFbSQL;
class TFbLink;
class TFbCustomDataSet;

/// Follows a dataset. Every hook has an empty default. Hooks are called on
/// the thread that drives the dataset, after the dataset's own state is
/// consistent (except DataSetClosing, which comes before the fields go).
/// Observers are not owned; remove an observer before destroying it.
class TFbDataSetObserver {
public:
    virtual ~TFbDataSetObserver() = default;
    /// The dataset is open: fields exist, the first row (if any) is current.
    virtual void DataSetOpened(TFbCustomDataSet&) {}
    /// The dataset is about to close: fields and rows are still readable,
    /// but drop every TField pointer now.
    virtual void DataSetClosing(TFbCustomDataSet&) {}
    /// The dataset has closed: no fields, no rows.
    virtual void DataSetClosed(TFbCustomDataSet&) {}
    /// The current row changed (RecNo may be the same after First on a
    /// one-row set). Not sent while controls are disabled.
    virtual void RowMoved(TFbCustomDataSet&) {}
    /// Rows were added to the cache: the cached row count went from
    /// `oldCount` to `newCount` (RecordCount). Sent after the fact, so a
    /// model keeps its own row count and updates it here. Not sent while
    /// controls are disabled.
    virtual void RowsFetched(TFbCustomDataSet&, int /*oldCount*/, int /*newCount*/) {}
    /// The outermost DisableControls: updates are suspended from now on.
    virtual void ControlsDisabled(TFbCustomDataSet&) {}
    /// The outermost EnableControls: updates resume; the rows, the row
    /// count and the current row may all have changed meanwhile.
    virtual void ControlsEnabled(TFbCustomDataSet&) {}
};

/// A reader over the whole content of one blob or memo value, which the
/// dataset reads once (in pieces) and keeps with its row until the dataset
/// closes. Cheap to copy; valid until the dataset closes.
class TFbBlobStream {
public:
    TFbBlobStream() = default;
    explicit TFbBlobStream(const std::string* content) : content_(content) {}
    /// Bytes in the blob (0 for a null or empty blob).
    std::int64_t Size() const { return content_ ? static_cast<std::int64_t>(content_->size()) : 0; }
    std::int64_t Position() const { return static_cast<std::int64_t>(pos_); }
    /// Moves the read position; clamped to 0..Size().
    void Seek(std::int64_t pos);
    /// Copies up to `count` bytes from the position on; returns how many
    /// (0 at or past the end).
    std::size_t Read(void* buffer, std::size_t count);
    /// The content from the position to the end; moves the position there.
    std::string ReadAll();

private:
    const std::string* content_ = nullptr;
    std::size_t pos_ = 0;
};

/// One column of an open dataset, made at each open from the prepared
/// SELECT and destroyed at each close. Value readers read the dataset's
/// current row; a null value reads as the kind's zero (empty text, 0, 0.0,
/// false, the zero date). A reader that cannot convert the value throws
/// EFbClientError 38 "Invalid data conversion" (text that does not parse
/// throws rtl::EConvertError); reading with no current row reads null.
class TField {
public:
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TFbCustomDataSet& DataSet() const { return *dataSet_; }
    /// Position among the dataset's fields (0-based).
    int Index() const { return index_; }
    /// The column's alias as the server reports it.
    const std::string& FieldName() const { return name_; }
    /// The label if one is set, else FieldName.
    const std::string& DisplayLabel() const { return label_.empty() ? name_ : label_; }
    void SetDisplayLabel(const std::string& label) { label_ = label; }
    TFieldType DataType() const { return kind_.DataType; }
    /// Declared length for ftString (in bytes), minus the scale for ftBCD,
    /// else 0.
    int Size() const { return kind_.Size; }
    /// The character set of a string or memo column as the server describes
    /// it (TFbCharSetId: 0 NONE, 4 UTF8, ...): the set of the bytes its
    /// readers return. On a connection with a set (TFbDatabase::
    /// ConnectionCharSetId) the server sends every column that has one in
    /// the connection's set and says so; columns without one stay NONE. 0
    /// for every other kind.
    int CharSetId() const { return charSet_; }
    /// 4, 9 or 18 for ftBCD, else 0.
    int Precision() const { return kind_.Precision; }
    /// The column is declared NOT NULL.
    bool Required() const { return required_; }
    /// Computed column (never written).
    bool ReadOnly() const { return readOnly_; }
    /// Shown by controls and exported; true after each open.
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }
    /// Pattern for DisplayText of float, BCD, date, time and date-time
    /// fields (rtl::formatFloat / rtl::formatDateTime); empty = default text.
    const std::string& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const std::string& format) {
        displayFormat_ = format;
        displayNumber_ = rtl::NumberFormat(format);
        displayDateGeneration_ = 0;
    }
    /// For a column kept as its exact text (a string field): what that
    /// text is (FbValues.h). AsString then gives the regional text without
    /// thousands separators, DisplayText with them and OCTETS in
    /// hexadecimal; the stored bytes stay what the server sent.
    TFbExactKind ExactKind() const { return exact_; }
    /// ftBlob or ftMemo.
    bool IsBlob() const { return kind_.DataType == ftBlob || kind_.DataType == ftMemo; }

    bool IsNull() const;
    /// The value as text: strings as stored (CHAR keeps its trailing
    /// blanks), integers in decimal, floats in DisplayFormat when set, else
    /// as general text (15 digits),
    /// BCD as currency text, dates, times and date-times in the locale's
    /// short date / long time, booleans "SIM" or "N\xc3O" (BooleanText),
    /// memo and blob the whole content.
    std::string AsString() const;
    /// AsString appended to `out` (no allocation for fixed-size kinds).
    void AppendAsString(std::string& out) const;
    /// What a grid shows: like AsString, but floats, BCD and dates follow
    /// DisplayFormat when set, and memo/blob show "(MEMO)"/"(BLOB)", or
    /// "(Memo)"/"(Blob)" when null.
    std::string DisplayText() const;
    /// DisplayText appended to `out`.
    void AppendDisplayText(std::string& out) const;
    /// Integers as they are, booleans 1 or 0, floats and BCD truncated,
    /// strings parsed.
    std::int32_t AsInteger() const;
    std::int64_t AsLargeInt() const;
    double AsFloat() const;
    rtl::Currency AsCurrency() const;
    /// Dates, times and date-times; strings parsed with the locale formats.
    rtl::TDateTime AsDateTime() const;
    /// Booleans as they are; numbers: not 0; strings by TryTextToBoolean
    /// (client error 38 for any other text).
    bool AsBoolean() const;
    /// A reader over the content of a blob or memo field (empty for null);
    /// client error 38 for other kinds. The content is read from the server
    /// at the first use per row and kept until the dataset closes.
    TFbBlobStream BlobStream() const;

private:
    friend class TFbCustomDataSet;
    TField() = default;
    // The value in the row the fields read, null when null or no row: a
    // fixed slot, or for strings the text's length prefix.
    const std::byte* data() const;
    std::int64_t integer(const std::byte* p) const;              // SHORT, LONG, INT64 as stored
    double floating(const std::byte* p) const;                   // ftFloat
    rtl::Currency currency(const std::byte* p) const;            // ftBCD
    double dateTime(const std::byte* p) const;                   // ftDate, ftTime, ftDateTime
    void appendText(std::string& out, const std::byte* p) const; // ftString
    void appendExact(std::string& out, const std::byte* p, bool grouped) const;

    TFbCustomDataSet* dataSet_ = nullptr;
    int index_ = 0;
    std::string name_;
    std::string label_;
    TFbFieldKind kind_;
    bool required_ = false;
    bool readOnly_ = false;
    bool visible_ = true;
    std::string displayFormat_;
    // Date-time patterns parsed once for the text of date kinds: the value
    // text (locale short date, long time or both) and DisplayFormat; each is
    // remade when the current regional settings or DisplayFormat change
    // (generation 0: not made yet).
    const rtl::DateTimeFormat& valueDateFormat() const;
    const rtl::DateTimeFormat& displayDateFormat() const;
    rtl::NumberFormat displayNumber_; // DisplayFormat parsed as a number pattern
    mutable rtl::DateTimeFormat valueDate_;
    mutable rtl::DateTimeFormat displayDate_;
    mutable std::uint64_t valueDateGeneration_ = 0;
    mutable std::uint64_t displayDateGeneration_ = 0;
    // Source column and place in a record.
    int column_ = 0;    // position in the SELECT's result columns
    short sqlType_ = 0; // SQL type code without the nullable bit
    short scale_ = 0;   // scale of the column (0 or negative)
    int charSet_ = 0;   // strings and memos: the column's character set
    TFbExactKind exact_ = TFbExactKind::None;
    std::uint32_t offset_ = 0; // fixed slot: offset in a record; string: its place among the texts
    // CHAR values are kept without their padding and padded back when read:
    // to padChars_ characters of padChar_ (blanks; zero bytes for OCTETS).
    bool fixedChar_ = false;
    char padChar_ = ' ';
    std::uint32_t padChars_ = 0;
};

/// Called with true before and false after slow work (opening, preparing),
/// outermost calls only; the user interface shows its hourglass there. Empty
/// by default, so the access layer needs no windowing toolkit.
using TFbBusyHook = std::function<void(bool busy)>;

/// Brackets slow work with the busy hook for its lifetime; nested scopes
/// call the hook only at the outermost level.
class TFbBusyScope {
public:
    TFbBusyScope();
    ~TFbBusyScope();
    TFbBusyScope(const TFbBusyScope&) = delete;
    TFbBusyScope& operator=(const TFbBusyScope&) = delete;
};

/// A read-only dataset over one SELECT. TFbTable builds that SELECT; this
/// class prepares and executes it, fetches rows on demand into its record
/// cache and serves them through its fields.
///
/// Navigation follows the classic dataset model: after Open, First or Last
/// a row is current unless the set is empty; Next past the last row sets
/// Eof and stays on the last row; Prior before the first sets Bof. Walk
/// with `First(); while (!Eof()) { ...; Next(); }`.
class TFbCustomDataSet {
public:
    TFbCustomDataSet();
    /// Closes (errors ignored) and unregisters. Observers are not told.
    virtual ~TFbCustomDataSet();
    TFbCustomDataSet(const TFbCustomDataSet&) = delete;
    TFbCustomDataSet& operator=(const TFbCustomDataSet&) = delete;

    TFbDatabase* Database() const;
    /// Closes an open dataset first. With no transaction yet, takes the
    /// connection's default transaction.
    void SetDatabase(TFbDatabase* db);
    TFbTransaction* Transaction() const;
    /// Closes an open dataset first.
    void SetTransaction(TFbTransaction* tr);

    /// Records by which the cache grows; 0 or less is stored as 1000.
    int BufferChunks() const { return bufferChunks_; }
    void SetBufferChunks(int value) { bufferChunks_ = value <= 0 ? 1000 : value; }
    /// Forward-only reading: each row fetched takes the place of the one
    /// before in the cache, which so never holds more than the current row
    /// (RecordCount stays 1, RecNo 1). Prior does not move, First after the
    /// first row stays on the current one, SetRecNo and Last read on to the
    /// end. For reading a large result once. Only while closed ("Cannot
    /// perform this operation on an open dataset").
    bool Unidirectional() const { return unidirectional_; }
    void SetUnidirectional(bool value);
    /// Parse named parameters in the SELECT (copied to it before prepare).
    bool ParamCheck() const { return paramCheck_; }
    void SetParamCheck(bool value) { paramCheck_ = value; }

    /// Connects the connection and starts the transaction when needed,
    /// prepares and executes the SELECT, makes the fields and fetches the
    /// first row. Does nothing when open. On failure the dataset stays
    /// closed and the error propagates (server errors as EFbError).
    void Open();

    /// An opening in two parts, for a caller that keeps its own thread free
    /// while the server works (Open runs both at once).
    ///
    /// OpenAside does the server's part, on any one thread: connects and
    /// starts the transaction when needed, prepares the SELECT as the
    /// properties now give it (on a statement of its own when the dataset
    /// is open), executes it and fetches its first row. It calls no
    /// observer and leaves what an open dataset shows untouched, so its
    /// rows, fields and cache stay readable meanwhile; nothing else may use
    /// the dataset, its connection or its transaction until it returns. On
    /// failure (a cancelled statement included) it throws, and the caller
    /// calls AbandonOpen.
    void OpenAside();
    /// On the dataset's own thread, after OpenAside: an open dataset closes
    /// (observers hear DataSetClosing and DataSetClosed; a transaction it
    /// started goes on), then the new result takes its place and observers
    /// hear DataSetOpened. On failure the dataset is closed.
    void CompleteOpen();
    /// Forgets what OpenAside did: the dataset is exactly as it was (a
    /// transaction the opening started stays, and ends with a later close).
    /// Never throws.
    void AbandonOpen() noexcept;
    /// OpenAside has run and waits for CompleteOpen or AbandonOpen.
    bool OpeningPending() const { return opening_ != nullptr; }
    /// Closes the cursor, frees the cache and the fields. Ends the
    /// transaction with its DefaultAction when this dataset started it and
    /// no other open dataset uses it. Does nothing when closed.
    void Close() { Close(false); }
    bool Active() const { return active_; }
    void SetActive(bool value) { value ? Open() : Close(); }

    // Navigation.
    void First();
    void Next();
    void Prior();
    /// Fetches every remaining row; the last row becomes current.
    void Last();
    /// True after Next failed to move past the last row, after Last, and
    /// on an empty or closed dataset.
    bool Eof() const { return !active_ || eof_; }
    /// True after Open/First and after Prior failed to move before the first row.
    bool Bof() const { return !active_ || bof_; }
    /// Rows fetched so far; the table's row count once Last has run.
    int RecordCount() const { return active_ ? rowCount_ : 0; }
    /// Current row number, 1-based; 0 with no current row.
    int RecNo() const { return active_ ? current_ + 1 : 0; }
    /// Makes row `recNo` (1-based) current, fetching up to it when needed;
    /// beyond the last row the last row becomes current. Ignored when closed.
    void SetRecNo(int recNo);
    /// True when an empty or closed dataset.
    bool IsEmpty() const { return RecordCount() == 0; }

    /// Fetches up to `count` more rows into the cache without moving the
    /// current row; returns how many came. For models that grow on demand.
    int FetchMore(int count);
    /// Tells the observers of the rows fetched since the count was
    /// `oldCount` (RowsFetched): for rows fetched while the controls were
    /// disabled (by work on another thread), which they were not told of.
    void NotifyRowsFetched(int oldCount) { notifyFetched(oldCount); }
    /// True when the cursor has delivered every row (or when closed).
    bool AllFetched() const { return !active_ || cursorAtEnd_; }

    /// Makes cached row `index` (0-based) the row the fields read, without
    /// moving the current row, fetching or telling observers; returns the
    /// previous one. A row outside the cache reads as null. For painting
    /// one cell; see TFbRowPeek.
    int PeekRow(int index);

    // Fields (valid while open; re-made at each open, in SELECT order).
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    /// std::out_of_range outside 0..FieldCount-1.
    TField& Fields(int index) const { return *fields_.at(static_cast<std::size_t>(index)); }
    /// Case-insensitive; null when absent.
    TField* FindField(std::string_view name) const;
    /// As FindField; client error 46 'Field "%s" not found' when absent.
    TField& FieldByName(std::string_view name) const;

    // Controls.
    void AddObserver(TFbDataSetObserver* observer);
    void RemoveObserver(TFbDataSetObserver* observer);
    /// Suspends row-move and fetch notifications; nests (counted).
    void DisableControls();
    /// Ends one suspension; the outermost sends ControlsEnabled. Extra
    /// calls are ignored.
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    /// The process-wide busy hook (see TFbBusyHook).
    static void SetBusyHook(TFbBusyHook hook);

    /// The RDB$DB_KEY of the current row ("" with no current row, or when
    /// the SELECT has no FB_INTERNAL_DBKEY column): 8 bytes for a table, 8
    /// per joined table for a view.
    std::string CurrentRowKey() const;

    /// Bytes the record cache holds for the rows fetched so far: its blocks
    /// (with the room left in the last) and its row index; blob contents
    /// read are not counted. 0 when closed.
    std::size_t CacheBytes() const;

protected:
    /// A column of the prepared SELECT that becomes a field.
    struct FieldDef {
        std::string name;     // alias as the server reports it
        std::string sqlName;  // the column's own name in its relation
        std::string relation; // the relation it comes from ("" for expressions)
        TFbFieldKind kind;
        bool required = false;
        bool computed = false;
        int column = 0;
        short sqlType = 0;
        short scale = 0;
        int sqlLen = 0;
        int charSet = 0; // strings and memos
        TFbExactKind exact = TFbExactKind::None;
    };

    /// First step of Open: throw when the dataset cannot open (TFbTable:
    /// no table name). The default does nothing.
    virtual void CheckOpenable() {}
    /// The server's part of an opening (OpenAside), with the connection
    /// attached and the transaction active, before preparing: give
    /// OpeningSQL its text. It must not change what the open dataset shows.
    /// The default keeps the SELECT's text.
    virtual void BeforePrepare();
    /// Called by OpenAside after BeforePrepare: prepares OpeningSQL
    /// (PrepareOpening). TFbTable checks its catalog facts against the
    /// prepared statement there.
    virtual void PrepareSelect() { PrepareOpening(); }
    /// On the dataset's own thread, when CompleteOpen puts the opening in
    /// place, before the fields are made (TFbTable takes the texts and
    /// facts the opening used). The default does nothing.
    virtual void CommitOpening() {}
    /// When an opening is abandoned. The default does nothing.
    virtual void AbandonOpening() {}
    /// Called when the transaction ends or the connection detaches:
    /// release every other statement. The default does nothing.
    virtual void ReleaseCompanions() {}
    /// Called after Close freed the rows and fields (TFbTable marks its
    /// definitions out of date there). The default does nothing.
    virtual void AfterCloseCleanup() {}
    /// Marks computed columns of the definitions, from the connection's
    /// catalog facts of each relation met (TFbDatabase::TableFacts).
    /// TFbTable also gives its fields the columns' whole names there.
    virtual void MarkComputedFields(std::vector<FieldDef>& defs);

    /// Prepares OpeningSQL when it is not prepared.
    void PrepareOpening();
    /// Close, optionally leaving a transaction this dataset started running
    /// (and the SELECT prepared): for a reopening that reads the same state
    /// of the database. The transaction ends at a later close as usual.
    void Close(bool keepTransaction);

    /// The SELECT statement of the open dataset (owned by the dataset).
    TFbSQL& SelectSQL() const;
    /// The statement an opening works on (during OpenAside): the SELECT
    /// itself while the dataset is closed, else a statement of its own.
    TFbSQL& OpeningSQL() const;
    /// The dataset's binding to its connection and transaction.
    TFbLink& Binding() const;
    /// Releases the SELECT's server statement and forgets the field
    /// definitions, so the next open prepares again.
    void Unprepare();
    bool Prepared() const { return prepared_; }

    /// The key of cached row `index` ("" outside the cache).
    std::string RowKey(int index) const;
    /// The connection's dialect (3 without a connection).
    int Dialect() const;

private:
    friend class TField;
    class Link;
    struct Cache;

    void OnTransactionEnding();
    void OnDatabaseDisconnecting();
    void buildFieldDefs();
    void makeFields();
    void buildLayout();
    void storeRow();
    bool fetchOne();
    void fetchAll();
    void notifyMoved();
    void notifyFetched(int oldCount);
    void releaseOpenState();
    void setReadRow(int row);
    const std::string& blobContent(const TField& f) const;

    struct Opening;

    std::unique_ptr<Link> link_;
    std::unique_ptr<TFbSQL> select_;
    std::unique_ptr<Opening> opening_;
    std::unique_ptr<Cache> cache_;
    std::vector<FieldDef> defs_;
    std::vector<std::unique_ptr<TField>> fields_;
    std::vector<TFbDataSetObserver*> observers_;
    TFbTransaction* countedTransaction_ = nullptr;
    int bufferChunks_ = 1000;
    bool paramCheck_ = true;
    bool unidirectional_ = false;
    bool active_ = false;
    bool prepared_ = false;
    bool startedTransaction_ = false;
    bool eof_ = true;
    bool bof_ = true;
    bool cursorAtEnd_ = true;
    int current_ = -1;
    int readRow_ = -1;                      // the row the fields read: current_ unless peeking
    const std::byte* readRecord_ = nullptr; // its record, null outside the cache
    int rowCount_ = 0;
    int disableCount_ = 0;
    int dbKeyColumn_ = -1;
};

/// The display format the program gives a field when a table opens or an
/// export starts: dates "dd/mm/yyyy", times "hh:nn:ss", float, currency and
/// BCD two grouped decimals, or up to four when the name holds "QTD" (any
/// case); empty for every other kind (its format is left as it is).
std::string DefaultDisplayFormat(TFieldType kind, std::string_view fieldName);

/// Reads cached row `index` through the fields for the lifetime of the
/// object and restores the previous reading row afterwards.
class TFbRowPeek {
public:
    TFbRowPeek(TFbCustomDataSet& ds, int index) : ds_(ds), previous_(ds.PeekRow(index)) {}
    ~TFbRowPeek() { ds_.PeekRow(previous_); }
    TFbRowPeek(const TFbRowPeek&) = delete;
    TFbRowPeek& operator=(const TFbRowPeek&) = delete;

private:
    TFbCustomDataSet& ds_;
    int previous_;
};
