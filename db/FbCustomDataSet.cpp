#include "db/FbCustomDataSet.h"

#include "db/FbCatalog.h"
#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbUtils.h"
#include "rtl/errors.h"
#include "rtl/format.h"
#include "rtl/parse.h"
#include "rtl/strutil.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unordered_map>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

TFbBusyHook& busyHook() {
    static TFbBusyHook hook;
    return hook;
}

int& busyDepth() {
    static int depth = 0;
    return depth;
}

/// Open datasets per transaction: a dataset that started its transaction
/// ends it at close only when no other dataset still reads through it.
std::map<const TFbTransaction*, int>& openDataSets() {
    static std::map<const TFbTransaction*, int> counts;
    return counts;
}

// A table's RDB$DB_KEY has 8 bytes; a view's has 8 per table it joins.
constexpr std::size_t kMaxKeySize = 64;

} // namespace

// ---------------------------------------------------------------------------
// Link: hears the connection and the transaction.

class TFbCustomDataSet::Link : public TFbLink {
public:
    explicit Link(TFbCustomDataSet& ds) : ds_(ds) {}

protected:
    void TransactionEnding() override { ds_.OnTransactionEnding(); }
    void DatabaseDisconnecting() override { ds_.OnDatabaseDisconnecting(); }

private:
    TFbCustomDataSet& ds_;
};

// ---------------------------------------------------------------------------
// Record cache.
//
// A record is the row at its actual size, packed without alignment (values
// are read with memcpy):
//   the row's RDB$DB_KEY (keySize bytes, none without a key column),
//   one null bit per field (bit i of byte i / 8 for field i),
//   the fixed slots: each number, date, time, boolean and blob id as the
//     server sends it (2, 4 or 8 bytes; 1 for a boolean), converted only
//     when read, so storing a row is copying it,
//   the texts in field order, each a length (one byte below 255, else 255
//     and two bytes) and its bytes: VARCHAR at its actual length, CHAR
//     without the padding the server added (padded back when read); a
//     null text takes no bytes at all.
// Records live in blocks that are never moved: a row that does
// not fit in the room left starts a new block (twice the last one, up to
// kMaxBlock). Each block holds a run of rows; an index in pages of
// BufferChunks rows keeps each row's offset in its block, 4 bytes a row.
// When the cursor ends, the room left in the last block goes back.

namespace {
constexpr std::size_t kFirstBlock = 16 * 1024;
constexpr std::size_t kMaxBlock = 2 * 1024 * 1024;
constexpr std::uint32_t kNullText = 0xFFFFFFFF;

/// A block of the cache. Full-size blocks are whole huge pages where the
/// system offers them: a million rows then cost a few dozen page faults
/// instead of tens of thousands, the largest part of filling the cache.
class Block {
public:
    explicit Block(std::size_t size) : size_(size) {
#ifdef __linux__
        if (size == kMaxBlock) {
            // Twice the size, so that an aligned block lies inside; the rest
            // goes back at once.
            void* m =
                mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (m != MAP_FAILED) {
                auto base = reinterpret_cast<std::uintptr_t>(m);
                auto aligned = (base + size - 1) & ~(std::uintptr_t(size) - 1);
                if (aligned > base) munmap(m, aligned - base);
                if (aligned + size < base + 2 * size)
                    munmap(reinterpret_cast<void*>(aligned + size),
                           base + 2 * size - aligned - size);
                data_ = reinterpret_cast<std::byte*>(aligned);
                madvise(data_, size, MADV_HUGEPAGE);
                mapped_ = true;
                return;
            }
        }
#endif
        data_ = new std::byte[size];
    }
    ~Block() {
#ifdef __linux__
        if (mapped_) {
            munmap(data_, size_);
            return;
        }
#endif
        delete[] data_;
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    std::byte* data() const {
        return data_;
    }
    std::size_t size() const {
        return size_;
    }
    /// Keeps the first `used` bytes; a mapped block returns the whole pages
    /// after them.
    void shrink(std::size_t used) {
#ifdef __linux__
        if (!mapped_) return;
        const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t keep = std::max(page, (used + page - 1) / page * page);
        if (keep < size_ && munmap(data_ + keep, size_ - keep) == 0) size_ = keep;
#else
        (void)used;
#endif
    }

private:
    std::byte* data_ = nullptr;
    std::size_t size_;
    bool mapped_ = false;
};

} // namespace

struct TFbCustomDataSet::Cache {
    struct Fixed {
        int column;           // in the SELECT's result columns
        int field;            // its null bit
        std::uint32_t offset; // in the record
        std::uint32_t size;
    };
    struct Text {
        int column;
        int field;
        bool varying;
        bool trim; // CHAR: drop the padding, which reading restores
        char pad;
        std::uint32_t declared; // bytes
    };

    // Layout, the same for every record.
    std::size_t keySize = 0;
    std::size_t nullBytes = 0;
    std::size_t fixedSize = 0; // key, null bits and fixed slots
    std::vector<Fixed> fixed;
    std::vector<Text> texts;
    std::vector<std::uint32_t> lengths; // of the texts of the row being stored

    // Where the texts of one record start, found at the first text read from
    // it: fields read one after another find each text in one step.
    const std::byte* textRecord = nullptr;
    std::vector<std::uint32_t> textOffsets;

    // Rows in blocks: each block holds the rows from its first one to the
    // next block's first one; the index keeps each row's offset in its block.
    struct Held {
        std::unique_ptr<Block> block;
        int firstRow;
    };
    std::vector<Held> blocks;
    std::size_t pageRows = 1000;
    std::vector<std::unique_ptr<std::uint32_t[]>> pages;
    std::byte* free = nullptr;
    std::size_t room = 0;
    std::size_t nextBlock = kFirstBlock;
    // The block of the last row looked up: walks stay in it for thousands of
    // rows.
    mutable std::size_t lastBlock = 0;

    // Blob contents read so far, by row and field.
    std::unordered_map<std::uint64_t, std::string> blobs;

    const std::byte* record(int row) const {
        std::size_t b = lastBlock;
        if (row < blocks[b].firstRow || (b + 1 < blocks.size() && row >= blocks[b + 1].firstRow)) {
            auto after = std::upper_bound(blocks.begin(), blocks.end(), row,
                                          [](int r, const Held& h) { return r < h.firstRow; });
            b = static_cast<std::size_t>(after - blocks.begin()) - 1;
            lastBlock = b;
        }
        auto r = static_cast<std::size_t>(row);
        return blocks[b].block->data() + pages[r / pageRows][r % pageRows];
    }

    /// Room for row `row` of `size` bytes; add() it once written.
    std::byte* allocate(int row, std::size_t size) {
        if (size > room) {
            const std::size_t block = std::max(nextBlock, size);
            blocks.push_back({std::make_unique<Block>(block), row});
            free = blocks.back().block->data();
            room = block;
            nextBlock = std::min(nextBlock * 2, kMaxBlock);
        }
        std::byte* p = free;
        free += size;
        room -= size;
        return p;
    }

    void add(int row, const std::byte* rec) {
        auto r = static_cast<std::size_t>(row);
        if (r / pageRows >= pages.size()) pages.emplace_back(new std::uint32_t[pageRows]);
        pages[r / pageRows][r % pageRows] =
            static_cast<std::uint32_t>(rec - blocks.back().block->data());
    }

    /// Forgets every row, keeping the layout and the last block for the
    /// next: a forward-only dataset holds one row at a time.
    void recycle() {
        if (blocks.size() > 1) blocks.erase(blocks.begin(), blocks.end() - 1);
        if (!blocks.empty()) {
            blocks[0].firstRow = 0;
            free = blocks[0].block->data();
            room = blocks[0].block->size();
        }
        lastBlock = 0;
        textRecord = nullptr;
        blobs.clear();
    }

    /// No more rows will come: the room left goes back to the system.
    void finish() {
        if (blocks.empty()) return;
        blocks.back().block->shrink(static_cast<std::size_t>(free - blocks.back().block->data()));
        room = 0;
    }

    bool isNull(const std::byte* rec, int field) const {
        auto bits = reinterpret_cast<const unsigned char*>(rec + keySize);
        return (bits[field >> 3] >> (field & 7)) & 1u;
    }

    /// The offset of text `k` in `rec` (not null).
    std::uint32_t textOffset(const std::byte* rec, std::uint32_t k) {
        if (rec != textRecord) {
            const std::byte* p = rec + fixedSize;
            for (std::size_t i = 0; i < texts.size(); ++i) {
                if (isNull(rec, texts[i].field)) continue;
                textOffsets[i] = static_cast<std::uint32_t>(p - rec);
                const auto len = static_cast<unsigned char>(*p);
                if (len < 255) {
                    p += 1 + len;
                } else {
                    std::uint16_t l;
                    std::memcpy(&l, p + 1, 2);
                    p += 3 + l;
                }
            }
            textRecord = rec;
        }
        return textOffsets[k];
    }
};

// ---------------------------------------------------------------------------
// TFbBlobStream

void TFbBlobStream::Seek(std::int64_t pos) {
    if (pos < 0) pos = 0;
    if (pos > Size()) pos = Size();
    pos_ = static_cast<std::size_t>(pos);
}

std::size_t TFbBlobStream::Read(void* buffer, std::size_t count) {
    if (!content_ || pos_ >= content_->size()) return 0;
    std::size_t n = std::min(count, content_->size() - pos_);
    std::memcpy(buffer, content_->data() + pos_, n);
    pos_ += n;
    return n;
}

std::string TFbBlobStream::ReadAll() {
    if (!content_ || pos_ >= content_->size()) return {};
    std::string r = content_->substr(pos_);
    pos_ = content_->size();
    return r;
}

// ---------------------------------------------------------------------------
// TField

const std::byte* TField::data() const {
    const std::byte* rec = dataSet_->readRecord_;
    if (!rec) return nullptr;
    TFbCustomDataSet::Cache& c = *dataSet_->cache_;
    if (c.isNull(rec, index_)) return nullptr;
    if (kind_.DataType == ftString) return rec + c.textOffset(rec, offset_);
    return rec + offset_;
}

bool TField::IsNull() const {
    return data() == nullptr;
}

namespace {

template <typename T> T load(const std::byte* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

} // namespace

// ---------------------------------------------------------------------------
// TFbCustomDataSet

TFbCustomDataSet::TFbCustomDataSet()
    : link_(std::make_unique<Link>(*this)), select_(std::make_unique<TFbSQL>()) {
    select_->SetGoToFirstRecordOnExecute(false);
}

TFbCustomDataSet::~TFbCustomDataSet() {
    observers_.clear();
    try {
        Close();
    } catch (...) {
    }
    fields_.clear();
}

TFbDatabase* TFbCustomDataSet::Database() const {
    return link_->Database();
}
TFbTransaction* TFbCustomDataSet::Transaction() const {
    return link_->Transaction();
}

void TFbCustomDataSet::SetDatabase(TFbDatabase* db) {
    if (db == link_->Database()) return;
    Close();
    Unprepare();
    link_->SetDatabase(db);
    select_->SetDatabase(db);
    if (!select_->Transaction() && link_->Transaction())
        select_->SetTransaction(link_->Transaction());
}

void TFbCustomDataSet::SetTransaction(TFbTransaction* tr) {
    if (tr == link_->Transaction()) return;
    Close();
    Unprepare();
    link_->SetTransaction(tr);
    select_->SetTransaction(tr);
    if (!select_->Database() && link_->Database()) select_->SetDatabase(link_->Database());
}

TFbSQL& TFbCustomDataSet::SelectSQL() const {
    return *select_;
}

TFbLink& TFbCustomDataSet::Binding() const {
    return *link_;
}

void TFbCustomDataSet::Unprepare() {
    if (select_->IsOpen()) select_->Close();
    select_->ReleaseStatement();
    prepared_ = false;
    dbKeyColumn_ = -1;
}

/// An opening between OpenAside and CompleteOpen.
struct TFbCustomDataSet::Opening {
    /// A statement of its own, while the dataset shows another one; null:
    /// the SELECT itself.
    std::unique_ptr<TFbSQL> own;
    bool startedTransaction = false; ///< the opening started the transaction
    bool hasRow = false;             ///< the first row is in the statement's descriptor
};

TFbSQL& TFbCustomDataSet::OpeningSQL() const {
    return opening_ && opening_->own ? *opening_->own : *select_;
}

void TFbCustomDataSet::BeforePrepare() {
    if (opening_ && opening_->own) opening_->own->SQL().Assign(select_->SQL().Lines());
}

void TFbCustomDataSet::Open() {
    if (active_) return;
    TFbBusyScope busy;
    try {
        OpenAside();
    } catch (...) {
        AbandonOpen();
        throw;
    }
    CompleteOpen();
}

void TFbCustomDataSet::OpenAside() {
    AbandonOpen();
    CheckOpenable();
    TFbDatabase* db = link_->Database();
    TFbTransaction* tr = link_->Transaction();
    if (!db) RaiseClientError(24);
    if (!tr) RaiseClientError(25);
    opening_ = std::make_unique<Opening>();
    if (!db->Connected()) db->Open();
    if (!tr->Active()) {
        tr->StartTransaction();
        opening_->startedTransaction = true;
    }
    if (active_) {
        // The open result stays readable: the new one gets a statement of
        // its own.
        opening_->own = std::make_unique<TFbSQL>();
        opening_->own->SetGoToFirstRecordOnExecute(false);
        opening_->own->SetDatabase(db);
        opening_->own->SetTransaction(tr);
    } else {
        // The SELECT follows the dataset's binding, which may have been set
        // before a default transaction existed.
        if (select_->Database() != db) select_->SetDatabase(db);
        if (select_->Transaction() != tr) select_->SetTransaction(tr);
    }
    BeforePrepare();
    PrepareSelect();
    TFbSQL& st = OpeningSQL();
    st.ExecQuery();
    // The execution travels with this first fetch: one exchange.
    opening_->hasRow = st.IsOpen() && st.FetchNext() != nullptr;
}

void TFbCustomDataSet::CompleteOpen() {
    if (!opening_) return;
    std::unique_ptr<Opening> o = std::move(opening_);
    if (active_) Close(true);
    if (o->startedTransaction) startedTransaction_ = true;
    // The statement the dataset showed goes (its drop travels with the
    // next request), the opening's takes its place.
    if (o->own) select_ = std::move(o->own);
    prepared_ = true;
    try {
        CommitOpening();
        buildFieldDefs();
        makeFields();
        current_ = -1;
        setReadRow(current_);
        rowCount_ = 0;
        cursorAtEnd_ = !select_->IsOpen(); // not a SELECT: executed once, no rows
        cache_ = std::make_unique<Cache>();
        cache_->pageRows = static_cast<std::size_t>(bufferChunks_);
        buildLayout();
        active_ = true;
        ++openDataSets()[link_->Transaction()];
        countedTransaction_ = link_->Transaction();
        eof_ = bof_ = true;
        if (o->hasRow) {
            storeRow();
            ++rowCount_;
            current_ = 0;
            setReadRow(current_);
            eof_ = false;
        } else {
            cursorAtEnd_ = true;
            cache_->finish();
        }
    } catch (...) {
        releaseOpenState();
        throw;
    }
    for (TFbDataSetObserver* o : std::vector<TFbDataSetObserver*>(observers_))
        o->DataSetOpened(*this);
}

void TFbCustomDataSet::AbandonOpen() noexcept {
    if (!opening_) return;
    std::unique_ptr<Opening> o = std::move(opening_);
    if (o->startedTransaction) startedTransaction_ = true;
    try {
        if (!o->own && select_->IsOpen()) select_->Close();
    } catch (...) {
    }
    // A statement of its own is dropped with it.
    o.reset();
    try {
        AbandonOpening();
    } catch (...) {
    }
}

void TFbCustomDataSet::releaseOpenState() {
    if (active_ && countedTransaction_) {
        auto it = openDataSets().find(countedTransaction_);
        if (it != openDataSets().end() && --it->second <= 0) openDataSets().erase(it);
    }
    countedTransaction_ = nullptr;
    active_ = false;
    try {
        if (select_->IsOpen()) select_->Close();
    } catch (...) {
    }
    cache_.reset();
    fields_.clear();
    rowCount_ = 0;
    current_ = -1;
    setReadRow(current_);
    eof_ = bof_ = true;
    cursorAtEnd_ = true;
}

void TFbCustomDataSet::PrepareOpening() {
    TFbSQL& st = OpeningSQL();
    if (st.IsPrepared()) return;
    st.SetParamCheck(paramCheck_);
    st.Prepare();
}

void TFbCustomDataSet::buildFieldDefs() {
    defs_.clear();
    dbKeyColumn_ = -1;
    TFbXSQLDA& cols = select_->CurrentRow();
    for (int i = 0; i < cols.Count(); ++i) {
        TFbXSQLVAR& v = cols[i];
        if (v.Name() == "FB_INTERNAL_DBKEY") {
            dbKeyColumn_ = i;
            continue;
        }
        TFbFieldKind kind = v.FieldKind();
        if (kind.DataType == ftUnknown) continue;
        FieldDef d;
        d.name = v.AliasName();
        d.kind = kind;
        d.required = !v.IsNullable();
        d.column = i;
        d.sqlType = static_cast<short>(v.SQLType());
        d.scale = static_cast<short>(v.SQLScale());
        d.sqlLen = v.Size();
        d.relation = v.RelName();
        d.sqlName = v.SQLName();
        d.exact = v.ExactKind();
        // Texts carry their character set in the subtype, text blobs in the
        // scale.
        if (kind.DataType == ftString)
            d.charSet = v.SQLSubtype() & 0xFF;
        else if (kind.DataType == ftMemo)
            d.charSet = v.SQLScale() & 0xFF;
        defs_.push_back(std::move(d));
    }
    MarkComputedFields(defs_);
}

void TFbCustomDataSet::MarkComputedFields(std::vector<FieldDef>& defs) {
    std::vector<std::string> relations;
    for (const FieldDef& d : defs)
        if (!d.relation.empty() &&
            std::find(relations.begin(), relations.end(), d.relation) == relations.end())
            relations.push_back(d.relation);
    if (relations.empty() || !link_->Database() || !link_->Transaction()) return;
    for (const std::string& rel : relations) {
        const auto facts = link_->Database()->TableFacts(rel, *link_->Transaction());
        for (FieldDef& d : defs)
            if (d.relation == rel)
                for (const TFbColumnFacts& c : facts->Columns) {
                    if (!FbSameColumnName(c.Name, d.sqlName)) continue;
                    if (c.Computed) d.computed = true;
                    // A type the server sends as its exact text: the
                    // catalog tells what that text is.
                    if (d.kind.DataType == ftString && d.exact == TFbExactKind::None)
                        d.exact = FbExactKindOfCatalog(c.FieldType, c.CharSetId);
                }
    }
}

int TFbCustomDataSet::Dialect() const {
    return link_->Database() ? link_->Database()->SQLDialect() : 3;
}

void TFbCustomDataSet::makeFields() {
    fields_.clear();
    fields_.reserve(defs_.size());
    for (const FieldDef& d : defs_) {
        auto f = std::unique_ptr<TField>(new TField());
        f->dataSet_ = this;
        f->index_ = static_cast<int>(fields_.size());
        f->name_ = d.name;
        f->kind_ = d.kind;
        f->required_ = d.required;
        f->readOnly_ = d.computed;
        f->column_ = d.column;
        f->sqlType_ = d.sqlType;
        f->scale_ = d.scale;
        f->charSet_ = d.charSet;
        f->exact_ = d.exact;
        if (d.kind.DataType == ftString && d.sqlType == SQL_TEXT) {
            // The server pads a CHAR to its length in bytes; its declared
            // length is that divided by the bytes a character may take.
            f->fixedChar_ = true;
            f->padChar_ = d.charSet == csOctets ? '\0' : ' ';
            f->padChars_ = static_cast<std::uint32_t>(std::max(d.sqlLen, 0)) /
                           static_cast<std::uint32_t>(FbCharSetBytesPerChar(d.charSet));
        }
        fields_.push_back(std::move(f));
    }
}

void TFbCustomDataSet::buildLayout() {
    Cache& c = *cache_;
    c.keySize = 0;
    if (dbKeyColumn_ >= 0) {
        const XSQLVAR& k = select_->CurrentRow().AsXSQLDA()->sqlvar[dbKeyColumn_];
        c.keySize = std::clamp<std::size_t>(static_cast<std::size_t>(k.sqllen), 8, kMaxKeySize);
    }
    c.nullBytes = (fields_.size() + 7) / 8;
    std::size_t off = c.keySize + c.nullBytes;
    for (auto& f : fields_) {
        std::uint32_t size = 0;
        switch (f->sqlType_) {
        case SQL_TEXT:
        case SQL_VARYING: {
            const auto& d = defs_[static_cast<std::size_t>(f->index_)];
            f->offset_ = static_cast<std::uint32_t>(c.texts.size());
            c.texts.push_back({f->column_, f->index_, f->sqlType_ == SQL_VARYING, f->fixedChar_,
                               f->padChar_, static_cast<std::uint32_t>(std::max(d.sqlLen, 0))});
            continue;
        }
        case SQL_BOOLEAN:
            size = 1;
            break;
        case SQL_SHORT:
            size = 2;
            break;
        case SQL_LONG:
        case SQL_FLOAT:
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
            size = 4;
            break;
        default: // INT64, DOUBLE, D_FLOAT, TIMESTAMP, blob ids
            size = 8;
            break;
        }
        f->offset_ = static_cast<std::uint32_t>(off);
        c.fixed.push_back({f->column_, f->index_, f->offset_, size});
        off += size;
    }
    c.fixedSize = off;
    c.lengths.assign(c.texts.size(), 0);
    c.textOffsets.assign(c.texts.size(), 0);
}

void TFbCustomDataSet::storeRow() {
    Cache& c = *cache_;
    XSQLDA* da = select_->CurrentRow().AsXSQLDA();
    auto isNull = [](const XSQLVAR& v) { return (v.sqltype & 1) && v.sqlind && *v.sqlind == -1; };
    // The texts' lengths first: the record is made at its exact size.
    std::size_t size = c.fixedSize;
    for (std::size_t k = 0; k < c.texts.size(); ++k) {
        const Cache::Text& t = c.texts[k];
        const XSQLVAR& v = da->sqlvar[t.column];
        std::uint32_t len = kNullText;
        if (!isNull(v)) {
            if (t.varying) {
                len = std::min<std::uint32_t>(
                    load<std::uint16_t>(reinterpret_cast<const std::byte*>(v.sqldata)), t.declared);
            } else {
                len = t.declared;
                if (t.trim)
                    while (len > 0 && v.sqldata[len - 1] == t.pad)
                        --len;
            }
            size += len + (len < 255 ? 1 : 3);
        }
        c.lengths[k] = len;
    }
    std::byte* rec = c.allocate(rowCount_, size);
    std::memset(rec, 0, c.keySize + c.nullBytes);
    if (dbKeyColumn_ >= 0) {
        const XSQLVAR& k = da->sqlvar[dbKeyColumn_];
        std::memcpy(rec, k.sqldata, std::min<std::size_t>(c.keySize, std::size_t(k.sqllen)));
    }
    auto bits = reinterpret_cast<unsigned char*>(rec + c.keySize);
    auto setNull = [bits](int field) {
        bits[field >> 3] |= static_cast<unsigned char>(1u << (field & 7));
    };
    for (const Cache::Fixed& f : c.fixed) {
        const XSQLVAR& v = da->sqlvar[f.column];
        if (isNull(v)) {
            setNull(f.field);
            std::memset(rec + f.offset, 0, f.size);
        } else {
            // Sizes known at compile time copy in one move, not a call.
            switch (f.size) {
            case 1:
                rec[f.offset] = static_cast<std::byte>(v.sqldata[0]);
                break;
            case 2:
                std::memcpy(rec + f.offset, v.sqldata, 2);
                break;
            case 4:
                std::memcpy(rec + f.offset, v.sqldata, 4);
                break;
            default:
                std::memcpy(rec + f.offset, v.sqldata, 8);
                break;
            }
        }
    }
    std::byte* p = rec + c.fixedSize;
    for (std::size_t k = 0; k < c.texts.size(); ++k) {
        const std::uint32_t len = c.lengths[k];
        if (len == kNullText) {
            setNull(c.texts[k].field);
            continue;
        }
        if (len < 255) {
            *p++ = static_cast<std::byte>(len);
        } else {
            *p++ = std::byte{255};
            const auto l = static_cast<std::uint16_t>(len);
            std::memcpy(p, &l, 2);
            p += 2;
        }
        const XSQLVAR& v = da->sqlvar[c.texts[k].column];
        std::memcpy(p, v.sqldata + (c.texts[k].varying ? 2 : 0), len);
        p += len;
    }
    c.add(rowCount_, rec);
}

bool TFbCustomDataSet::fetchOne() {
    if (cursorAtEnd_) return false;
    if (!select_->IsOpen() || !select_->FetchNext()) {
        cursorAtEnd_ = true;
        cache_->finish();
        return false;
    }
    if (unidirectional_ && rowCount_ > 0) {
        // The previous row goes before this one is stored in its place.
        cache_->recycle();
        rowCount_ = 0;
        current_ = -1;
        setReadRow(current_);
    }
    storeRow();
    ++rowCount_;
    return true;
}

void TFbCustomDataSet::fetchAll() {
    while (fetchOne()) {
    }
}

void TFbCustomDataSet::setReadRow(int row) {
    readRow_ = row;
    readRecord_ = active_ && row >= 0 && row < rowCount_ ? cache_->record(row) : nullptr;
}

const std::string& TFbCustomDataSet::blobContent(const TField& f) const {
    static const std::string empty;
    const std::byte* p = f.data();
    if (!p) return empty;
    const std::uint64_t key = static_cast<std::uint64_t>(readRow_) * fields_.size() +
                              static_cast<std::uint64_t>(f.index_);
    auto it = cache_->blobs.find(key);
    if (it != cache_->blobs.end()) return it->second;
    auto id = load<ISC_QUAD>(p);
    std::string content;
    if (id.gds_quad_high != 0 || id.gds_quad_low != 0) {
        link_->EnsureActive();
        content = FbReadBlob(*link_, id);
    }
    return cache_->blobs.emplace(key, std::move(content)).first->second;
}

namespace {

/// Calls `f` for each observer of a snapshot of `observers`, so that an
/// observer may add or remove observers meanwhile. The usual few fit on the
/// stack: a walk past a grid allocates nothing per row.
template <typename F> void forEachObserver(const std::vector<TFbDataSetObserver*>& observers, F f) {
    constexpr std::size_t kFew = 8;
    if (observers.size() > kFew) {
        for (TFbDataSetObserver* o : std::vector<TFbDataSetObserver*>(observers))
            f(o);
        return;
    }
    TFbDataSetObserver* few[kFew];
    const std::size_t n = observers.size();
    std::copy(observers.begin(), observers.end(), few);
    for (std::size_t i = 0; i < n; ++i)
        f(few[i]);
}

} // namespace

void TFbCustomDataSet::notifyMoved() {
    if (disableCount_ > 0) return;
    forEachObserver(observers_, [this](TFbDataSetObserver* o) { o->RowMoved(*this); });
}

void TFbCustomDataSet::notifyFetched(int oldCount) {
    if (disableCount_ > 0 || oldCount == rowCount_) return;
    forEachObserver(observers_,
                    [&](TFbDataSetObserver* o) { o->RowsFetched(*this, oldCount, rowCount_); });
}

void TFbCustomDataSet::SetUnidirectional(bool value) {
    if (active_) throw EDatabaseError("Cannot perform this operation on an open dataset");
    unidirectional_ = value;
}

void TFbCustomDataSet::First() {
    if (!active_) return;
    const int old = rowCount_;
    if (rowCount_ == 0) fetchOne();
    current_ = rowCount_ > 0 ? 0 : -1;
    setReadRow(current_);
    bof_ = true;
    eof_ = rowCount_ == 0;
    notifyFetched(old);
    notifyMoved();
}

void TFbCustomDataSet::Next() {
    if (!active_) return;
    const int old = rowCount_;
    if (current_ + 1 < rowCount_ || fetchOne()) {
        current_ = current_ + 1;
        setReadRow(current_);
        bof_ = false;
        eof_ = false;
        notifyFetched(old);
        notifyMoved();
    } else {
        eof_ = true;
    }
}

void TFbCustomDataSet::Prior() {
    if (!active_) return;
    if (current_ > 0) {
        current_ = current_ - 1;
        setReadRow(current_);
        eof_ = false;
        bof_ = false;
        notifyMoved();
    } else {
        bof_ = true;
    }
}

void TFbCustomDataSet::Last() {
    if (!active_) return;
    const int old = rowCount_;
    if (!cursorAtEnd_) {
        TFbBusyScope busy; // a large table takes a while
        fetchAll();
    }
    current_ = rowCount_ - 1;
    setReadRow(current_);
    eof_ = true;
    bof_ = rowCount_ == 0;
    notifyFetched(old);
    notifyMoved();
}

void TFbCustomDataSet::SetRecNo(int recNo) {
    if (!active_) return;
    const int old = rowCount_;
    const int index = std::max(recNo, 1) - 1;
    while (rowCount_ <= index && fetchOne()) {
    }
    if (rowCount_ == 0) return;
    current_ = std::min(index, rowCount_ - 1);
    setReadRow(current_);
    eof_ = false;
    bof_ = false;
    notifyFetched(old);
    notifyMoved();
}

int TFbCustomDataSet::FetchMore(int count) {
    if (!active_) return 0;
    const int old = rowCount_;
    for (int i = 0; i < count && fetchOne(); ++i) {
    }
    notifyFetched(old);
    return rowCount_ - old;
}

int TFbCustomDataSet::PeekRow(int index) {
    // Never fetches: a model paints rows it already knows of, and a fetch
    // here would tell observers about new rows in the middle of painting.
    const int previous = readRow_;
    setReadRow(index);
    return previous;
}

TField* TFbCustomDataSet::FindField(std::string_view name) const {
    for (const auto& f : fields_)
        if (rtl::sameText(f->FieldName(), name)) return f.get();
    return nullptr;
}

TField& TFbCustomDataSet::FieldByName(std::string_view name) const {
    TField* f = FindField(name);
    if (!f) RaiseClientError(46, {std::string(name)});
    return *f;
}

void TFbCustomDataSet::AddObserver(TFbDataSetObserver* observer) {
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void TFbCustomDataSet::RemoveObserver(TFbDataSetObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void TFbCustomDataSet::DisableControls() {
    if (disableCount_++ == 0)
        for (TFbDataSetObserver* o : std::vector<TFbDataSetObserver*>(observers_))
            o->ControlsDisabled(*this);
}

void TFbCustomDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ == 0)
        for (TFbDataSetObserver* o : std::vector<TFbDataSetObserver*>(observers_))
            o->ControlsEnabled(*this);
}

TFbBusyScope::TFbBusyScope() {
    if (busyDepth()++ == 0 && busyHook()) busyHook()(true);
}

TFbBusyScope::~TFbBusyScope() {
    if (--busyDepth() == 0 && busyHook()) {
        try {
            busyHook()(false);
        } catch (...) {
            // A cursor that cannot be restored is no reason to fail the work.
        }
    }
}

void TFbCustomDataSet::SetBusyHook(TFbBusyHook hook) {
    busyHook() = std::move(hook);
}

std::string TFbCustomDataSet::RowKey(int index) const {
    if (!active_ || index < 0 || index >= rowCount_) return {};
    return std::string(reinterpret_cast<const char*>(cache_->record(index)), cache_->keySize);
}

std::size_t TFbCustomDataSet::CacheBytes() const {
    if (!cache_) return 0;
    std::size_t bytes = cache_->pages.size() * cache_->pageRows * sizeof(std::uint32_t);
    for (const auto& b : cache_->blocks)
        bytes += b.block->size();
    return bytes;
}

std::string TFbCustomDataSet::CurrentRowKey() const {
    return RowKey(current_);
}

void TFbCustomDataSet::Close(bool keepTransaction) {
    if (!active_) return;
    for (TFbDataSetObserver* o : std::vector<TFbDataSetObserver*>(observers_))
        o->DataSetClosing(*this);
    TFbTransaction* tr = countedTransaction_;
    releaseOpenState();
    AfterCloseCleanup();
    // A transaction this dataset started ends with it, unless another open
    // dataset still reads through it.
    std::exception_ptr error;
    if (!keepTransaction && startedTransaction_ && tr && openDataSets().count(tr) == 0) {
        startedTransaction_ = false;
        try {
            Unprepare();
            if (tr->Active()) tr->EndOnClientRequest();
        } catch (...) {
            error = std::current_exception();
        }
    }
    for (TFbDataSetObserver* o : std::vector<TFbDataSetObserver*>(observers_))
        o->DataSetClosed(*this);
    if (error) std::rethrow_exception(error);
}

void TFbCustomDataSet::OnTransactionEnding() {
    // The transaction ends under the dataset: close and release, so the
    // next open prepares again in the new transaction.
    startedTransaction_ = false;
    Close();
    Unprepare();
    ReleaseCompanions();
}

void TFbCustomDataSet::OnDatabaseDisconnecting() {
    startedTransaction_ = false;
    Close();
    Unprepare();
    ReleaseCompanions();
}
