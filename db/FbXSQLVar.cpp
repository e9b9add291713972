#include "db/FbSQL.h"

#include "rtl/charset.h"

#include "db/FbDecoder.h"
#include "db/FbUtils.h"
#include "db/FbValues.h"
#include "rtl/errors.h"
#include "rtl/format.h"
#include "rtl/parse.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <limits>

// A statement entry's readers and writers: every conversion between the
// column's SQL type and texts, numbers and date-times.

namespace {

[[noreturn]] void conversionError() {
    RaiseClientError(38);
}

std::tm toTm(rtl::TDateTime value) {
    if (!rtl::isValidDateTime(value)) conversionError();
    rtl::DateParts d;
    rtl::TimeParts t;
    rtl::decodeDateTime(value, d, t);
    std::tm tm{};
    tm.tm_year = d.year - 1900;
    tm.tm_mon = d.month - 1;
    tm.tm_mday = d.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    return tm;
}

template <class T> T readAs(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool isDbKeyName(const std::string& n) {
    return n == "DB_KEY" || n == "RDB$DB_KEY";
}

} // namespace

// ---------------------------------------------------------------- TFbXSQLVAR

TFbSQL* TFbXSQLVAR::Statement() const {
    return owner_->statement_;
}

int TFbXSQLVAR::dialect() const {
    return owner_->statement_ ? owner_->statement_->Dialect() : 3;
}

TFbFieldKind TFbXSQLVAR::FieldKind() const {
    return FieldKindOfColumn(var_->sqltype, var_->sqlscale, var_->sqlsubtype, var_->sqllen);
}

std::int64_t TFbXSQLVAR::scaledInt() const {
    return FbScaledInt(SQLType(), var_->sqldata);
}

std::string TFbXSQLVAR::AsString() const {
    if (IsNull()) return {};
    switch (SQLType()) {
    case SQL_TEXT:
        return FbTrimRight(std::string_view(var_->sqldata, textLength()));
    case SQL_VARYING: {
        const auto len = readAs<std::uint16_t>(var_->sqldata);
        return std::string(var_->sqldata + 2, std::min<size_t>(len, textLength()));
    }
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64: {
        std::string text;
        FbAppendNumberText(text, SQLType(), var_->sqlscale, var_->sqldata);
        return text;
    }
    case SQL_TIMESTAMP:
        return rtl::dateTimeToStr(AsDateTime());
    case SQL_TYPE_TIME:
        return rtl::timeToStr(AsDateTime());
    case SQL_TYPE_DATE:
        return dialect() == 1 ? rtl::dateTimeToStr(AsDateTime()) : rtl::dateToStr(AsDateTime());
    case SQL_BLOB:
        if (!owner_->statement_) conversionError();
        return FbReadBlob(*owner_->statement_, AsQuad());
    case SQL_ARRAY:
        return "(Array)";
    case SQL_BOOLEAN:
        return BooleanText(AsBoolean());
    default:
        conversionError();
    }
}

bool TFbXSQLVAR::AsBoolean() const {
    if (IsNull()) return false;
    switch (SQLType()) {
    case SQL_BOOLEAN:
        return readAs<FB_BOOLEAN>(var_->sqldata) != 0;
    case SQL_TEXT:
    case SQL_VARYING: {
        bool v = false;
        if (!TryTextToBoolean(AsString(), v)) conversionError();
        return v;
    }
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        return scaledInt() != 0;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return AsDouble() != 0;
    default:
        conversionError();
    }
}

std::int32_t TFbXSQLVAR::AsLong() const {
    if (IsNull()) return 0;
    std::int32_t v = 0;
    switch (SQLType()) {
    case SQL_TEXT:
    case SQL_VARYING:
        if (!FbTextToInt32(AsString(), v)) conversionError();
        return v;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        if (!FbDoubleToInt32(AsDouble(), v)) conversionError();
        return v;
    case SQL_BOOLEAN:
        return AsBoolean() ? 1 : 0;
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        if (!FbInt64ToInt32(AsInt64(), v)) conversionError();
        return v;
    default:
        conversionError();
    }
}

std::int64_t TFbXSQLVAR::AsInt64() const {
    if (IsNull()) return 0;
    switch (SQLType()) {
    case SQL_TEXT:
    case SQL_VARYING: {
        std::int64_t v;
        if (!FbTextToInt64(AsString(), v)) conversionError();
        return v;
    }
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT: {
        std::int64_t v;
        if (!FbDoubleToInt64(AsDouble(), v)) conversionError();
        return v;
    }
    case SQL_BOOLEAN:
        return AsBoolean() ? 1 : 0;
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        return FbScaledToInt64(scaledInt(), var_->sqlscale);
    default:
        conversionError();
    }
}

double TFbXSQLVAR::AsDouble() const {
    if (IsNull()) return 0;
    switch (SQLType()) {
    case SQL_TEXT:
    case SQL_VARYING: {
        double v;
        if (!FbTextToDouble(AsString(), v)) conversionError();
        return v;
    }
    case SQL_BOOLEAN:
        return AsBoolean() ? 1 : 0;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        return FbNumberToDouble(SQLType(), var_->sqlscale, var_->sqldata);
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TIMESTAMP:
        return AsDateTime();
    default:
        conversionError();
    }
}

rtl::Currency TFbXSQLVAR::AsCurrency() const {
    if (IsNull()) return {};
    rtl::Currency c;
    switch (SQLType()) {
    case SQL_TEXT:
    case SQL_VARYING:
        if (!FbTextToCurrency(AsString(), c)) conversionError();
        return c;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        if (!rtl::Currency::tryFromDouble(AsDouble(), c)) conversionError();
        return c;
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        if (!FbScaledToCurrency(scaledInt(), var_->sqlscale, c)) conversionError();
        return c;
    default:
        conversionError();
    }
}

rtl::TDateTime TFbXSQLVAR::AsDateTime() const {
    if (IsNull()) return 0;
    switch (SQLType()) {
    case SQL_TEXT:
    case SQL_VARYING: {
        rtl::TDateTime d;
        if (!FbTextToDateTime(AsString(), d)) conversionError();
        return d;
    }
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIME:
    case SQL_TYPE_DATE:
        return FbDateTimeOf(SQLType(), var_->sqldata);
    default:
        conversionError();
    }
}

ISC_QUAD TFbXSQLVAR::AsQuad() const {
    if (IsNull()) return {};
    switch (SQLType()) {
    case SQL_BLOB:
    case SQL_ARRAY:
    case SQL_QUAD:
        return readAs<ISC_QUAD>(var_->sqldata);
    default:
        conversionError();
    }
}

std::vector<TFbXSQLVAR*> TFbXSQLVAR::targets() {
    std::vector<TFbXSQLVAR*> r;
    if (name_.empty()) {
        r.push_back(this);
        return r;
    }
    for (int i = 0; i < owner_->count_; ++i)
        if (owner_->vars_[i]->name_ == name_) r.push_back(owner_->vars_[i].get());
    if (r.empty()) r.push_back(this);
    return r;
}

void TFbXSQLVAR::setStorage(short type, short scale, short len) {
    var_->sqltype = static_cast<short>(type | (var_->sqltype & 1));
    var_->sqlscale = scale;
    var_->sqllen = len;
    data_.assign(static_cast<size_t>(len > 0 ? len : 1), 0);
    var_->sqldata = data_.data();
    if (var_->sqltype & 1) {
        indicator_ = 0;
        var_->sqlind = &indicator_;
    }
    modified_ = true;
}

void TFbXSQLVAR::store(short type, short scale, const void* bytes, short len) {
    setStorage(type, scale, len);
    std::memcpy(data_.data(), bytes, static_cast<size_t>(len));
}

void TFbXSQLVAR::writeText(std::string_view value) {
    if (value.size() > static_cast<size_t>(std::numeric_limits<short>::max())) conversionError();
    store(SQL_TEXT, 0, value.data(), static_cast<short>(value.size()));
    var_->sqlsubtype = describedSubtype_;
}

void TFbXSQLVAR::SetAsUtf8String(std::string_view utf8) {
    int set = rtl::cs::None;
    switch (describedType_) {
    case SQL_TEXT:
    case SQL_VARYING:
        if (describedSubtype_ != rtl::cs::None && describedSubtype_ != rtl::cs::Octets &&
            !isDbKeyName(SQLName()) && !utf8.empty()) {
            // Input text says its own set in the subtype: the server converts
            // from UTF8 to the column's set, or refuses in its own words.
            for (TFbXSQLVAR* t : targets()) {
                t->writeText(utf8);
                t->var_->sqlsubtype = rtl::cs::Utf8;
            }
            return;
        }
        set = describedSubtype_;
        break;
    case SQL_BLOB:
        if (describedSubtype_ == isc_blob_text) set = var_->sqlscale;
        break;
    default: {
        // The program's own readers (booleans, dates) read Latin-1; what
        // they cannot read goes on for the server to refuse as it refuses.
        std::string bytes;
        SetAsString(rtl::fromUtf8(utf8, rtl::cs::Iso8859_1, bytes) ? std::string_view(bytes)
                                                                   : utf8);
        return;
    }
    }
    std::string bytes;
    if (!rtl::fromUtf8(utf8, set, bytes))
        throw EFbFirebirdError("Dynamic SQL Error\nSQL error code = -303\n"
                               "arithmetic exception, numeric overflow, or string truncation\n"
                               "Cannot transliterate character between character sets",
                               isc_transliteration_failed, -303);
    SetAsString(bytes);
}

void TFbXSQLVAR::writeTimestamp(rtl::TDateTime value) {
    std::tm tm = toTm(value);
    ISC_TIMESTAMP ts{};
    FbApi().isc_encode_date(&tm, reinterpret_cast<ISC_QUAD*>(&ts));
    store(SQL_TIMESTAMP, 0, &ts, sizeof ts);
}

void TFbXSQLVAR::writeBoolean(bool value) {
    const FB_BOOLEAN b = value ? FB_TRUE : FB_FALSE;
    store(SQL_BOOLEAN, 0, &b, sizeof b);
}

bool TFbXSQLVAR::writeIfBoolean(std::int64_t value) {
    if (describedType_ != SQL_BOOLEAN) return false;
    // The server converts no number to a boolean; 0 and 1 are the only
    // numbers that mean one.
    if (value != 0 && value != 1) conversionError();
    writeBoolean(value == 1);
    return true;
}

void TFbXSQLVAR::markNull() {
    if (!(var_->sqltype & 1)) var_->sqltype = static_cast<short>(var_->sqltype | 1);
    indicator_ = -1;
    var_->sqlind = &indicator_;
    modified_ = true;
}

void TFbXSQLVAR::SetAsString(std::string_view value) {
    bool haveBlob = false;
    ISC_QUAD blobId{};
    bool haveDate = false;
    rtl::TDateTime date = 0;
    for (TFbXSQLVAR* t : targets()) {
        switch (t->describedType_) {
        case SQL_TEXT:
        case SQL_VARYING:
            if (isDbKeyName(t->SQLName())) {
                // A row key is bytes of a fixed length, not text for the
                // server to convert.
                const size_t len = t->textLength();
                t->setStorage(t->describedType_, t->var_->sqlscale, t->var_->sqllen);
                const size_t n = std::min(value.size(), len);
                char* bytes = t->data_.data();
                if (t->describedType_ == SQL_VARYING) {
                    // The length word comes first.
                    t->data_.assign(len + 2, 0);
                    t->var_->sqldata = bytes = t->data_.data();
                    const auto n16 = static_cast<std::uint16_t>(n);
                    std::memcpy(bytes, &n16, sizeof n16);
                    bytes += sizeof n16;
                }
                std::memcpy(bytes, value.data(), n);
            } else {
                t->writeText(value);
            }
            break;
        case SQL_BLOB:
            if (!haveBlob) {
                if (!owner_->statement_) conversionError();
                blobId = FbWriteBlob(*owner_->statement_, value);
                haveBlob = true;
            }
            t->store(SQL_BLOB, t->var_->sqlscale, &blobId, sizeof blobId);
            break;
        case SQL_BOOLEAN: {
            bool b = false;
            if (value.empty())
                t->markNull();
            else if (TryTextToBoolean(value, b))
                t->writeBoolean(b);
            else
                t->writeText(value); // the server refuses it with its own message
            break;
        }
        default:
            if (value.empty()) {
                t->markNull();
            } else if (t->describedType_ == SQL_TIMESTAMP || t->describedType_ == SQL_TYPE_TIME ||
                       t->describedType_ == SQL_TYPE_DATE) {
                if (!haveDate) {
                    date = rtl::strToDateTime(value);
                    haveDate = true;
                }
                t->writeTimestamp(date);
            } else {
                t->writeText(value);
            }
            break;
        }
    }
}

void TFbXSQLVAR::SetAsTypedExact(TFbExactKind kind, std::string_view typed) {
    std::string text;
    const bool read = FbExactTextForServer(kind, typed, text);
    if (kind != TFbExactKind::Octets)
        SetAsUtf8String(text);
    else if (read)
        SetAsString(text);
    else
        conversionError(); // bytes are typed as hexadecimal digits only
}

void TFbXSQLVAR::SetAsShort(std::int16_t value) {
    for (TFbXSQLVAR* t : targets())
        if (!t->writeIfBoolean(value)) t->store(SQL_SHORT, 0, &value, sizeof value);
}

void TFbXSQLVAR::SetAsLong(std::int32_t value) {
    for (TFbXSQLVAR* t : targets())
        if (!t->writeIfBoolean(value)) t->store(SQL_LONG, 0, &value, sizeof value);
}

void TFbXSQLVAR::SetAsInt64(std::int64_t value) {
    for (TFbXSQLVAR* t : targets())
        if (!t->writeIfBoolean(value)) t->store(SQL_INT64, 0, &value, sizeof value);
}

void TFbXSQLVAR::SetAsBoolean(bool value) {
    SetAsLong(value ? 1 : 0);
}

void TFbXSQLVAR::SetAsDouble(double value) {
    for (TFbXSQLVAR* t : targets())
        t->store(SQL_DOUBLE, 0, &value, sizeof value);
}

void TFbXSQLVAR::SetAsCurrency(rtl::Currency value) {
    if (dialect() < 3) {
        SetAsDouble(static_cast<double>(value.raw()) / rtl::Currency::scale);
        return;
    }
    const std::int64_t raw = value.raw();
    for (TFbXSQLVAR* t : targets())
        t->store(SQL_INT64, -4, &raw, sizeof raw);
}

void TFbXSQLVAR::SetAsDate(rtl::TDateTime value) {
    if (dialect() < 3) {
        SetAsDateTime(value);
        return;
    }
    std::tm tm = toTm(value);
    ISC_DATE d{};
    FbApi().isc_encode_sql_date(&tm, &d);
    for (TFbXSQLVAR* t : targets())
        t->store(SQL_TYPE_DATE, 0, &d, sizeof d);
}

void TFbXSQLVAR::SetAsTime(rtl::TDateTime value) {
    if (dialect() < 3) {
        SetAsDateTime(value);
        return;
    }
    std::tm tm = toTm(value);
    ISC_TIME tv{};
    FbApi().isc_encode_sql_time(&tm, &tv);
    for (TFbXSQLVAR* t : targets())
        t->store(SQL_TYPE_TIME, 0, &tv, sizeof tv);
}

void TFbXSQLVAR::SetAsDateTime(rtl::TDateTime value) {
    toTm(value); // validates before anything is written
    for (TFbXSQLVAR* t : targets())
        t->writeTimestamp(value);
}

void TFbXSQLVAR::SetAsQuad(ISC_QUAD value) {
    auto all = targets();
    for (TFbXSQLVAR* t : all)
        if (t->describedType_ != SQL_BLOB) conversionError();
    for (TFbXSQLVAR* t : all)
        t->store(SQL_BLOB, t->var_->sqlscale, &value, sizeof value);
}

void TFbXSQLVAR::SetIsNull(bool value) {
    for (TFbXSQLVAR* t : targets()) {
        if (value) {
            t->markNull();
        } else if (t->var_->sqltype & 1) {
            t->indicator_ = 0;
            t->var_->sqlind = &t->indicator_;
            t->modified_ = true;
        }
    }
}

void TFbXSQLVAR::SetAsVariant(const TFbVariant& value) {
    if (value.Type & varArray) RaiseClientError(4);
    if (value.Type & varByRef) RaiseClientError(5);
    switch (value.Type) {
    case varEmpty:
    case varNull:
        SetIsNull(true);
        break;
    case varSmallint:
    case varInteger:
    case varByte:
        SetAsLong(static_cast<std::int32_t>(value.Int));
        break;
    case varInt64:
        SetAsInt64(value.Int);
        break;
    case varSingle:
    case varDouble:
        SetAsDouble(value.Float);
        break;
    case varCurrency:
        SetAsCurrency(value.Curr);
        break;
    case varDate:
        SetAsDateTime(value.Float);
        break;
    case varString:
    case varOleStr:
        SetAsString(value.Str);
        break;
    case varBoolean:
        SetAsLong(value.Int ? 1 : 0);
        break;
    case varDispatch:
    case varError:
    case varVariant:
    case varUnknown:
        RaiseClientError(5);
    default:
        break;
    }
}

void TFbXSQLVAR::allocate() {
    describedType_ = static_cast<short>(var_->sqltype & ~1);
    describedSubtype_ = var_->sqlsubtype;
    if (FbExactKindOfSQLType(describedType_) != TFbExactKind::None) {
        // A library that knows the newer types passes them through: they
        // are asked for as text, which the server writes exactly (as it does
        // for the bindings a connection asks, FbExactBindingsSQL).
        var_->sqltype = static_cast<short>(SQL_VARYING | (var_->sqltype & 1));
        var_->sqlscale = 0;
        var_->sqlsubtype = 0;
        var_->sqllen = kExactTextBytes;
    }
    // The readers take fixed-size values whole, whatever length the
    // descriptor claims, so the area is never smaller than the value.
    size_t size = textLength();
    switch (describedType_) {
    case SQL_VARYING:
        size += 2;
        break;
    case SQL_TEXT:
        break;
    case SQL_SHORT:
        size = std::max<size_t>(size, sizeof(std::int16_t));
        break;
    case SQL_LONG:
    case SQL_FLOAT:
    case SQL_TYPE_TIME:
    case SQL_TYPE_DATE:
        size = std::max<size_t>(size, sizeof(std::int32_t));
        break;
    case SQL_DOUBLE:
    case SQL_TIMESTAMP:
    case SQL_BLOB:
    case SQL_D_FLOAT:
    case SQL_ARRAY:
    case SQL_QUAD:
    case SQL_INT64:
        size = std::max<size_t>(size, sizeof(std::int64_t));
        break;
    case SQL_BOOLEAN:
        size = std::max<size_t>(size, sizeof(FB_BOOLEAN));
        break;
    default:
        RaiseClientError(35, {static_cast<long long>(describedType_)});
    }
    data_.assign(size > 0 ? size : 1, 0);
    var_->sqldata = data_.data();
    indicator_ = 0;
    var_->sqlind = (var_->sqltype & 1) ? &indicator_ : nullptr;
    modified_ = false;
}
