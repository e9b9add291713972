#include "db/FbDatabase.h"

#include "db/FbCatalogSQL.h"
#include "db/FbUtils.h"
#include "db/FbValues.h"
#include "rtl/charset.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iterator>
#include <stdexcept>

namespace {

// Position + 1 is the client API's DPB tag.
const char* const kDpbNames[] = {"cdd_pathname",
                                 "allocation",
                                 "journal",
                                 "page_size",
                                 "num_buffers",
                                 "buffer_length",
                                 "debug",
                                 "garbage_collect",
                                 "verify",
                                 "sweep",
                                 "enable_journal",
                                 "disable_journal",
                                 "dbkey_scope",
                                 "number_of_users",
                                 "trace",
                                 "no_garbage_collect",
                                 "damaged",
                                 "license",
                                 "sys_user_name",
                                 "encrypt_key",
                                 "activate_shadow",
                                 "sweep_interval",
                                 "delete_shadow",
                                 "force_write",
                                 "begin_log",
                                 "quit_log",
                                 "no_reserve",
                                 "user_name",
                                 "password",
                                 "password_enc",
                                 "sys_user_name_enc",
                                 "interp",
                                 "online_dump",
                                 "old_file_size",
                                 "old_num_files",
                                 "old_file",
                                 "old_start_page",
                                 "old_start_seqno",
                                 "old_start_file",
                                 "drop_walfile",
                                 "old_dump_id",
                                 "wal_backup_dir",
                                 "wal_chkptlen",
                                 "wal_numbufs",
                                 "wal_bufsize",
                                 "wal_grp_cmt_wait",
                                 "lc_messages",
                                 "lc_ctype",
                                 "cache_manager",
                                 "shutdown",
                                 "online",
                                 "shutdown_delay",
                                 "reserved",
                                 "overwrite",
                                 "sec_attach",
                                 "disable_wal",
                                 "connect_timeout",
                                 "dummy_packet_interval",
                                 "gbak_attach",
                                 "sql_role_name",
                                 "set_page_buffers",
                                 "working_directory",
                                 "sql_dialect",
                                 "set_db_readonly",
                                 "set_db_sql_dialect",
                                 "gfix_attach",
                                 "gstat_attach",
                                 "set_db_charset",
                                 "gsec_attach",
                                 "address_path"};
static_assert(std::size(kDpbNames) == 70);

// Position + 1 is the client API's TPB tag.
const char* const kTpbNames[] = {"consistency",      "concurrency",  "shared",
                                 "protected",        "exclusive",    "wait",
                                 "nowait",           "read",         "write",
                                 "lock_read",        "lock_write",   "verb_time",
                                 "commit_time",      "ignore_limbo", "read_committed",
                                 "autocommit",       "rec_version",  "no_rec_version",
                                 "restart_requests", "no_auto_undo", "lock_timeout"};
static_assert(std::size(kTpbNames) == 21);

std::string lower(const std::string& s) {
    std::string r = s;
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32)
        --e;
    return s.substr(b, e - b);
}

void removePrefix(std::string& s, const char* prefix) {
    std::string p(prefix);
    if (s.compare(0, p.size(), p) == 0) s.erase(0, p.size());
}

int tagOf(const char* const* names, size_t count, const std::string& name) {
    for (size_t i = 0; i < count; ++i)
        if (name == names[i]) return static_cast<int>(i) + 1;
    return 0;
}

// Strict text-to-integer conversion: leading blanks and a sign allowed,
// nothing after the digits.
long toInt(const std::string& v) {
    const char* s = v.c_str();
    char* end = nullptr;
    errno = 0;
    long n = std::strtol(s, &end, 10);
    if (end == s || *end != 0 || errno == ERANGE || n < INT_MIN || n > INT_MAX)
        throw std::invalid_argument("'" + v + "' is not a valid integer value");
    return n;
}

} // namespace

std::string GenerateDPB(const std::vector<std::string>& params) {
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    for (const std::string& line : params) {
        size_t eq = line.find('=');
        std::string name = eq == std::string::npos ? std::string() : line.substr(0, eq);
        if (trim(name).empty()) continue;
        std::string value = line.substr(eq + 1);
        std::string key = lower(name);
        removePrefix(key, "isc_dpb_");
        int tag = tagOf(kDpbNames, std::size(kDpbNames), key);
        if (tag == 0) RaiseClientError(114, {name});
        switch (tag) {
        case isc_dpb_sys_user_name:
        case isc_dpb_license:
        case isc_dpb_encrypt_key:
        case isc_dpb_user_name:
        case isc_dpb_password:
        case isc_dpb_password_enc:
        case isc_dpb_lc_messages:
        case isc_dpb_lc_ctype:
        case isc_dpb_sql_role_name:
        case isc_dpb_sql_dialect:
            if (value.size() > 255) RaiseClientError(fbceDPBValueTooLong, {key});
            if (tag == isc_dpb_sql_dialect && !value.empty())
                value[0] = static_cast<char>(value[0] - '0');
            dpb += static_cast<char>(tag);
            dpb += static_cast<char>(value.size());
            dpb += value;
            break;
        case isc_dpb_num_buffers:
        case isc_dpb_verify:
        case isc_dpb_dbkey_scope:
        case isc_dpb_damaged:
        case isc_dpb_force_write:
        case isc_dpb_no_reserve:
            dpb += static_cast<char>(tag);
            dpb += '\1';
            dpb += static_cast<char>(toInt(value) & 0xFF);
            break;
        case isc_dpb_sweep:
            dpb += static_cast<char>(tag);
            dpb += '\1';
            dpb += '\2';
            break;
        case isc_dpb_sweep_interval: {
            unsigned long n = static_cast<unsigned long>(toInt(value));
            dpb += static_cast<char>(tag);
            dpb += '\4';
            for (int i = 0; i < 4; ++i)
                dpb += static_cast<char>((n >> (8 * i)) & 0xFF);
            break;
        }
        case isc_dpb_activate_shadow:
        case isc_dpb_delete_shadow:
        case isc_dpb_begin_log:
        case isc_dpb_quit_log:
            dpb += static_cast<char>(tag);
            dpb += '\1';
            dpb += '\0';
            break;
        default:
            RaiseClientError(11, {key});
        }
    }
    return dpb;
}

std::string GenerateTPB(const std::vector<std::string>& params) {
    if (params.empty()) return {};
    std::string tpb(1, static_cast<char>(isc_tpb_version3));
    for (const std::string& line : params) {
        if (trim(line).empty()) continue;
        size_t eq = line.find('=');
        std::string name = eq == std::string::npos ? line : line.substr(0, eq);
        std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
        std::string key = lower(name);
        removePrefix(key, "isc_tpb_");
        int tag = tagOf(kTpbNames, std::size(kTpbNames), key);
        if (tag == 0) RaiseClientError(115, {name});
        switch (tag) {
        case isc_tpb_lock_read:
        case isc_tpb_lock_write:
            if (value.size() > 255) RaiseClientError(fbceTPBValueTooLong, {key});
            tpb += static_cast<char>(tag);
            tpb += static_cast<char>(value.size());
            tpb += value;
            break;
        case isc_tpb_verb_time:
        case isc_tpb_commit_time:
        case isc_tpb_autocommit:
        case isc_tpb_restart_requests:
        case isc_tpb_no_auto_undo:
        case isc_tpb_lock_timeout:
            RaiseClientError(13, {key});
        default:
            tpb += static_cast<char>(tag);
        }
    }
    return tpb;
}

// ---------------------------------------------------------------------------
// Registration

// A connection lists its transactions and a transaction its connections:
// the two halves of one many-to-many list, kept in step only here.
struct TFbPairing {
    static void Join(TFbDatabase& db, TFbTransaction& tr) {
        db.transactions_.Add(&tr);
        tr.databases_.Add(&db);
    }
    static void Part(TFbDatabase& db, TFbTransaction& tr) {
        db.transactions_.Take(db.transactions_.Find(&tr));
        tr.databases_.Take(tr.databases_.Find(&db));
        if (db.defaultTransaction_ == &tr) db.defaultTransaction_ = nullptr;
        if (tr.defaultDatabase_ == &db) tr.defaultDatabase_ = nullptr;
    }
};

namespace {

// Tells every client of `clients` something through `hook`. A client that
// refuses stops a normal end or close; a forced one goes on regardless.
template <class F> void tellClients(const TFbSlots<TFbLink>& clients, bool force, F hook) {
    clients.ForEach([&](TFbLink* c) {
        try {
            hook(*c);
        } catch (...) {
            if (!force) throw;
        }
    });
}

} // namespace

// ---------------------------------------------------------------------------
// TFbLink

TFbLink::TFbLink() = default;

TFbLink::~TFbLink() {
    if (transaction_) transaction_->RemoveClient(transactionSlot_);
    if (database_) database_->RemoveClient(databaseSlot_);
}

void TFbLink::SetDatabase(TFbDatabase* db) {
    if (db == database_) return;
    if (database_) database_->RemoveClient(databaseSlot_);
    database_ = nullptr;
    databaseSlot_ = -1;
    if (!db) return;
    databaseSlot_ = db->AddClient(this);
    database_ = db;
    if (!transaction_) SetTransaction(db->FindDefaultTransaction());
}

void TFbLink::SetTransaction(TFbTransaction* tr) {
    if (tr == transaction_) return;
    if (transaction_) transaction_->RemoveClient(transactionSlot_);
    transaction_ = nullptr;
    transactionSlot_ = -1;
    if (!tr) return;
    transactionSlot_ = tr->AddClient(this);
    transaction_ = tr;
    if (!database_) SetDatabase(tr->FindDefaultDatabase());
}

void TFbLink::CheckDatabase() const {
    if (!database_) RaiseClientError(24);
    database_->CheckActive();
}

void TFbLink::CheckTransaction() const {
    if (!transaction_) RaiseClientError(25);
    transaction_->CheckInTransaction();
}

void TFbLink::EnsureActive() const {
    CheckDatabase();
    CheckTransaction();
}

isc_db_handle* TFbLink::DBHandle() const {
    if (!database_) RaiseClientError(24);
    return database_->Handle();
}

isc_tr_handle* TFbLink::TRHandle() const {
    if (!transaction_) RaiseClientError(25);
    return transaction_->Handle();
}

ISC_STATUS TFbLink::Call(ISC_STATUS result, bool raise) const {
    if (transaction_) return transaction_->Call(result, raise);
    if (database_) return database_->Call(result, raise);
    return CheckStatus(result, raise);
}

TFbStatus TFbLink::Capture(ISC_STATUS result) const {
    if (transaction_) return transaction_->Capture(result);
    if (database_) return database_->Capture(result);
    return TFbStatus(result);
}

void TFbLink::databaseGone() {
    try {
        DatabaseFree();
    } catch (...) {
        // The connection is going away whatever the client thinks of it.
    }
    if (transaction_) transaction_->RemoveClient(transactionSlot_);
    transaction_ = nullptr;
    transactionSlot_ = -1;
    database_ = nullptr;
    databaseSlot_ = -1;
}

void TFbLink::transactionGone() {
    try {
        TransactionFree();
    } catch (...) {
    }
    transaction_ = nullptr;
    transactionSlot_ = -1;
}

// ---------------------------------------------------------------------------
// TFbDatabase

namespace {

const char* libraryFileOf(TFbClientLib lib) {
    switch (lib) {
    case clGDS32:
        return "libgds.so.0";
    case clFBClient:
        return "libfbclient.so.2";
    case clFBEmbed:
        return "libfbembed.so.2.5";
    case clAutoDetect:
        break;
    }
    return "";
}

} // namespace

TFbDatabase::TFbDatabase() {
    RequireClientLibrary();
    internalTransaction_ = std::make_unique<TFbTransaction>();
    internalTransaction_->SetDefaultDatabase(this);
}

TFbDatabase::~TFbDatabase() {
    try {
        if (Connected()) DoDisconnect(true);
    } catch (...) {
    }
    waitForLeaving();
    for (int i = 0; i < clients_.Count(); ++i)
        if (TFbLink* c = clients_.Take(i)) c->databaseGone();
    internalTransaction_.reset();
    RemoveTransactions();
}

void TFbDatabase::SetDatabaseName(const std::string& name) {
    if (name == databaseName_) return;
    CheckInactive();
    databaseName_ = name;
}

void TFbDatabase::paramsChanging() {
    CheckInactive();
    dpbChanged_ = true;
}

void TFbDatabase::SetParams(const std::vector<std::string>& lines) {
    paramsChanging();
    params_ = lines;
}

void TFbDatabase::AddParam(const std::string& line) {
    paramsChanging();
    params_.push_back(line);
}

void TFbDatabase::ClearParams() {
    paramsChanging();
    params_.clear();
}

void TFbDatabase::Open() {
    if (Connected()) return;
    DoConnect();
}

void TFbDatabase::Close() {
    if (!Connected()) return;
    DoDisconnect(false);
}

void TFbDatabase::SetConnected(bool value) {
    if (value)
        Open();
    else
        Close();
}

void TFbDatabase::CheckActive() const {
    if (!Connected()) RaiseClientError(15);
}

void TFbDatabase::CheckInactive() const {
    if (Connected()) RaiseClientError(16);
}

void TFbDatabase::loginStep() {
    // No login dialog exists in this program: without an OnLogin handler the
    // lines are used as they stand, as if the dialog had been confirmed.
    if (!OnLogin) return;
    std::vector<std::string> lines = params_;
    OnLogin(*this, lines);
    for (auto it = lines.begin(); it != lines.end();) {
        std::string l = lower(*it);
        removePrefix(l, "isc_dpb_");
        if (l.compare(0, 8, "password") == 0 && (l.size() == 8 || l[8] == '=')) {
            size_t eq = it->find('=');
            hiddenPassword_ = eq == std::string::npos ? std::string() : it->substr(eq + 1);
            it = lines.erase(it);
        } else {
            ++it;
        }
    }
    params_ = lines;
    dpbChanged_ = true;
}

void TFbDatabase::DoConnect() {
    if (BeforeConnect) BeforeConnect(*this);
    CheckInactive();
    if (databaseName_.empty()) RaiseClientError(17);
    if (!loginPrompt_ && !hiddenPassword_.empty()) {
        hiddenPassword_.clear();
        dpbChanged_ = true;
    }
    if (loginPrompt_) loginStep();
    if (dpbChanged_) {
        std::vector<std::string> lines = params_;
        if (loginPrompt_ && !hiddenPassword_.empty())
            lines.push_back("password=" + hiddenPassword_);
        // The mark is cleared only once the block is built, so a refused
        // line is refused again at the next Open instead of reusing an old block.
        dpb_ = GenerateDPB(lines);
        dpbChanged_ = false;
    }
    waitForLeaving();
    attach(dpb_);
    survey();
    if (dbSqlDialect_ < sqlDialect_) {
        sqlDialect_ = dbSqlDialect_;
        if (OnDialectDowngradeWarning) OnDialectDowngradeWarning(*this);
    }
    if (AfterConnect) AfterConnect(*this);
    if (defaultTransaction_ && defaultTransaction_->AutoCommit() && !defaultTransaction_->Active())
        defaultTransaction_->StartTransaction();
}

void TFbDatabase::attach(const std::string& dpb) {
    TFbStatus status = Capture(FbApi().isc_attach_database(
        StatusVector(), static_cast<short>(databaseName_.size()), databaseName_.c_str(),
        handle_.Ptr(), static_cast<short>(dpb.size()), dpb.data()));
    if (status) {
        handle_.Forget();
        status.Raise();
    }
    attachDpb_ = dpb;
    exactBindingsAsked_ = false;
}

namespace {

// The set named by an lc_ctype line of `lines`; -1 when none names one.
int askedCharSet(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        // The key read as the block's builder reads it.
        std::string key = lower(line.substr(0, eq));
        removePrefix(key, "isc_dpb_");
        if (tagOf(kDpbNames, std::size(kDpbNames), key) == isc_dpb_lc_ctype)
            return std::max(rtl::charSetId(trim(line.substr(eq + 1))), 0);
    }
    return -1;
}

} // namespace

void TFbDatabase::startCatalogTransaction() {
    // Read only and read committed: it sees every catalog change others
    // commit, and the server counts it as committed from its start, so it
    // holds no garbage back however long the connection lives.
    static const char tpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed,
                               isc_tpb_rec_version};
    struct {
        isc_db_handle* db;
        long length;
        const char* tpb;
    } teb{handle_.Ptr(), sizeof tpb, tpb};
    TFbStatus status =
        Capture(FbApi().isc_start_multiple(StatusVector(), catalogTr_.Ptr(), 1, &teb));
    if (status) {
        catalogTr_.Forget();
        status.Raise();
    }
}

void TFbDatabase::endCatalogTransaction() noexcept {
    if (!catalogTr_) return;
    // It wrote nothing: a refused commit loses nothing, and the owner then
    // gives the handle back as it can.
    if (FbApi().isc_commit_transaction(StatusVector(), catalogTr_.Ptr()) != 0) catalogTr_.Reset();
    catalogTr_.Forget();
}

void TFbDatabase::waitForLeaving() noexcept {
    if (leaving_.valid()) leaving_.wait();
}

void TFbDatabase::survey() {
    defaultCharSet_ = connectionCharSet_ = textCharSet_ = rtl::cs::None;
    serverVersion_.clear();
    int single = rtl::cs::None; // the one single-byte set met so far
    bool mixed = false;         // a multi-byte set, or two single-byte ones
    bool dialectKnown = false;
    try {
        startCatalogTransaction();
        TFbCatalogQuery q(handle_.Ptr(), catalogTr_.Ptr());
        TFbCatalogQuery::Row row;
        bool serverFacts = true;
        try {
            q.One(FbCatalogSurveySQL(true), {}, {16, 16, 16, 16, 64}, row);
        } catch (const EFbFirebirdError&) {
            // A server before Firebird 2.1: no MON$ tables, no SYSTEM context.
            serverFacts = false;
            q.One(FbCatalogSurveySQL(false), {}, {16, 16, 16}, row);
        }
        defaultCharSet_ = static_cast<int>(FbRowInt(row, 0));
        for (std::size_t i = 0; i < 3; ++i) {
            const int id = static_cast<int>(FbRowInt(row, i));
            // Text without a set, bytes, and ASCII read alike in any
            // single-byte set (the query leaves them out of the columns').
            if (!row[i] || id == rtl::cs::None || id == rtl::cs::Octets || id == rtl::cs::Ascii)
                continue;
            if (!rtl::isSingleByte(id) || (single != rtl::cs::None && single != id))
                mixed = true;
            else
                single = id;
        }
        if (serverFacts && row[3]) {
            dbSqlDialect_ = static_cast<int>(FbRowInt(row, 3));
            dialectKnown = true;
            serverVersion_ = FbRowText(row, 4);
        }
    } catch (const EFbError&) {
        // A server without this catalog (or a refused read) leaves the
        // connection as it was asked for: text in each column's own set.
        endCatalogTransaction();
        mixed = false;
    }
    if (!dialectKnown) readDatabaseInfo();
    const int asked = askedCharSet(params_);
    if (asked >= 0) {
        connectionCharSet_ = asked;
    } else if (mixed) {
        // One text set for everything: the only way columns of different
        // sets can all be shown, typed and compared right.
        const std::string first = attachDpb_;
        // The block as asked, then the one clump (the builder's, without its
        // version byte).
        const std::string dpb = first + GenerateDPB({"lc_ctype=UTF8"}).substr(1);
        // The first attachment ends (its transaction rolled back, then the
        // detach) on a thread of its own while the second one is made:
        // nobody waits for its answers. Its handles are the thread's alone.
        leaving_ = std::async(std::launch::async,
                              [tr = std::move(catalogTr_), db = std::move(handle_)]() mutable {
                                  tr.Reset();
                                  db.Reset();
                              });
        try {
            attach(dpb);
            connectionCharSet_ = rtl::cs::Utf8;
        } catch (const EFbError&) {
            // A server that refuses the set still takes the block as asked.
            attach(first);
        }
    }
    textCharSet_ = connectionCharSet_ != rtl::cs::None ? connectionCharSet_ : single;
}

bool TFbDatabase::AskExactBindings() {
    if (exactBindingsAsked_ || !Connected()) return false;
    exactBindingsAsked_ = true;
    // Older servers (and the embedded Firebird 3 engine) get no statement:
    // the list is empty for them.
    const std::vector<std::string> list = FbExactBindingsSQL(serverVersion_);
    if (list.empty()) return false;
    for (const std::string& sql : list) {
        isc_tr_handle none = 0;
        // A refusal leaves those types as the server sends them by default:
        // the rest of the attachment serves as before.
        if (Capture(FbApi().isc_dsql_execute_immediate(StatusVector(), handle_.Ptr(), &none, 0,
                                                       sql.c_str(), 3, nullptr)))
            break;
    }
    return true;
}

void TFbDatabase::readDatabaseInfo() {
    const TFbClientApi& api = FbApi();
    const char items[] = {isc_info_db_sql_dialect};
    char reply[512] = {};
    Call(api.isc_database_info(StatusVector(), handle_.Ptr(), sizeof items, items, sizeof reply,
                               reply));
    // A server that does not answer the item speaks dialect 1.
    dbSqlDialect_ = 1;
    for (const char* p = reply; p + 3 <= reply + sizeof reply;) {
        const char item = *p++;
        if (item == isc_info_end || item == isc_info_truncated) break;
        const short len = static_cast<short>(api.isc_vax_integer(p, 2));
        p += 2;
        if (len < 0 || p + len > reply + sizeof reply) break;
        if (item == isc_info_db_sql_dialect && len >= 1 && len <= 4)
            dbSqlDialect_ = static_cast<int>(api.isc_vax_integer(p, len));
        p += len;
    }
}

void TFbDatabase::DoDisconnect(bool force) {
    CheckActive();
    if (!force && BeforeDisconnect) BeforeDisconnect(*this);
    transactions_.ForEach([&](TFbTransaction* tr) {
        try {
            tr->CloseForced();
        } catch (...) {
            if (!force) throw;
        }
    });
    tellClients(clients_, force, [](TFbLink& c) { c.DatabaseDisconnecting(); });
    endCatalogTransaction();
    facts_.clear();
    TFbStatus status = Capture(FbApi().isc_detach_database(StatusVector(), handle_.Ptr()));
    if (status) {
        if (!force) status.Raise();
        handle_.Forget();
    }
    tellClients(clients_, force, [](TFbLink& c) { c.DatabaseDisconnected(); });
    if (!force) {
        if (AfterDisconnect) AfterDisconnect(*this);
        dbSqlDialect_ = 3;
    }
}

void TFbDatabase::SetSQLDialect(int value) {
    if (value < 1) RaiseClientError(87);
    if (Connected() && value > dbSqlDialect_) RaiseClientError(87);
    sqlDialect_ = value;
}

void TFbDatabase::SetDefaultTransaction(TFbTransaction* tr) {
    if (tr == defaultTransaction_) return;
    TFbTransaction* old = defaultTransaction_;
    if (old && old->DefaultDatabase() != this) TFbPairing::Part(*this, *old);
    defaultTransaction_ = tr;
    if (tr) TFbPairing::Join(*this, *tr);
}

void TFbDatabase::SetIdleTimer(int ms) {
    if (ms < 0) RaiseClientError(20);
    idleTimer_ = ms;
}

void TFbDatabase::SetClientLib(TFbClientLib value) {
    if (value == clientLib_) return;
    std::string file = libraryFileOf(value);
    if (LoadClientLibrary() && (value == clAutoDetect || ClientLibraryName() == file)) {
        clientLib_ = value;
        return;
    }
    bool abort = false;
    if (OnClientLibChange) OnClientLibChange(*this, value, abort);
    if (abort) return;
    if (Connected()) DoDisconnect(true);
    waitForLeaving();
    UnloadClientLibrary();
    SetClientLibraryName(file);
    clientLib_ = value;
    RequireClientLibrary();
}

void TFbDatabase::ExecuteImmediate(const std::string& sql) {
    CheckActive();
    TFbTransaction& tr = *internalTransaction_;
    bool startedHere = !tr.Active();
    if (startedHere) tr.StartTransaction();
    try {
        tr.Call(FbApi().isc_dsql_execute_immediate(
            StatusVector(), handle_.Ptr(), tr.Handle(), 0, sql.c_str(),
            static_cast<unsigned short>(sqlDialect_), nullptr));
    } catch (...) {
        try {
            if (startedHere) tr.Rollback();
        } catch (...) {
        }
        throw;
    }
    // Someone else's catalog work may be running in the internal
    // transaction: keep it alive for them.
    if (startedHere)
        tr.Commit();
    else
        tr.CommitRetaining();
    // The statement may have changed any table.
    facts_.clear();
}

void TFbDatabase::ListTableNames(std::vector<std::string>& names, bool includeSystemTables) {
    if (!Connected()) Open();
    if (!catalogTr_) startCatalogTransaction();
    TFbCatalogQuery q(handle_.Ptr(), catalogTr_.Ptr());
    // Filled into a local list and swapped in, so observers of the caller's
    // list see one change.
    std::vector<std::string> result;
    std::map<std::string, std::string> stamps;
    const auto each = [&](const TFbCatalogQuery::Row& row) {
        result.push_back(FbTrimRight(FbRowText(row, 0)));
        if (row.size() > 1) stamps[result.back()] = FbRowText(row, 1);
    };
    try {
        try {
            q.Each(FbCatalogTableNamesSQL(includeSystemTables), {}, each);
        } catch (const EFbFirebirdError& e) {
            if (e.ConnectionLost()) throw;
            // A server before Firebird 2.1 (no HASH): the names alone, and no
            // kept fact can be vouched for.
            result.clear();
            stamps.clear();
            facts_.clear();
            q.Each(FbCatalogTableNamesSQL(includeSystemTables, false), {}, each);
        }
    } catch (...) {
        // The next listing starts afresh.
        endCatalogTransaction();
        throw;
    }
    for (auto it = facts_.begin(); it != facts_.end();) {
        auto listed = stamps.find(it->first);
        if (listed != stamps.end() && listed->second != it->second->Stamp)
            it = facts_.erase(it);
        else
            ++it;
    }
    names.swap(result);
}

std::shared_ptr<const TFbTableFacts> TFbDatabase::TableFacts(const std::string& relation,
                                                             TFbTransaction& tr, bool fresh) {
    if (!fresh) {
        auto kept = facts_.find(relation);
        if (kept != facts_.end()) return kept->second;
    }
    CheckActive();
    tr.CheckInTransaction();
    auto facts = std::make_shared<TFbTableFacts>();
    facts->Relation = relation;
    TFbCatalogQuery q(handle_.Ptr(), tr.Handle());
    std::string records;
    const auto head = [&](const TFbCatalogQuery::Row& row) {
        facts->Found = true;
        facts->Updatable = FbRowInt(row, 0) == 0 && FbRowInt(row, 1) == 8;
        facts->Stamp = FbRowText(row, 2);
    };
    try {
        TFbCatalogQuery::Row row;
        if (q.One(FbCatalogTableFactsSQL(true), {relation}, {16, 16, 64, kFbFactsBytes}, row)) {
            head(row);
            records = FbRowText(row, 3);
        }
    } catch (const EFbFirebirdError& e) {
        if (e.ConnectionLost() || e.IBErrorCode() == isc_cancelled) throw;
        // More columns than one text holds: one record a row.
        records.clear();
        q.Each(FbCatalogTableFactsSQL(false), {relation}, [&](const TFbCatalogQuery::Row& row) {
            head(row);
            records += FbRowText(row, 3);
        });
    }
    FbReadFactRecords(*facts, records);
    facts_[relation] = facts;
    return facts;
}

void TFbDatabase::ForgetTableFacts(const std::string& relation) {
    if (relation.empty())
        facts_.clear();
    else
        facts_.erase(relation);
}

void TFbDatabase::CreateDatabase(const std::string& sql, int dialect) {
    RequireClientLibrary();
    // CREATE DATABASE attaches to the new file; the owner detaches again.
    TFbAttachmentHandle db;
    TFbTransactionHandle tr;
    CheckStatus(FbApi().isc_dsql_execute_immediate(StatusVector(), db.Ptr(), tr.Ptr(), 0,
                                                   sql.c_str(),
                                                   static_cast<unsigned short>(dialect), nullptr));
}

int TFbDatabase::AddTransaction(TFbTransaction* tr) {
    TFbPairing::Join(*this, *tr);
    return transactions_.Find(tr);
}

int TFbDatabase::FindTransaction(TFbTransaction* tr) const {
    return tr ? transactions_.Find(tr) : -1;
}

void TFbDatabase::RemoveTransaction(int index) {
    if (index < 0 || index >= TransactionCount()) return;
    if (TFbTransaction* tr = transactions_.At(index)) TFbPairing::Part(*this, *tr);
}

void TFbDatabase::RemoveTransactions() {
    for (int i = 0; i < TransactionCount(); ++i)
        RemoveTransaction(i);
}

int TFbDatabase::AddClient(TFbLink* client) {
    return clients_.Add(client);
}

void TFbDatabase::RemoveClient(int index) {
    clients_.Take(index);
}

TFbTransaction* TFbDatabase::FindDefaultTransaction() const {
    if (defaultTransaction_) return defaultTransaction_;
    TFbTransaction* found = nullptr;
    transactions_.ForEach([&](TFbTransaction* tr) {
        if (!found && tr != internalTransaction_.get() && tr->DefaultDatabase() == this) found = tr;
    });
    return found;
}

ISC_STATUS TFbDatabase::Call(ISC_STATUS result, bool raise) {
    idle_ = false;
    return CheckStatus(result, raise);
}

TFbStatus TFbDatabase::Capture(ISC_STATUS result) {
    idle_ = false;
    return TFbStatus(result);
}

bool TFbDatabase::CancelOperation() const {
    const auto cancel = FbApi().fb_cancel_operation;
    // A copy: the library writes through the address it gets, and the
    // member belongs to the thread whose call is being stopped.
    isc_db_handle handle = handle_.Get();
    if (!cancel || !handle) return false;
    ISC_STATUS_ARRAY local{};
    return cancel(local, &handle, fb_cancel_raise) == 0;
}

bool TFbDatabase::CanCancelOperation() {
    try {
        return LoadClientLibrary() && FbApi().fb_cancel_operation != nullptr;
    } catch (...) {
        return false; // a library that cannot be bound cannot cancel either
    }
}

// ---------------------------------------------------------------------------
// TFbCancellableCall

TFbCancellableCall::TFbCancellableCall(TFbDatabase& db, std::function<void()> work)
    : db_(db), result_(std::async(std::launch::async, std::move(work))) {}

TFbCancellableCall::TFbCancellableCall(TFbDatabase& db,
                                       std::function<void(const std::atomic<bool>&)> work,
                                       bool stopOnServer)
    : db_(db), stopOnServer_(stopOnServer),
      result_(
          std::async(std::launch::async, [this, w = std::move(work)] { w(cancelRequested_); })) {}

TFbCancellableCall::~TFbCancellableCall() {
    if (!result_.valid()) return;
    // The work may still be on its way to the server when the first cancel
    // goes out, so cancelling repeats until the work gives up.
    while (!WaitFor(std::chrono::milliseconds(100)))
        Cancel();
}

bool TFbCancellableCall::WaitFor(std::chrono::milliseconds limit) const {
    return !result_.valid() || result_.wait_for(limit) == std::future_status::ready;
}

bool TFbCancellableCall::Cancel() {
    cancelRequested_ = true;
    return stopOnServer_ && !Finished() && db_.CancelOperation();
}

void TFbCancellableCall::Get() {
    if (!result_.valid()) return;
    result_.get();
    if (cancelRequested_) RaiseClientError(10);
}

// ---------------------------------------------------------------------------
// TFbTransaction

namespace {

// One entry of the transaction existence block of isc_start_multiple.
struct TransactionExistenceBlock {
    isc_db_handle* database;
    int tpbLength;
    const char* tpb;
};

} // namespace

TFbTransaction::TFbTransaction() {
    RequireClientLibrary();
}

TFbTransaction::~TFbTransaction() {
    try {
        CloseForced();
    } catch (...) {
    }
    for (int i = 0; i < clients_.Count(); ++i)
        if (TFbLink* c = clients_.Take(i)) c->transactionGone();
    RemoveDatabases();
}

void TFbTransaction::SetParams(const std::vector<std::string>& lines) {
    params_ = lines;
    tpbChanged_ = true;
}

void TFbTransaction::AddParam(const std::string& line) {
    params_.push_back(line);
    tpbChanged_ = true;
}

void TFbTransaction::ClearParams() {
    params_.clear();
    tpbChanged_ = true;
}

void TFbTransaction::SetIdleTimer(int ms) {
    if (ms < 0) RaiseClientError(20);
    idleTimer_ = ms;
}

void TFbTransaction::CheckNotInTransaction() const {
    if (Active()) RaiseClientError(19);
}

void TFbTransaction::CheckInTransaction() {
    if (!Active()) StartTransaction();
    if (!Active()) RaiseClientError(18);
}

void TFbTransaction::StartTransaction() {
    CheckNotInTransaction();
    std::vector<TransactionExistenceBlock> teb;
    databases_.ForEach([&](TFbDatabase* db) { teb.push_back({db->Handle(), 0, nullptr}); });
    if (teb.empty()) RaiseClientError(21);
    databases_.ForEach([](TFbDatabase* db) { db->CheckActive(); });
    if (tpbChanged_) {
        // Cleared only after a successful build (see TFbDatabase::DoConnect).
        tpb_ = GenerateTPB(params_);
        tpbChanged_ = false;
    }
    for (auto& entry : teb) {
        entry.tpbLength = static_cast<int>(tpb_.size());
        entry.tpb = tpb_.empty() ? nullptr : tpb_.data();
    }
    TFbStatus status = Capture(FbApi().isc_start_multiple(
        StatusVector(), handle_.Ptr(), static_cast<short>(teb.size()), teb.data()));
    if (status) {
        handle_.Forget();
        status.Raise();
    }
    if (OnStartTransaction) OnStartTransaction(*this);
}

void TFbTransaction::notifyClients(bool ended, bool force) {
    if (ended)
        tellClients(clients_, force, [](TFbLink& c) { c.TransactionEnded(); });
    else
        tellClients(clients_, force, [](TFbLink& c) { c.TransactionEnding(); });
}

void TFbTransaction::EndTransaction(TTransactionAction action, bool force) {
    // Every end, not only the explicit ones, carries the mark: a dataset that
    // closes because the transaction ends must not start a second, nested end.
    // Cleared whatever happens, so a failed end never blocks later requests.
    ending_ = true;
    struct ClearMark {
        bool& mark;
        ~ClearMark() { mark = false; }
    } clearMark{ending_};
    CheckInTransaction();
    const TFbClientApi& api = FbApi();
    bool fire = !force;
    switch (action) {
    case TACommit:
    case TARollback: {
        notifyClients(false, force);
        TFbStatus status;
        if (action == TACommit) {
            if (fire && BeforeCommit) BeforeCommit(*this);
            status = Capture(api.isc_commit_transaction(StatusVector(), handle_.Ptr()));
        } else {
            if (fire && BeforeRollback) BeforeRollback(*this);
            status = Capture(api.isc_rollback_transaction(StatusVector(), handle_.Ptr()));
        }
        if (force) {
            // A refused end still ends: the owner rolls back what is left.
            handle_.Reset();
        } else if (status) {
            // Raised before the After event: a refused end is not an end.
            status.Raise();
        }
        if (fire) {
            if (action == TACommit && AfterCommit) AfterCommit(*this);
            if (action == TARollback && AfterRollback) AfterRollback(*this);
        }
        notifyClients(true, force);
        if (fire && OnEndTransaction) OnEndTransaction(*this);
        break;
    }
    case TACommitRetaining:
        if (fire && BeforeCommitRetaining) BeforeCommitRetaining(*this);
        Call(api.isc_commit_retaining(StatusVector(), handle_.Ptr()));
        if (fire && AfterCommitRetaining) AfterCommitRetaining(*this);
        break;
    case TARollbackRetaining:
        if (fire && BeforeRollBackRetaining) BeforeRollBackRetaining(*this);
        Call(api.isc_rollback_retaining(StatusVector(), handle_.Ptr()));
        if (fire && AfterRollBackRetaining) AfterRollBackRetaining(*this);
        break;
    }
}

void TFbTransaction::explicitEnd(TTransactionAction action) {
    EndTransaction(action, false);
}

void TFbTransaction::Commit() {
    explicitEnd(TACommit);
}

void TFbTransaction::Rollback() {
    explicitEnd(TARollback);
}

void TFbTransaction::CommitRetaining() {
    explicitEnd(TACommitRetaining);
}

void TFbTransaction::RollbackRetaining() {
    explicitEnd(TARollbackRetaining);
}

void TFbTransaction::SetActive(bool value) {
    if (value && !Active())
        StartTransaction();
    else if (!value && Active())
        Rollback();
}

void TFbTransaction::CloseForced() {
    if (!Active()) return;
    // A forced end must leave the transaction inactive (its connection is
    // about to go), so a retaining default ends as its plain counterpart.
    TTransactionAction action = defaultAction_;
    if (action == TACommitRetaining) action = TACommit;
    if (action == TARollbackRetaining) action = TARollback;
    EndTransaction(action, true);
}

void TFbTransaction::EndOnClientRequest() {
    if (ending_ || !Active()) return;
    EndTransaction(defaultAction_, false);
}

void TFbTransaction::SetDefaultDatabase(TFbDatabase* db) {
    if (db == defaultDatabase_) return;
    if (TFbDatabase* old = defaultDatabase_) TFbPairing::Part(*old, *this);
    defaultDatabase_ = db;
    if (!db) return;
    TFbPairing::Join(*db, *this);
    clients_.ForEach([&](TFbLink* c) {
        if (!c->Database()) c->SetDatabase(db);
    });
}

int TFbTransaction::AddDatabase(TFbDatabase* db) {
    TFbPairing::Join(*db, *this);
    return databases_.Find(db);
}

int TFbTransaction::FindDatabase(TFbDatabase* db) const {
    return db ? databases_.Find(db) : -1;
}

void TFbTransaction::RemoveDatabase(int index) {
    if (index < 0 || index >= DatabaseCount()) return;
    if (TFbDatabase* db = databases_.At(index)) TFbPairing::Part(*db, *this);
}

void TFbTransaction::RemoveDatabases() {
    for (int i = 0; i < DatabaseCount(); ++i)
        RemoveDatabase(i);
}

int TFbTransaction::AddClient(TFbLink* client) {
    return clients_.Add(client);
}

void TFbTransaction::RemoveClient(int index) {
    clients_.Take(index);
}

TFbDatabase* TFbTransaction::FindDefaultDatabase() const {
    if (defaultDatabase_) return defaultDatabase_;
    TFbDatabase* found = nullptr;
    databases_.ForEach([&](TFbDatabase* db) {
        if (!found && db->DefaultTransaction() == this) found = db;
    });
    return found;
}

void TFbTransaction::markBusy() {
    idle_ = false;
    databases_.ForEach([](TFbDatabase* db) { db->Call(0, false); });
}

ISC_STATUS TFbTransaction::Call(ISC_STATUS result, bool raise) {
    markBusy();
    return CheckStatus(result, raise);
}

TFbStatus TFbTransaction::Capture(ISC_STATUS result) {
    markBusy();
    return TFbStatus(result);
}
