#include "db/FbSQL.h"

#include "rtl/charset.h"

#include "db/FbUtils.h"
#include "db/FbValues.h"
#include "rtl/errors.h"
#include "rtl/format.h"
#include "rtl/parse.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

namespace {

constexpr int kBlobPiece = 16384;

} // namespace

// ---------------------------------------------------------------- blobs

namespace {

// The close that ends a blob's normal use, checked. A refused close is not
// tried a second time by the owner.
void closeBlob(const TFbLink& link, TFbBlobHandle& blob) {
    TFbStatus status = link.Capture(FbApi().isc_close_blob(StatusVector(), blob.Ptr()));
    blob.Forget();
    status.Check();
}

} // namespace

std::string FbReadBlob(const TFbLink& link, ISC_QUAD id) {
    if (id.gds_quad_high == 0 && id.gds_quad_low == 0) return {};
    const TFbClientApi& api = FbApi();
    TFbBlobHandle blob;
    link.Call(api.isc_open_blob2(StatusVector(), link.DBHandle(), link.TRHandle(), blob.Ptr(), &id,
                                 0, nullptr));
    std::string content;
    const ISC_SCHAR items[] = {isc_info_blob_total_length};
    ISC_SCHAR reply[32] = {};
    const ISC_STATUS info =
        api.isc_blob_info(StatusVector(), blob.Ptr(), sizeof items, items, sizeof reply, reply);
    if (info == 0 && reply[0] == isc_info_blob_total_length) {
        const short len = static_cast<short>(api.isc_vax_integer(reply + 1, 2));
        const ISC_LONG total = api.isc_vax_integer(reply + 3, len);
        if (total > 0) content.reserve(static_cast<size_t>(total));
    }
    char piece[kBlobPiece];
    for (;;) {
        unsigned short got = 0;
        ISC_STATUS r = api.isc_get_segment(StatusVector(), blob.Ptr(), &got, kBlobPiece, piece);
        if (r == 0 || StatusVector()[1] == isc_segment) {
            content.append(piece, got);
            continue;
        }
        if (StatusVector()[1] == isc_segstr_eof) break;
        link.Call(r);
    }
    closeBlob(link, blob);
    return content;
}

ISC_QUAD FbWriteBlob(const TFbLink& link, std::string_view content) {
    const TFbClientApi& api = FbApi();
    TFbBlobHandle blob;
    ISC_QUAD id{};
    link.Call(api.isc_create_blob2(StatusVector(), link.DBHandle(), link.TRHandle(), blob.Ptr(),
                                   &id, 0, nullptr));
    for (size_t pos = 0; pos < content.size(); pos += kBlobPiece) {
        const size_t n = std::min<size_t>(kBlobPiece, content.size() - pos);
        link.Call(api.isc_put_segment(StatusVector(), blob.Ptr(), static_cast<unsigned short>(n),
                                      content.data() + pos));
    }
    closeBlob(link, blob);
    return id;
}

// ---------------------------------------------------------------- TFbXSQLDA

TFbXSQLDA::TFbXSQLDA(TFbSQL* statement, bool columns) : statement_(statement), columns_(columns) {
    sqlda_ = static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(1)));
    if (!sqlda_) throw std::bad_alloc();
    sqlda_->version = SQLDA_VERSION1;
}

TFbXSQLDA::~TFbXSQLDA() {
    std::free(sqlda_);
}

void TFbXSQLDA::SetCount(int value) {
    if (value < 0) value = 0;
    names_.clear();
    if (value > capacity_) {
        auto* grown = static_cast<XSQLDA*>(std::realloc(sqlda_, XSQLDA_LENGTH(value)));
        if (!grown) throw std::bad_alloc();
        sqlda_ = grown;
        std::memset(&sqlda_->sqlvar[capacity_], 0,
                    sizeof(XSQLVAR) * static_cast<size_t>(value - capacity_));
        for (int i = static_cast<int>(vars_.size()); i < value; ++i)
            vars_.push_back(std::unique_ptr<TFbXSQLVAR>(new TFbXSQLVAR(this, i)));
        capacity_ = value;
        sqlda_->sqldabc = static_cast<ISC_LONG>(XSQLDA_LENGTH(value));
    }
    for (int i = 0; i < capacity_; ++i)
        vars_[i]->var_ = &sqlda_->sqlvar[i];
    sqlda_->sqln = static_cast<short>(value);
    sqlda_->sqld = static_cast<short>(value);
    count_ = value;
    if (value == 0) uniqueRelationName_.clear();
}

TFbXSQLVAR& TFbXSQLDA::Vars(int index) {
    if (index < 0 || index >= count_) RaiseClientError(26);
    return *vars_[index];
}

TFbXSQLVAR* TFbXSQLDA::ByName(std::string_view name) {
    const int dialect = statement_ ? statement_->Dialect() : 3;
    const std::string norm = NormalizeIdentifier(dialect, name);
    for (size_t i = 0; i < names_.size() && i < static_cast<size_t>(count_); ++i)
        if (names_[i] == norm) return vars_[i].get();
    return nullptr;
}

void TFbXSQLDA::Initialize(const std::vector<std::string>& paramNames) {
    const int dialect = statement_ ? statement_->Dialect() : 3;
    bool relationShared = true;
    bool needNames = names_.empty();
    if (needNames && !paramNames.empty()) {
        for (const auto& n : paramNames)
            names_.push_back(NormalizeIdentifier(dialect, n));
        needNames = false;
    }
    for (int i = 0; i < count_; ++i) {
        TFbXSQLVAR& v = *vars_[i];
        XSQLVAR& x = sqlda_->sqlvar[i];
        v.index_ = i;
        if (columns_ && relationShared) {
            const std::string rel = v.RelName();
            if (!rel.empty()) {
                if (uniqueRelationName_.empty()) {
                    uniqueRelationName_ = rel;
                } else if (uniqueRelationName_ != rel) {
                    uniqueRelationName_.clear();
                    relationShared = false;
                }
            }
        }
        if (needNames) {
            const std::string name = UniqueColumnName(dialect, v.AliasName(), names_);
            const size_t n = std::min<size_t>(name.size(), sizeof x.aliasname);
            std::memcpy(x.aliasname, name.data(), n);
            if (n < sizeof x.aliasname) x.aliasname[n] = '\0';
            x.aliasname_length = static_cast<short>(n);
            names_.push_back(NormalizeIdentifier(dialect, name));
        }
        v.name_ = i < static_cast<int>(names_.size()) ? names_[i] : std::string();
        v.allocate();
    }
}

// ---------------------------------------------------------------- TFbSQLLines

std::string TFbSQLLines::Text() const {
    std::string r;
    size_t total = 0;
    for (const auto& l : lines_)
        total += l.size() + 2;
    r.reserve(total);
    for (const auto& l : lines_) {
        r += l;
        r += "\r\n";
    }
    return r;
}

void TFbSQLLines::changing() {
    owner_->sqlChanging();
}

void TFbSQLLines::SetText(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    Assign(lines);
}

void TFbSQLLines::Assign(const std::vector<std::string>& lines) {
    if (lines == lines_) return;
    changing();
    lines_ = lines;
}

void TFbSQLLines::Add(std::string_view line) {
    changing();
    lines_.emplace_back(line);
}

void TFbSQLLines::Insert(int index, std::string_view line) {
    if (index < 0 || index > Count()) throw std::out_of_range("TFbSQLLines::Insert");
    changing();
    lines_.insert(lines_.begin() + index, std::string(line));
}

void TFbSQLLines::Set(int index, std::string_view line) {
    if (index < 0 || index >= Count()) throw std::out_of_range("TFbSQLLines::Set");
    changing();
    lines_[index] = std::string(line);
}

void TFbSQLLines::Delete(int index) {
    if (index < 0 || index >= Count()) throw std::out_of_range("TFbSQLLines::Delete");
    changing();
    lines_.erase(lines_.begin() + index);
}

void TFbSQLLines::Clear() {
    if (lines_.empty()) return;
    changing();
    lines_.clear();
}

// ---------------------------------------------------------------- TFbSQL

TFbSQL::TFbSQL() : sql_(this), params_(this, false), columns_(this, true) {
    RequireClientLibrary();
}

// Dropping the statement closes its cursor as well; the owner does it
// without raising.
TFbSQL::~TFbSQL() = default;

int TFbSQL::Dialect() const {
    return Database() ? Database()->SQLDialect() : 3;
}

void TFbSQL::sqlChanging() {
    if (OnSQLChanging) OnSQLChanging(*this);
    if (handle_) ReleaseStatement();
}

void TFbSQL::checkHandle() const {
    if (!handle_) RaiseClientError(30);
}

void TFbSQL::Prepare() {
    if (cursorName_.empty()) cursorName_ = MakeCursorName(name_);
    if (open_) RaiseClientError(31);
    EnsureActive();
    if (prepared_) return;
    const std::string text = sql_.Text();
    if (FbTrim(text).empty()) RaiseClientError(42);
    if (paramCheck_) {
        TFbParsedSQL parsed = ParseParams(text, inventParamNames_);
        if (parsed.Error) RaiseClientError(55, {std::string(ClientErrorFormat(parsed.Error))});
        processedSQL_ = std::move(parsed.Text);
        paramNames_ = std::move(parsed.Names);
    } else {
        processedSQL_ = text;
        paramNames_.clear();
    }
    if (FbTrim(processedSQL_).empty()) RaiseClientError(42);
    try {
        try {
            prepareStatement();
        } catch (const EFbError& e) {
            // Firebird 4's types: Firebird 3's library refuses them at prepare,
            // a later one describes them in forms read here only as text.
            // Either way the connection asks once for their exact text.
            const bool newerTypes = dynamic_cast<const EFbClientError*>(&e)
                                        ? e.SQLCode() == 35
                                        : e.IBErrorCode() == isc_dsql_datatype_err;
            if (!newerTypes || !Database()->AskExactBindings()) throw;
            unprepare();
            prepareStatement();
        }
    } catch (...) {
        unprepare();
        throw;
    }
}

void TFbSQL::prepareStatement() {
    const TFbClientApi& api = FbApi();
    const unsigned short dialect = static_cast<unsigned short>(Dialect());
    Call(api.isc_dsql_alloc_statement2(StatusVector(), DBHandle(), handle_.Ptr()));
    Call(api.isc_dsql_prepare(StatusVector(), TRHandle(), handle_.Ptr(), 0, processedSQL_.c_str(),
                              dialect, nullptr));

    const ISC_SCHAR item = isc_info_sql_stmt_type;
    ISC_SCHAR reply[8] = {};
    Call(api.isc_dsql_sql_info(StatusVector(), handle_.Ptr(), 1, &item, sizeof reply, reply));
    if (reply[0] != isc_info_sql_stmt_type) RaiseClientError(0);
    const short len = static_cast<short>(api.isc_vax_integer(reply + 1, 2));
    kind_ = static_cast<int>(api.isc_vax_integer(reply + 3, len));
    if (kind_ == SQLGetSegment || kind_ == SQLPutSegment || kind_ == SQLStartTransaction)
        RaiseClientError(5); // Prepare releases the statement

    params_.SetCount(static_cast<int>(paramNames_.size()));
    if (params_.Count() > 0) {
        Call(
            api.isc_dsql_describe_bind(StatusVector(), handle_.Ptr(), dialect, params_.AsXSQLDA()));
        params_.Initialize(paramNames_);
    }
    if (kind_ == SQLSelect || kind_ == SQLExecProcedure || kind_ == SQLSelectForUpdate)
        describeColumns();
    prepared_ = true;
}

void TFbSQL::describeColumns() {
    const TFbClientApi& api = FbApi();
    const unsigned short dialect = static_cast<unsigned short>(Dialect());
    columns_.SetCount(1);
    Call(api.isc_dsql_describe(StatusVector(), handle_.Ptr(), dialect, columns_.AsXSQLDA()));
    const int reported = columns_.AsXSQLDA()->sqld;
    if (reported > columns_.Count()) {
        columns_.SetCount(reported);
        Call(api.isc_dsql_describe(StatusVector(), handle_.Ptr(), dialect, columns_.AsXSQLDA()));
    } else if (reported == 0) {
        columns_.SetCount(0);
    }
    columns_.Initialize();
}

void TFbSQL::ExecQuery() {
    if (open_) RaiseClientError(31);
    if (!prepared_) Prepare();
    EnsureActive();
    checkHandle();
    const TFbClientApi& api = FbApi();
    const unsigned short dialect = static_cast<unsigned short>(Dialect());
    XSQLDA* in = params_.Count() > 0 ? params_.AsXSQLDA() : nullptr;
    switch (kind_) {
    case SQLSelect:
    case SQLSelectForUpdate:
        Call(
            api.isc_dsql_execute2(StatusVector(), TRHandle(), handle_.Ptr(), dialect, in, nullptr));
        if (namedCursor_)
            Call(api.isc_dsql_set_cursor_name(StatusVector(), handle_.Ptr(), cursorName_.c_str(),
                                              0));
        open_ = true;
        atStart_ = true;
        atEnd_ = false;
        recordCount_ = 0;
        if (goToFirst_) FetchNext();
        break;
    case SQLExecProcedure: {
        XSQLDA* out = columns_.Count() > 0 ? columns_.AsXSQLDA() : nullptr;
        TFbStatus status = Capture(
            api.isc_dsql_execute2(StatusVector(), TRHandle(), handle_.Ptr(), dialect, in, out));
        if (status) {
            // A deadlock is reported as it is; anything else gets one more
            // try on a freshly prepared statement.
            if (status.ErrorCode() == isc_deadlock) status.Raise();
            Call(api.isc_dsql_prepare(StatusVector(), TRHandle(), handle_.Ptr(), 0,
                                      processedSQL_.c_str(), dialect, nullptr));
            Call(
                api.isc_dsql_execute2(StatusVector(), TRHandle(), handle_.Ptr(), dialect, in, out));
        }
        break;
    }
    default:
        Call(api.isc_dsql_execute(StatusVector(), TRHandle(), handle_.Ptr(), dialect, in));
        break;
    }
    if (Transaction()->AutoCommit() && !isSelect()) {
        try {
            Transaction()->CommitRetaining();
        } catch (...) {
            try {
                Transaction()->RollbackRetaining();
            } catch (...) {
                // The commit's refusal is the error to report.
            }
            throw;
        }
    }
}

TFbXSQLDA* TFbSQL::FetchNext() {
    if (atEnd_) return nullptr;
    if (!open_) RaiseClientError(32);
    ISC_STATUS r = FbApi().isc_dsql_fetch(
        StatusVector(), handle_.Ptr(), static_cast<unsigned short>(Dialect()), columns_.AsXSQLDA());
    if (r == 100) {
        atEnd_ = true;
        return nullptr;
    }
    if (r != 0) {
        TFbStatus status = Capture(r);
        if (status.Has(isc_dsql_cursor_err)) {
            atEnd_ = true;
            return nullptr;
        }
        try {
            Close();
        } catch (...) {
            // The fetch's failure is the error to report.
        }
        status.Raise();
    }
    ++recordCount_;
    atStart_ = false;
    return &columns_;
}

void TFbSQL::Close() {
    TFbStatus status;
    if (handle_ && isSelect() && open_)
        status =
            Capture(FbApi().isc_dsql_free_statement(StatusVector(), handle_.Ptr(), DSQL_close));
    atEnd_ = false;
    atStart_ = false;
    open_ = false;
    recordCount_ = 0;
    if (status && !status.Has(isc_bad_stmt_handle) && !status.Has(isc_dsql_cursor_close_err) &&
        !status.ConnectionLost())
        status.Raise();
}

void TFbSQL::ReleaseStatement() {
    TFbStatus status;
    if (handle_) {
        status = Capture(FbApi().isc_dsql_free_statement(StatusVector(), handle_.Ptr(), DSQL_drop));
        // Refused or not, the drop was this handle's end.
        handle_.Forget();
    }
    unprepare();
    if (status && !status.Has(isc_bad_stmt_handle) && !status.ConnectionLost()) status.Raise();
}

void TFbSQL::unprepare() noexcept {
    handle_.Reset();
    params_.SetCount(0);
    columns_.SetCount(0);
    prepared_ = false;
    // A dropped statement has no cursor left to close.
    open_ = false;
    atEnd_ = false;
    atStart_ = false;
    recordCount_ = 0;
}

TFbXSQLVAR& TFbSQL::ParamNamed(std::string_view name) {
    if (!prepared_) Prepare();
    TFbXSQLVAR* v = params_.ByName(name);
    if (!v) RaiseClientError(46, {std::string(name)});
    return *v;
}

TFbXSQLVAR& TFbSQL::ColumnNamed(std::string_view name) {
    TFbXSQLVAR* v = columns_.ByName(name);
    if (!v) RaiseClientError(46, {std::string(name)});
    return *v;
}

TFbXSQLVAR& TFbSQL::ColumnAt(int index) {
    if (index < 0 || index >= columns_.Count()) RaiseClientError(46, {std::to_string(index)});
    return columns_.Vars(index);
}

TFbXSQLDA& TFbSQL::ParamList() {
    if (!prepared_) Prepare();
    return params_;
}

std::string TFbSQL::SoleRelationName() const {
    return isSelect() ? columns_.UniqueRelationName() : std::string();
}

void TFbSQL::TransactionEnding() {
    if (open_) Close();
}

void TFbSQL::DatabaseDisconnecting() {
    Close();
    ReleaseStatement();
}
