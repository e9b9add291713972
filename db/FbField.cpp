#include "db/FbCustomDataSet.h"

#include "db/FbError.h"
#include "db/FbUtils.h"
#include "db/FbValues.h"
#include "rtl/errors.h"
#include "rtl/format.h"
#include "rtl/parse.h"
#include "rtl/strutil.h"

#include <ibase.h>

#include <cmath>
#include <cstdio>
#include <cstring>

// A field's readers: the value of its column in the record the dataset
// reads, decoded from the record cache's bytes.

namespace {
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

namespace {

template <typename T> T load(const std::byte* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

/// A stored text: its bytes after the length prefix at `p`.
std::string_view storedText(const std::byte* p) {
    auto len = static_cast<std::size_t>(static_cast<unsigned char>(*p));
    if (len < 255) return {reinterpret_cast<const char*>(p + 1), len};
    return {reinterpret_cast<const char*>(p + 3), load<std::uint16_t>(p + 1)};
}

} // namespace

std::int64_t TField::integer(const std::byte* p) const {
    return readScaledInt(sqlType_, reinterpret_cast<const char*>(p));
}

double TField::floating(const std::byte* p) const {
    switch (sqlType_) {
    case SQL_FLOAT:
        return load<float>(p);
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return load<double>(p);
    default:
        return scaledToDouble(integer(p), scale_);
    }
}

rtl::Currency TField::currency(const std::byte* p) const {
    rtl::Currency c;
    if (!rtl::Currency::tryFromScaled(integer(p), -scale_, c)) conversionError();
    return c;
}

double TField::dateTime(const std::byte* p) const {
    switch (sqlType_) {
    case SQL_TYPE_DATE:
        return engineDate(load<ISC_DATE>(p));
    case SQL_TYPE_TIME:
        return engineTime(load<ISC_TIME>(p));
    default: {
        auto ts = load<ISC_TIMESTAMP>(p);
        return rtl::combineDateTime(engineDate(ts.timestamp_date), engineTime(ts.timestamp_time));
    }
    }
}

void TField::appendText(std::string& out, const std::byte* p) const {
    const std::string_view text = storedText(p);
    out.append(text);
    if (!fixedChar_) return;
    const std::size_t chars = FbCharCount(charSet_, text);
    if (chars < padChars_) out.append(padChars_ - chars, padChar_);
}

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

void TField::appendExact(std::string& out, const std::byte* p, bool grouped) const {
    if (exact_ != TFbExactKind::Octets) {
        FbAppendExactText(out, exact_, storedText(p), grouped);
        return;
    }
    std::string bytes;
    appendText(bytes, p);
    FbAppendExactText(out, exact_, bytes, grouped);
}

void TField::AppendAsString(std::string& out) const {
    const std::byte* p = data();
    if (!p) return;
    switch (kind_.DataType) {
    case ftString:
        // Byte strings keep their bytes: only what is shown is hexadecimal.
        if (exact_ == TFbExactKind::None || exact_ == TFbExactKind::Octets)
            appendText(out, p);
        else
            appendExact(out, p, false);
        break;
    case ftSmallint:
    case ftInteger:
    case ftLargeint:
        rtl::appendIntToStr(out, integer(p));
        break;
    case ftBoolean:
        out += BooleanText(*p != std::byte{0});
        break;
    case ftFloat:
        // A float's text follows its display format too; BCD text never does.
        if (displayFormat_.empty())
            rtl::appendFloatToStr(out, floating(p));
        else
            displayNumber_.append(out, floating(p));
        break;
    case ftBCD:
        rtl::appendCurrToStr(out, currency(p));
        break;
    case ftDate:
    case ftTime:
    case ftDateTime:
        valueDateFormat().append(out, dateTime(p));
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
    if (exact_ != TFbExactKind::None) {
        appendExact(out, p, true);
        return;
    }
    if (displayFormat_.empty()) {
        AppendAsString(out);
        return;
    }
    switch (kind_.DataType) {
    case ftSmallint:
    case ftInteger:
    case ftLargeint:
        displayNumber_.append(out, static_cast<double>(integer(p)));
        break;
    case ftFloat:
        displayNumber_.append(out, floating(p));
        break;
    case ftBCD:
        displayNumber_.append(out, currency(p));
        break;
    case ftDate:
    case ftTime:
    case ftDateTime:
        displayDateFormat().append(out, dateTime(p));
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
    case ftLargeint:
        return integer(p);
    case ftBoolean:
        return *p != std::byte{0};
    case ftFloat:
        return static_cast<std::int64_t>(floating(p));
    case ftBCD:
        return currency(p).units();
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
    case ftLargeint:
        return static_cast<double>(integer(p));
    case ftBoolean:
        return *p != std::byte{0};
    case ftFloat:
        return floating(p);
    case ftDate:
    case ftTime:
    case ftDateTime:
        return dateTime(p);
    case ftBCD:
        return currency(p).toDouble();
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
        return rtl::Currency::fromUnits(static_cast<std::int32_t>(integer(p)));
    case ftLargeint:
    case ftBCD:
        return currency(p);
    case ftFloat:
        return rtl::Currency::fromDouble(floating(p));
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
        return dateTime(p);
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
        return floating(p) != 0;
    case ftBCD:
        return integer(p) != 0;
    case ftString: {
        // The statement's readers' words: a text reads the same through both.
        bool v = false;
        if (!TryTextToBoolean(storedText(p), v)) conversionError();
        return v;
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
