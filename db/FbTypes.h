#pragma once
// Field kinds of the dataset framework and the descriptions the access layer
// derives from the database's SQL types.

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
