#include "db/FbCatalog.h"

#include "db/Fb.h"
#include "db/FbUtils.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <memory>

namespace {

// The catalog's names need no quotes and its numbers are never dialect 1's.
constexpr unsigned short kCatalogDialect = 3;

/// An XSQLDA with `n` entries, owned.
class Descriptor {
public:
    explicit Descriptor(int n)
        : bytes_(XSQLDA_LENGTH(std::max(n, 1))), da_(reinterpret_cast<XSQLDA*>(bytes_.data())) {
        da_->version = SQLDA_VERSION1;
        da_->sqln = static_cast<short>(std::max(n, 1));
        da_->sqld = static_cast<short>(n);
    }
    XSQLDA* get() { return da_; }
    XSQLVAR& operator[](int i) { return da_->sqlvar[i]; }
    int Count() const { return da_->sqld; }

private:
    std::vector<char> bytes_;
    XSQLDA* da_;
};

/// Parameters as UNICODE_FSS texts.
class Params {
public:
    explicit Params(const std::vector<std::string>& values)
        : values_(values), da_(static_cast<int>(values.size())) {
        for (int i = 0; i < da_.Count(); ++i) {
            XSQLVAR& v = da_[i];
            v.sqltype = SQL_TEXT;
            v.sqlsubtype = csUnicodeFss;
            v.sqllen = static_cast<short>(values_[i].size());
            v.sqldata = values_[i].data();
            v.sqlind = nullptr;
        }
    }
    XSQLDA* get() { return values_.empty() ? nullptr : da_.get(); }

private:
    std::vector<std::string> values_;
    Descriptor da_;
};

/// Room for one row of `da` (its entries' types as they are) and its reading.
class Buffers {
public:
    explicit Buffers(Descriptor& da) : da_(da), data_(static_cast<std::size_t>(da.Count())) {
        nulls_.assign(static_cast<std::size_t>(da.Count()), 0);
        for (int i = 0; i < da.Count(); ++i) {
            XSQLVAR& v = da[i];
            std::size_t size = static_cast<std::size_t>(std::max<short>(v.sqllen, 0));
            if ((v.sqltype & ~1) == SQL_VARYING) size += 2;
            data_[static_cast<std::size_t>(i)].assign(std::max<std::size_t>(size, 8), 0);
            v.sqldata = data_[static_cast<std::size_t>(i)].data();
            v.sqltype |= 1;
            v.sqlind = &nulls_[static_cast<std::size_t>(i)];
        }
    }

    void Read(TFbCatalogQuery::Row& row) const {
        row.assign(static_cast<std::size_t>(da_.Count()), std::nullopt);
        for (int i = 0; i < da_.Count(); ++i) {
            const XSQLVAR& v = da_[i];
            if (*v.sqlind == -1) continue;
            const char* p = v.sqldata;
            std::string text;
            switch (v.sqltype & ~1) {
            case SQL_VARYING: {
                std::uint16_t len;
                std::memcpy(&len, p, 2);
                text.assign(p + 2, std::min<std::size_t>(len, std::size_t(v.sqllen)));
                break;
            }
            case SQL_TEXT:
                text = FbTrimRight(std::string_view(p, std::size_t(v.sqllen)));
                break;
            case SQL_SHORT: {
                std::int16_t n;
                std::memcpy(&n, p, sizeof n);
                text = std::to_string(n);
                break;
            }
            case SQL_LONG: {
                std::int32_t n;
                std::memcpy(&n, p, sizeof n);
                text = std::to_string(n);
                break;
            }
            case SQL_INT64: {
                std::int64_t n;
                std::memcpy(&n, p, sizeof n);
                text = std::to_string(n);
                break;
            }
            default: // nothing else comes from the catalog's queries
                break;
            }
            row[static_cast<std::size_t>(i)] = std::move(text);
        }
    }

private:
    Descriptor& da_;
    std::vector<std::vector<char>> data_;
    std::vector<short> nulls_;
};

void check(ISC_STATUS result) {
    TFbStatus(result).Check();
}

} // namespace

bool TFbCatalogQuery::One(const std::string& sql, const std::vector<std::string>& params,
                          const std::vector<int>& widths, Row& row) {
    const TFbClientApi& api = FbApi();
    if (!api.isc_dsql_exec_immed2) {
        bool got = false;
        Each(sql, params, [&](const Row& r) {
            if (!got) row = r;
            got = true;
        });
        return got;
    }
    Params in(params);
    Descriptor out(static_cast<int>(widths.size()));
    for (int i = 0; i < out.Count(); ++i) {
        // Every column asked as bytes of text: the server converts numbers,
        // and bytes take any set unchanged.
        out[i].sqltype = SQL_VARYING;
        out[i].sqlsubtype = csOctets;
        out[i].sqllen = static_cast<short>(widths[static_cast<std::size_t>(i)]);
    }
    Buffers buffers(out);
    for (int i = 0; i < out.Count(); ++i)
        *out[i].sqlind = -1;
    const ISC_STATUS r = api.isc_dsql_exec_immed2(StatusVector(), db_, tr_, 0, sql.c_str(),
                                                  kCatalogDialect, in.get(), out.get());
    // A singleton that found no row is no error.
    if (r == 100) return false;
    TFbStatus status(r);
    if (status && status.ErrorCode() != isc_stream_eof) status.Raise();
    if (status) return false;
    buffers.Read(row);
    return true;
}

void TFbCatalogQuery::Each(const std::string& sql, const std::vector<std::string>& params,
                           const std::function<void(const Row&)>& each) {
    const TFbClientApi& api = FbApi();
    TFbStatementHandle stmt;
    check(api.isc_dsql_alloc_statement2(StatusVector(), db_, stmt.Ptr()));
    Descriptor probe(1);
    probe.get()->sqld = 0;
    check(api.isc_dsql_prepare(StatusVector(), tr_, stmt.Ptr(), 0, sql.c_str(), kCatalogDialect,
                               probe.get()));
    // The description comes with the prepare's answer: asking again for
    // more columns costs no exchange.
    Descriptor out(probe.get()->sqld);
    check(api.isc_dsql_describe(StatusVector(), stmt.Ptr(), kCatalogDialect, out.get()));
    Buffers buffers(out);
    Params in(params);
    check(api.isc_dsql_execute(StatusVector(), tr_, stmt.Ptr(), kCatalogDialect, in.get()));
    Row row;
    for (;;) {
        const ISC_STATUS r =
            api.isc_dsql_fetch(StatusVector(), stmt.Ptr(), kCatalogDialect, out.get());
        if (r == 100) break;
        check(r);
        buffers.Read(row);
        each(row);
    }
    // Dropping the statement travels with the next request.
    check(api.isc_dsql_free_statement(StatusVector(), stmt.Ptr(), DSQL_drop));
}

long long FbRowInt(const TFbCatalogQuery::Row& row, std::size_t column) {
    if (column >= row.size() || !row[column]) return 0;
    const std::string& t = *row[column];
    long long n = 0;
    std::from_chars(t.data(), t.data() + t.size(), n);
    return n;
}

const std::string& FbRowText(const TFbCatalogQuery::Row& row, std::size_t column) {
    static const std::string empty;
    return column < row.size() && row[column] ? *row[column] : empty;
}

// ---------------------------------------------------------------------------

TFbFieldKind TFbColumnFacts::Kind() const {
    return FieldKindOfCatalogType(FieldType, Scale, SubType, Length);
}

bool FbSameColumnName(std::string_view full, std::string_view described) {
    // A longer name arrives cut after 31 bytes, maybe inside a character,
    // and the Firebird 3 library adds a 32nd byte of its own (a zero).
    constexpr std::size_t kKept = 31;
    if (full == described) return true;
    return described.size() >= kKept && full.size() > kKept &&
           full.substr(0, kKept) == described.substr(0, kKept);
}

const TFbColumnFacts* TFbTableFacts::Column(std::string_view name) const {
    for (const TFbColumnFacts& c : Columns)
        if (c.Name == name) return &c;
    return nullptr;
}

namespace {

[[noreturn]] void malformed() {
    RaiseClientError(0);
}

/// Reads the records of FbCatalogTableFactsSQL one value at a time.
class RecordReader {
public:
    explicit RecordReader(std::string_view text) : t_(text) {}
    bool AtEnd() const { return p_ >= t_.size(); }
    char Tag() {
        if (AtEnd()) malformed();
        return t_[p_++];
    }
    long long Number() {
        long long n = 0;
        const char* b = t_.data() + p_;
        auto [end, ec] = std::from_chars(b, t_.data() + t_.size(), n);
        if (ec != std::errc() || end == b) malformed();
        p_ = static_cast<std::size_t>(end - t_.data());
        return n;
    }
    void Expect(char c) {
        if (AtEnd() || t_[p_] != c) malformed();
        ++p_;
    }
    /// A length, ":" and that many bytes.
    std::string Name() {
        const long long len = Number();
        Expect(':');
        if (len < 0 || p_ + static_cast<std::size_t>(len) > t_.size()) malformed();
        std::string n(t_.substr(p_, static_cast<std::size_t>(len)));
        p_ += static_cast<std::size_t>(len);
        return n;
    }

private:
    std::string_view t_;
    std::size_t p_ = 0;
};

} // namespace

void FbReadFactRecords(TFbTableFacts& facts, std::string_view records) {
    // An index's segments in position order, the indexes in the order met.
    struct Segments {
        TFbIndexDef def;
        std::map<long long, std::string> fields;
    };
    std::vector<Segments> indexes;
    RecordReader in(records);
    while (!in.AtEnd()) {
        const char tag = in.Tag();
        if (tag == 'C') {
            TFbColumnFacts c;
            c.Position = static_cast<int>(in.Number());
            in.Expect(',');
            c.FieldType = static_cast<int>(in.Number());
            in.Expect(',');
            c.SubType = static_cast<int>(in.Number());
            in.Expect(',');
            c.Scale = static_cast<int>(in.Number());
            in.Expect(',');
            c.Length = static_cast<int>(in.Number());
            in.Expect(',');
            c.Precision = static_cast<int>(in.Number());
            in.Expect(',');
            c.CharSetId = static_cast<int>(in.Number());
            in.Expect(',');
            c.Computed = in.Number() != 0;
            in.Expect(',');
            c.NotNull = in.Number() == 1;
            in.Expect(',');
            c.HasDefault = in.Number() != 0;
            in.Expect(',');
            c.Name = in.Name();
            facts.Columns.push_back(std::move(c));
        } else if (tag == 'I') {
            const bool unique = in.Number() == 1;
            in.Expect(',');
            const bool primary = in.Number() == 1;
            in.Expect(',');
            const long long position = in.Number();
            in.Expect(',');
            const std::string name = in.Name();
            in.Expect(',');
            const std::string field = FbTrim(in.Name());
            auto it = std::find_if(indexes.begin(), indexes.end(),
                                   [&](const Segments& s) { return s.def.Name == name; });
            if (it == indexes.end()) {
                indexes.push_back({{name, {}, primary, unique}, {}});
                it = indexes.end() - 1;
            }
            it->fields[position] = field;
        } else {
            malformed();
        }
        in.Expect(';');
    }
    std::stable_sort(
        facts.Columns.begin(), facts.Columns.end(),
        [](const TFbColumnFacts& a, const TFbColumnFacts& b) { return a.Position < b.Position; });
    facts.Indexes.clear();
    facts.PrimaryKey.clear();
    for (Segments& s : indexes) {
        if (!s.fields.empty()) {
            s.def.Fields.clear();
            for (const auto& [position, field] : s.fields) {
                if (!s.def.Fields.empty()) s.def.Fields += ";";
                s.def.Fields += field;
            }
        }
        if (s.def.Primary) facts.PrimaryKey = s.def.Fields;
        facts.Indexes.push_back(std::move(s.def));
    }
}
