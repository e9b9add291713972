#pragma once
// Field kinds of the dataset framework and the descriptions the access layer
// derives from the database's SQL types.
#include "rtl/charset.h"

#include <cstddef>
#include <string_view>

/// The kind of a dataset field. The access layer produces only ftString,
/// ftSmallint, ftInteger, ftLargeint, ftFloat, ftBCD, ftDate, ftTime,
/// ftDateTime, ftBoolean, ftBlob, ftMemo and ftUnknown; the others belong to the same
/// vocabulary and are tested by the user interface and the export.
enum TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftFixedChar,
    ftWideString,
    ftLargeint
};

/// Kind, size and precision of one column as the dataset defines its field.
/// `Size` is the declared length for ftString, minus the scale for ftBCD,
/// 8 for the unknown catalog type 9, 0 otherwise; `Precision` is 4, 9 or 18
/// for ftBCD and 0 otherwise.
struct TFbFieldKind {
    TFieldType DataType = ftUnknown;
    int Size = 0;
    int Precision = 0;
    bool operator==(const TFbFieldKind&) const = default;
};

/// The identifier of a kind as the dataset framework writes it ("ftString").
inline const char* FieldTypeName(TFieldType t) {
    static const char* const names[] = {
        "ftUnknown", "ftString",    "ftSmallint",   "ftInteger", "ftWord", "ftBoolean",
        "ftFloat",   "ftCurrency",  "ftBCD",        "ftDate",    "ftTime", "ftDateTime",
        "ftBytes",   "ftVarBytes",  "ftAutoInc",    "ftBlob",    "ftMemo", "ftGraphic",
        "ftFmtMemo", "ftFixedChar", "ftWideString", "ftLargeint"};
    return (t >= ftUnknown && t <= ftLargeint) ? names[t] : "ftUnknown";
}

/// Firebird's character set ids that the access layer tells apart.
enum TFbCharSetId { csNone = 0, csOctets = 1, csUnicodeFss = 3, csUtf8 = 4, csGb18030 = 69 };

/// The most bytes one character takes in the character set `id`.
inline int FbCharSetBytesPerChar(int id) {
    return rtl::maxBytesPerChar(id);
}

/// The characters in `bytes`, text in the character set `id`: bytes for a
/// single-byte set; by the encoding's lead bytes for the others (a sequence
/// cut short at the end still counts as one character).
inline std::size_t FbCharCount(int id, std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t chars = 0;
    switch (FbCharSetBytesPerChar(id)) {
    case 1:
        return n;
    case 2:
        for (std::size_t i = 0; i < n; ++chars) {
            const unsigned char c = p[i];
            std::size_t len = 1;
            if (id == 5 || id == 68) // Shift-JIS: single-byte kana 0xA1..0xDF
                len = (c >= 0x81 && c <= 0x9F) || c >= 0xE0 ? 2 : 1;
            else if (id == 6) // EUC-JP: 0x8F opens a three-byte character
                len = c == 0x8F ? 3 : c >= 0x80 ? 2 : 1;
            else
                len = c >= 0x81 ? 2 : 1;
            i += len;
        }
        return chars;
    default:
        if (id == csGb18030) {
            for (std::size_t i = 0; i < n; ++chars) {
                const unsigned char c = p[i];
                if (c < 0x80)
                    i += 1;
                else if (i + 1 < n && p[i + 1] >= 0x30 && p[i + 1] <= 0x39)
                    i += 4;
                else
                    i += 2;
            }
            return chars;
        }
        // UTF-8 (and UNICODE_FSS, its older form): every byte that does not
        // continue a sequence starts a character.
        for (std::size_t i = 0; i < n; ++i)
            chars += (p[i] & 0xC0) != 0x80;
        return chars;
    }
}
