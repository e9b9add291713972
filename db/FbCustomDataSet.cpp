#include "db/FbCustomDataSet.h"

#include "db/FbDataSetCatalog.h"
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
// Days between 17 November 1858 (the engine's day 0) and 30 December 1899.
constexpr int kEngineDayOffset = 15018;
constexpr int kTimeUnitsPerSecond = 10000; // ISC_TIME counts 1/10000 s

std::int64_t pow10i(int n) {
    std::int64_t r = 1;
    while (n-- > 0)
        r *= 10;
    return r;
}

std::int64_t readScaledInt(int sqlType, const char* p) {
    switch (sqlType) {
    case SQL_SHORT: {
        std::int16_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    case SQL_LONG: {
        std::int32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    default: {
        std::int64_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    }
}

/// The double of a scaled integer, rounded to its decimals.
double scaledToDouble(std::int64_t v, int scale) {
    if (scale == 0) return static_cast<double>(v);
    double d = static_cast<double>(v) / static_cast<double>(pow10i(-scale));
    // With at most 15 digits the quotient already is the nearest double to
    // the exact decimal, which the 15-digit text would give back unchanged.
    // Longer values lose their last digits through that text, as the
    // statement's readers do.
    constexpr std::int64_t kFifteenDigits = 1000000000000000;
    if (v > -kFifteenDigits && v < kFifteenDigits) return d;
    char buf[80];
    char tmp[40];
    std::snprintf(tmp, sizeof tmp, "%.15g", d);
    double r = std::strtod(tmp, nullptr);
    std::snprintf(buf, sizeof buf, "%.*f", -scale, r);
    return std::strtod(buf, nullptr);
}

double engineDate(ISC_DATE d) {
    return static_cast<double>(static_cast<int>(d) - kEngineDayOffset);
}

double engineTime(ISC_TIME t) {
    // Fractions of a second are dropped: only whole seconds are kept.
    return static_cast<double>(t / kTimeUnitsPerSecond) / 86400.0;
}

[[noreturn]] void conversionError() {
    RaiseClientError(38);
}

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
// Record cache: chunks of BufferChunks records, each one contiguous block.

struct TFbCustomDataSet::Cache {
    std::size_t recordSize = 0;
    std::size_t chunkRows = 1000;
    std::vector<std::unique_ptr<std::byte[]>> chunks;
    // Blob contents read so far, by row and field.
    std::unordered_map<std::uint64_t, std::string> blobs;

    std::byte* record(int row) const {
        auto r = static_cast<std::size_t>(row);
        return chunks[r / chunkRows].get() + (r % chunkRows) * recordSize;
    }
    std::byte* slotFor(int row) {
        auto r = static_cast<std::size_t>(row);
        while (r / chunkRows >= chunks.size())
            chunks.emplace_back(new std::byte[chunkRows * recordSize]);
        return record(row);
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

std::string DefaultDisplayFormat(TFieldType kind, std::string_view fieldName) {
    switch (kind) {
    case ftDate:
        return "dd/mm/yyyy";
    case ftTime:
        return "hh:nn:ss";
    case ftFloat:
    case ftCurrency:
    case ftBCD:
        return rtl::containsText(fieldName, "QTD") ? "###,###,###,##0.####" : "###,###,###,##0.00";
    default:
        return {};
    }
}

// ---------------------------------------------------------------------------
// TField

const std::byte* TField::data() const {
    const std::byte* rec = dataSet_->readRecord_;
    if (!rec) return nullptr;
    auto bits = reinterpret_cast<const unsigned char*>(rec + dataSet_->keySize_);
    if (bits[index_ >> 3] & (1u << (index_ & 7))) return nullptr;
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

const rtl::DateTimeFormat& TField::valueDateFormat() const {
    const std::uint64_t generation = rtl::formatSettingsGeneration();
    if (valueDateGeneration_ != generation) {
        const rtl::FormatSettings& fs = rtl::formatSettings();
        std::string_view pattern = kind_.DataType == ftDate   ? std::string_view(fs.shortDateFormat)
                                   : kind_.DataType == ftTime ? std::string_view(fs.longTimeFormat)
                                                              : std::string_view("c");
        valueDate_ = rtl::DateTimeFormat(pattern, fs);
        valueDateGeneration_ = generation;
    }
    return valueDate_;
}

const rtl::DateTimeFormat& TField::displayDateFormat() const {
    const std::uint64_t generation = rtl::formatSettingsGeneration();
    if (displayDateGeneration_ != generation) {
        displayDate_ = rtl::DateTimeFormat(displayFormat_, rtl::formatSettings());
        displayDateGeneration_ = generation;
    }
    return displayDate_;
}

void TField::AppendAsString(std::string& out) const {
    const std::byte* p = data();
    if (!p) return;
    switch (kind_.DataType) {
    case ftString: {
        auto len = load<std::uint16_t>(p);
        out.append(reinterpret_cast<const char*>(p + 2), len);
        break;
    }
    case ftSmallint:
    case ftInteger:
        rtl::appendIntToStr(out, load<std::int32_t>(p));
        break;
    case ftLargeint:
        rtl::appendIntToStr(out, load<std::int64_t>(p));
        break;
    case ftBoolean:
        out += BooleanText(load<std::int32_t>(p) != 0);
        break;
    case ftFloat:
        // A float's text follows its display format too; BCD text never does.
        if (displayFormat_.empty())
            rtl::appendFloatToStr(out, load<double>(p));
        else
            displayNumber_.append(out, load<double>(p));
        break;
    case ftBCD:
        rtl::appendCurrToStr(out, rtl::Currency::fromRaw(load<std::int64_t>(p)));
        break;
    case ftDate:
    case ftTime:
    case ftDateTime:
        valueDateFormat().append(out, load<double>(p));
        break;
    case ftBlob:
    case ftMemo:
        out += dataSet_->blobContent(*this);
        break;
    default:
        break;
    }
}

std::string TField::AsString() const {
    std::string s;
    AppendAsString(s);
    return s;
}

void TField::AppendDisplayText(std::string& out) const {
    switch (kind_.DataType) {
    case ftBlob:
    case ftMemo: {
        const bool null = IsNull();
        const char* text =
            kind_.DataType == ftMemo ? (null ? "(Memo)" : "(MEMO)") : (null ? "(Blob)" : "(BLOB)");
        out += text;
        return;
    }
    default:
        break;
    }
    const std::byte* p = data();
    if (!p) return;
    if (displayFormat_.empty()) {
        AppendAsString(out);
        return;
    }
    switch (kind_.DataType) {
    case ftSmallint:
    case ftInteger:
        displayNumber_.append(out, static_cast<double>(load<std::int32_t>(p)));
        break;
    case ftLargeint:
        displayNumber_.append(out, static_cast<double>(load<std::int64_t>(p)));
        break;
    case ftFloat:
        displayNumber_.append(out, load<double>(p));
        break;
    case ftBCD:
        displayNumber_.append(out, rtl::Currency::fromRaw(load<std::int64_t>(p)));
        break;
    case ftDate:
    case ftTime:
    case ftDateTime:
        displayDateFormat().append(out, load<double>(p));
        break;
    default:
        AppendAsString(out);
        break;
    }
}

std::string TField::DisplayText() const {
    std::string s;
    AppendDisplayText(s);
    return s;
}

std::int64_t TField::AsLargeInt() const {
    const std::byte* p = data();
    if (!p) return 0;
    switch (kind_.DataType) {
    case ftSmallint:
    case ftInteger:
    case ftBoolean:
        return load<std::int32_t>(p);
    case ftLargeint:
        return load<std::int64_t>(p);
    case ftFloat:
        return static_cast<std::int64_t>(load<double>(p));
    case ftBCD:
        return rtl::Currency::fromRaw(load<std::int64_t>(p)).units();
    case ftString:
        return rtl::strToInt64(AsString());
    default:
        conversionError();
    }
}

std::int32_t TField::AsInteger() const {
    const std::byte* p = data();
    if (!p) return 0;
    switch (kind_.DataType) {
    case ftString:
        return rtl::strToInt(AsString());
    default:
        return static_cast<std::int32_t>(AsLargeInt());
    }
}

double TField::AsFloat() const {
    const std::byte* p = data();
    if (!p) return 0;
    switch (kind_.DataType) {
    case ftSmallint:
    case ftInteger:
    case ftBoolean:
        return load<std::int32_t>(p);
    case ftLargeint:
        return static_cast<double>(load<std::int64_t>(p));
    case ftFloat:
    case ftDate:
    case ftTime:
    case ftDateTime:
        return load<double>(p);
    case ftBCD:
        return rtl::Currency::fromRaw(load<std::int64_t>(p)).toDouble();
    case ftString:
        return rtl::strToFloat(AsString());
    default:
        conversionError();
    }
}

rtl::Currency TField::AsCurrency() const {
    const std::byte* p = data();
    if (!p) return {};
    switch (kind_.DataType) {
    case ftSmallint:
    case ftInteger:
        return rtl::Currency::fromUnits(load<std::int32_t>(p));
    case ftLargeint: {
        rtl::Currency c;
        if (!rtl::Currency::tryFromScaled(load<std::int64_t>(p), 0, c)) conversionError();
        return c;
    }
    case ftFloat:
        return rtl::Currency::fromDouble(load<double>(p));
    case ftBCD:
        return rtl::Currency::fromRaw(load<std::int64_t>(p));
    case ftString:
        return rtl::strToCurr(AsString());
    default:
        conversionError();
    }
}

rtl::TDateTime TField::AsDateTime() const {
    const std::byte* p = data();
    if (!p) return 0;
    switch (kind_.DataType) {
    case ftDate:
    case ftTime:
    case ftDateTime:
        return load<double>(p);
    case ftString:
        return rtl::strToDateTime(AsString());
    default:
        conversionError();
    }
}

bool TField::AsBoolean() const {
    const std::byte* p = data();
    if (!p) return false;
    switch (kind_.DataType) {
    case ftSmallint:
    case ftInteger:
    case ftLargeint:
    case ftBoolean:
        return AsLargeInt() != 0;
    case ftFloat:
        return load<double>(p) != 0;
    case ftBCD:
        return load<std::int64_t>(p) != 0;
    case ftString: {
        // Only a leading T or Y counts as true; any other text is false.
        const std::byte* len = p;
        if (load<std::uint16_t>(len) == 0) return false;
        const char c = static_cast<char>(p[2]);
        return c == 'T' || c == 't' || c == 'Y' || c == 'y';
    }
    default:
        conversionError();
    }
}

TFbBlobStream TField::BlobStream() const {
    if (!IsBlob()) conversionError();
    if (IsNull()) return TFbBlobStream();
    return TFbBlobStream(&dataSet_->blobContent(*this));
}

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

void TFbCustomDataSet::Open() {
    if (active_) return;
    CheckOpenable();
    TFbBusyScope busy;
    if (!link_->Database()) RaiseClientError(24);
    if (!link_->Transaction()) RaiseClientError(25);
    if (!link_->Database()->Connected()) link_->Database()->Open();
    if (!link_->Transaction()->Active()) {
        link_->Transaction()->StartTransaction();
        startedTransaction_ = true;
    }
    // The SELECT follows the dataset's binding, which may have been set
    // before a default transaction existed.
    if (select_->Database() != link_->Database()) select_->SetDatabase(link_->Database());
    if (select_->Transaction() != link_->Transaction())
        select_->SetTransaction(link_->Transaction());

    BeforePrepare();
    if (!prepared_) prepare();

    try {
        makeFields();
        current_ = -1;
        setReadRow(current_);
        rowCount_ = 0;
        cursorAtEnd_ = false;
        select_->ExecQuery();
        if (!select_->IsOpen()) cursorAtEnd_ = true; // not a SELECT: executed once, no rows
        buildLayout();
        cache_ = std::make_unique<Cache>();
        cache_->recordSize = recordSize_;
        cache_->chunkRows = static_cast<std::size_t>(bufferChunks_);
        active_ = true;
        ++openDataSets()[link_->Transaction()];
        countedTransaction_ = link_->Transaction();
        eof_ = bof_ = true;
        if (fetchOne()) {
            current_ = 0;
            setReadRow(current_);
            eof_ = false;
        }
    } catch (...) {
        releaseOpenState();
        throw;
    }
    for (TFbDataSetObserver* o : std::vector<TFbDataSetObserver*>(observers_))
        o->DataSetOpened(*this);
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

void TFbCustomDataSet::prepare() {
    TFbBusyScope busy;
    select_->SetParamCheck(paramCheck_);
    select_->Prepare();
    PrepareCompanions();
    prepared_ = true;
    buildFieldDefs();
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
    if (relations.empty() || !link_->Database()) return;
    TFbInternalTransactionScope scope(*link_->Database());
    auto st = scope.Statement("Select F.RDB$COMPUTED_BLR, F.RDB$DEFAULT_VALUE, R.RDB$FIELD_NAME "
                              "from RDB$RELATION_FIELDS R, RDB$FIELDS F "
                              "where R.RDB$RELATION_NAME = :RELATION and "
                              "R.RDB$FIELD_SOURCE = F.RDB$FIELD_NAME and "
                              "((not F.RDB$COMPUTED_BLR is NULL) or "
                              "     (not F.RDB$DEFAULT_VALUE is NULL)) ");
    for (const std::string& rel : relations) {
        st->ParamNamed("RELATION").SetAsString(rel);
        st->ExecQuery();
        while (TFbXSQLDA* row = st->FetchNext()) {
            if ((*row)[0].IsNull()) continue; // a default value only
            const std::string name = FbTrimRight((*row)[2].AsString());
            for (FieldDef& d : defs)
                if (d.relation == rel && d.sqlName == name) d.computed = true;
        }
        st->Close();
    }
    st.reset();
    scope.Commit();
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
        fields_.push_back(std::move(f));
    }
}

void TFbCustomDataSet::buildLayout() {
    // Key, null bits, then 8-byte values, 4-byte values and strings (a
    // 2-byte length and the declared bytes), so every value is aligned.
    const std::size_t nulls = (fields_.size() + 7) / 8;
    keySize_ = 8;
    if (dbKeyColumn_ >= 0) {
        const XSQLVAR& k = select_->CurrentRow().AsXSQLDA()->sqlvar[dbKeyColumn_];
        keySize_ = std::clamp<std::size_t>(static_cast<std::size_t>(k.sqllen), 8, kMaxKeySize);
    }
    std::size_t off = (keySize_ + nulls + 7) & ~std::size_t(7);
    auto place = [&](int pass) {
        for (auto& f : fields_) {
            std::size_t len = 0;
            switch (f->kind_.DataType) {
            case ftSmallint:
            case ftInteger:
            case ftBoolean:
                len = 4;
                break;
            case ftString:
                len = 0;
                break;
            default:
                len = 8;
                break;
            }
            const bool isString = f->kind_.DataType == ftString;
            if ((pass == 0 && len == 8) || (pass == 1 && len == 4)) {
                f->offset_ = static_cast<std::uint32_t>(off);
                f->length_ = static_cast<std::uint32_t>(len);
                off += len;
            } else if (pass == 2 && isString) {
                off = (off + 1) & ~std::size_t(1);
                const auto& d = defs_[static_cast<std::size_t>(f->index_)];
                f->offset_ = static_cast<std::uint32_t>(off);
                f->length_ = static_cast<std::uint32_t>(d.sqlLen);
                off += 2 + static_cast<std::size_t>(d.sqlLen);
            }
        }
    };
    place(0);
    place(1);
    place(2);
    recordSize_ = (off + 7) & ~std::size_t(7);
    if (recordSize_ == 0) recordSize_ = 8;
}

void TFbCustomDataSet::convertRow(int slot) {
    std::byte* rec = cache_->slotFor(slot);
    TFbXSQLDA& cols = select_->CurrentRow();
    XSQLDA* da = cols.AsXSQLDA();
    std::memset(rec, 0, keySize_ + (fields_.size() + 7) / 8);
    if (dbKeyColumn_ >= 0) {
        const XSQLVAR& k = da->sqlvar[dbKeyColumn_];
        std::memcpy(rec, k.sqldata, std::min<std::size_t>(keySize_, std::size_t(k.sqllen)));
    }
    auto bits = reinterpret_cast<unsigned char*>(rec + keySize_);
    for (const auto& fp : fields_) {
        const TField& f = *fp;
        const XSQLVAR& v = da->sqlvar[f.column_];
        std::byte* dst = rec + f.offset_;
        if ((v.sqltype & 1) && v.sqlind && *v.sqlind == -1) {
            bits[f.index_ >> 3] |= static_cast<unsigned char>(1u << (f.index_ & 7));
            continue;
        }
        const char* src = v.sqldata;
        switch (f.kind_.DataType) {
        case ftString: {
            std::uint16_t len;
            if (f.sqlType_ == SQL_VARYING) {
                std::uint16_t l;
                std::memcpy(&l, src, 2);
                len = std::min<std::uint16_t>(l, static_cast<std::uint16_t>(f.length_));
                src += 2;
            } else {
                len = static_cast<std::uint16_t>(f.length_);
            }
            std::memcpy(dst, &len, 2);
            std::memcpy(dst + 2, src, len);
            break;
        }
        case ftSmallint:
        case ftInteger: {
            auto x = static_cast<std::int32_t>(readScaledInt(f.sqlType_, src));
            std::memcpy(dst, &x, 4);
            break;
        }
        case ftLargeint: {
            std::int64_t x = readScaledInt(f.sqlType_, src);
            std::memcpy(dst, &x, 8);
            break;
        }
        case ftBoolean: {
            std::int32_t x = *reinterpret_cast<const unsigned char*>(src) != 0 ? 1 : 0;
            std::memcpy(dst, &x, 4);
            break;
        }
        case ftFloat: {
            double x;
            if (f.sqlType_ == SQL_FLOAT) {
                float fl;
                std::memcpy(&fl, src, 4);
                x = fl;
            } else if (f.sqlType_ == SQL_DOUBLE || f.sqlType_ == SQL_D_FLOAT) {
                std::memcpy(&x, src, 8);
            } else {
                x = scaledToDouble(readScaledInt(f.sqlType_, src), f.scale_);
            }
            std::memcpy(dst, &x, 8);
            break;
        }
        case ftBCD: {
            rtl::Currency c;
            if (!rtl::Currency::tryFromScaled(readScaledInt(f.sqlType_, src), -f.scale_, c))
                conversionError();
            std::int64_t raw = c.raw();
            std::memcpy(dst, &raw, 8);
            break;
        }
        case ftDate:
        case ftTime:
        case ftDateTime: {
            double x = 0;
            if (f.sqlType_ == SQL_TYPE_DATE) {
                x = engineDate(load<ISC_DATE>(reinterpret_cast<const std::byte*>(src)));
            } else if (f.sqlType_ == SQL_TYPE_TIME) {
                x = engineTime(load<ISC_TIME>(reinterpret_cast<const std::byte*>(src)));
            } else {
                auto ts = load<ISC_TIMESTAMP>(reinterpret_cast<const std::byte*>(src));
                x = rtl::combineDateTime(engineDate(ts.timestamp_date),
                                         engineTime(ts.timestamp_time));
            }
            std::memcpy(dst, &x, 8);
            break;
        }
        case ftBlob:
        case ftMemo:
            std::memcpy(dst, src, 8);
            break;
        default:
            break;
        }
    }
}

bool TFbCustomDataSet::fetchOne() {
    if (cursorAtEnd_) return false;
    if (!select_->IsOpen() || !select_->FetchNext()) {
        cursorAtEnd_ = true;
        return false;
    }
    convertRow(rowCount_);
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

void TFbCustomDataSet::notifyMoved() {
    if (disableCount_ > 0) return;
    for (TFbDataSetObserver* o : std::vector<TFbDataSetObserver*>(observers_))
        o->RowMoved(*this);
}

void TFbCustomDataSet::notifyFetched(int oldCount) {
    if (disableCount_ > 0 || oldCount == rowCount_) return;
    for (TFbDataSetObserver* o : std::vector<TFbDataSetObserver*>(observers_))
        o->RowsFetched(*this, oldCount, rowCount_);
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
    fetchAll();
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
    return std::string(reinterpret_cast<const char*>(cache_->record(index)), keySize_);
}

std::string TFbCustomDataSet::CurrentRowKey() const {
    return RowKey(current_);
}

void TFbCustomDataSet::Close() {
    if (!active_) return;
    for (TFbDataSetObserver* o : std::vector<TFbDataSetObserver*>(observers_))
        o->DataSetClosing(*this);
    TFbTransaction* tr = countedTransaction_;
    releaseOpenState();
    AfterCloseCleanup();
    // A transaction this dataset started ends with it, unless another open
    // dataset still reads through it.
    std::exception_ptr error;
    if (startedTransaction_ && tr && openDataSets().count(tr) == 0) {
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
