#include "db/FbCustomDataSet.h"

#include "db/FbDecoder.h"
#include "db/FbError.h"
#include "db/FbUtils.h"
#include "db/FbValues.h"
#include "rtl/errors.h"
#include "rtl/format.h"
#include "rtl/parse.h"
#include "rtl/strutil.h"

#include <ibase.h>

#include <cstring>

// A field's readers: the value of its column in the record the dataset
// reads, decoded from the record cache's bytes.

namespace {

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

/// The text a string field's value is read from as a number or a date: its
/// stored bytes, or the regional text of a type the server sends as text.
std::string_view valueText(const TField& f, const std::byte* p, std::string& buffer) {
    if (f.ExactKind() == TFbExactKind::None || f.ExactKind() == TFbExactKind::Octets)
        return storedText(p);
    buffer = f.AsString();
    return buffer;
}

} // namespace

std::int64_t TField::integer(const std::byte* p) const {
    return FbScaledInt(sqlType_, p);
}

double TField::floating(const std::byte* p) const {
    return FbNumberToDouble(sqlType_, scale_, p);
}

rtl::Currency TField::currency(const std::byte* p) const {
    rtl::Currency c;
    if (!FbScaledToCurrency(integer(p), scale_, c)) conversionError();
    return c;
}

double TField::dateTime(const std::byte* p) const {
    return FbDateTimeOf(sqlType_, p);
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
    case ftBCD:
        FbAppendNumberText(out, sqlType_, scale_, p);
        break;
    case ftBoolean:
        out += BooleanText(*p != std::byte{0});
        break;
    case ftFloat:
        // A float's text follows its display format too; BCD text never does.
        if (displayFormat_.empty())
            FbAppendNumberText(out, sqlType_, scale_, p);
        else
            displayNumber_.append(out, floating(p));
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
    case ftBCD: {
        if (sqlType_ == SQL_SHORT || sqlType_ == SQL_LONG || sqlType_ == SQL_INT64)
            return FbScaledToInt64(integer(p), scale_);
        std::int64_t v;
        if (!FbDoubleToInt64(floating(p), v)) conversionError();
        return v;
    }
    case ftString: {
        std::int64_t v;
        std::string buf;
        const std::string_view t = valueText(*this, p, buf);
        if (!FbTextToInt64(t, v)) rtl::throwNotValid(t, "integer value");
        return v;
    }
    default:
        conversionError();
    }
}

std::int32_t TField::AsInteger() const {
    const std::byte* p = data();
    if (!p) return 0;
    std::int32_t v;
    switch (kind_.DataType) {
    case ftString: {
        std::string buf;
        const std::string_view t = valueText(*this, p, buf);
        if (!FbTextToInt32(t, v)) rtl::throwNotValid(t, "integer value");
        return v;
    }
    default:
        // Out of range is an error, never a wrapped number.
        if (!FbInt64ToInt32(AsLargeInt(), v)) conversionError();
        return v;
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
        return floating(p);
    case ftString: {
        double v;
        std::string buf;
        const std::string_view t = valueText(*this, p, buf);
        if (!FbTextToDouble(t, v)) rtl::throwNotValid(t, "floating point value");
        return v;
    }
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
        // Scaled integers beyond four decimals round exactly, not through a double.
        if (sqlType_ == SQL_INT64 || sqlType_ == SQL_LONG || sqlType_ == SQL_SHORT)
            return currency(p);
        return rtl::Currency::fromDouble(floating(p));
    case ftString: {
        rtl::Currency v;
        std::string buf;
        const std::string_view t = valueText(*this, p, buf);
        if (!FbTextToCurrency(t, v)) rtl::throwNotValid(t, "floating point value");
        return v;
    }
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
    case ftString: {
        rtl::TDateTime v;
        std::string buf;
        const std::string_view t = valueText(*this, p, buf);
        if (!FbTextToDateTime(t, v)) rtl::throwNotValid(t, "date and time");
        return v;
    }
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
