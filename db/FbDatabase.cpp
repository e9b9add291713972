#include "db/FbDatabase.h"

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

template <typename T> int addToSlots(std::vector<T*>& list, T* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it != list.end()) return static_cast<int>(it - list.begin());
    it = std::find(list.begin(), list.end(), nullptr);
    if (it != list.end()) {
        *it = item;
        return static_cast<int>(it - list.begin());
    }
    list.push_back(item);
    return static_cast<int>(list.size()) - 1;
}

template <typename T> int findInSlots(const std::vector<T*>& list, const T* item) {
    if (!item) return -1;
    auto it = std::find(list.begin(), list.end(), item);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

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
    for (size_t i = 0; i < clients_.size(); ++i)
        if (TFbLink* c = clients_[i]) {
            clients_[i] = nullptr;
            c->databaseGone();
        }
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
    const TFbClientApi& api = FbApi();
    ISC_STATUS r =
        Call(api.isc_attach_database(StatusVector(), static_cast<short>(databaseName_.size()),
                                     databaseName_.c_str(), &handle_,
                                     static_cast<short>(dpb_.size()), dpb_.data()),
             false);
    if (r > 0) {
        handle_ = 0;
        RaiseServerError();
    }
    readDialect();
    if (dbSqlDialect_ < sqlDialect_) {
        sqlDialect_ = dbSqlDialect_;
        if (OnDialectDowngradeWarning) OnDialectDowngradeWarning(*this);
    }
    if (AfterConnect) AfterConnect(*this);
    if (defaultTransaction_ && defaultTransaction_->AutoCommit() && !defaultTransaction_->Active())
        defaultTransaction_->StartTransaction();
}

void TFbDatabase::readDialect() {
    const TFbClientApi& api = FbApi();
    char item = isc_info_db_sql_dialect;
    char reply[512] = {};
    Call(api.isc_database_info(StatusVector(), &handle_, 1, &item, sizeof reply, reply));
    if (reply[0] != isc_info_db_sql_dialect) {
        dbSqlDialect_ = 1;
        return;
    }
    short len = static_cast<short>(api.isc_vax_integer(reply + 1, 2));
    if (len < 1 || len > 4) len = 1;
    dbSqlDialect_ = static_cast<int>(api.isc_vax_integer(reply + 3, len));
}

void TFbDatabase::DoDisconnect(bool force) {
    CheckActive();
    if (!force && BeforeDisconnect) BeforeDisconnect(*this);
    for (size_t i = 0; i < transactions_.size(); ++i) {
        if (TFbTransaction* tr = transactions_[i]) {
            try {
                tr->CloseForced();
            } catch (...) {
                if (!force) throw;
            }
        }
    }
    for (size_t i = 0; i < clients_.size(); ++i) {
        if (TFbLink* c = clients_[i]) {
            try {
                c->DatabaseDisconnecting();
            } catch (...) {
                if (!force) throw;
            }
        }
    }
    ISC_STATUS r = Call(FbApi().isc_detach_database(StatusVector(), &handle_), false);
    if (r > 0) {
        if (!force) RaiseServerError();
        handle_ = 0;
    }
    for (size_t i = 0; i < clients_.size(); ++i) {
        if (TFbLink* c = clients_[i]) {
            try {
                c->DatabaseDisconnected();
            } catch (...) {
                if (!force) throw;
            }
        }
    }
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
    if (old && old->DefaultDatabase() != this) RemoveTransaction(FindTransaction(old));
    defaultTransaction_ = tr;
    if (tr) AddTransaction(tr);
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
            StatusVector(), &handle_, tr.Handle(), 0, sql.c_str(),
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
}

void TFbDatabase::CreateDatabase(const std::string& sql, int dialect) {
    RequireClientLibrary();
    const TFbClientApi& api = FbApi();
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    CheckStatus(api.isc_dsql_execute_immediate(StatusVector(), &db, &tr, 0, sql.c_str(),
                                               static_cast<unsigned short>(dialect), nullptr));
    ISC_STATUS_ARRAY local;
    if (db) api.isc_detach_database(local, &db);
}

int TFbDatabase::AddTransaction(TFbTransaction* tr) {
    int index = addToSlots(transactions_, tr);
    if (tr->FindDatabase(this) < 0) tr->AddDatabase(this);
    return index;
}

int TFbDatabase::FindTransaction(TFbTransaction* tr) const {
    return findInSlots(transactions_, tr);
}

void TFbDatabase::RemoveTransaction(int index) {
    if (index < 0 || index >= TransactionCount()) return;
    TFbTransaction* tr = transactions_[index];
    if (!tr) return;
    transactions_[index] = nullptr;
    if (tr == defaultTransaction_) defaultTransaction_ = nullptr;
    int other = tr->FindDatabase(this);
    if (other >= 0) tr->RemoveDatabase(other);
}

void TFbDatabase::RemoveTransactions() {
    for (int i = 0; i < TransactionCount(); ++i)
        RemoveTransaction(i);
}

int TFbDatabase::AddClient(TFbLink* client) {
    return addToSlots(clients_, client);
}

void TFbDatabase::RemoveClient(int index) {
    if (index >= 0 && index < static_cast<int>(clients_.size())) clients_[index] = nullptr;
}

TFbTransaction* TFbDatabase::FindDefaultTransaction() const {
    if (defaultTransaction_) return defaultTransaction_;
    for (TFbTransaction* tr : transactions_)
        if (tr && tr != internalTransaction_.get() && tr->DefaultDatabase() == this) return tr;
    return nullptr;
}

ISC_STATUS TFbDatabase::Call(ISC_STATUS result, bool raise) {
    idle_ = false;
    return CheckStatus(result, raise);
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
    for (size_t i = 0; i < clients_.size(); ++i)
        if (TFbLink* c = clients_[i]) {
            clients_[i] = nullptr;
            c->transactionGone();
        }
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
    for (TFbDatabase* db : databases_)
        if (db) teb.push_back({db->Handle(), 0, nullptr});
    if (teb.empty()) RaiseClientError(21);
    for (TFbDatabase* db : databases_)
        if (db) db->CheckActive();
    if (tpbChanged_) {
        // Cleared only after a successful build (see TFbDatabase::DoConnect).
        tpb_ = GenerateTPB(params_);
        tpbChanged_ = false;
    }
    for (auto& entry : teb) {
        entry.tpbLength = static_cast<int>(tpb_.size());
        entry.tpb = tpb_.empty() ? nullptr : tpb_.data();
    }
    ISC_STATUS r = Call(FbApi().isc_start_multiple(StatusVector(), &handle_,
                                                   static_cast<short>(teb.size()), teb.data()),
                        false);
    if (r > 0) {
        handle_ = 0;
        RaiseServerError();
    }
    if (OnStartTransaction) OnStartTransaction(*this);
}

void TFbTransaction::notifyClients(bool ended, bool force) {
    for (size_t i = 0; i < clients_.size(); ++i) {
        TFbLink* c = clients_[i];
        if (!c) continue;
        try {
            if (ended)
                c->TransactionEnded();
            else
                c->TransactionEnding();
        } catch (...) {
            if (!force) throw;
        }
    }
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
        ISC_STATUS r;
        if (action == TACommit) {
            if (fire && BeforeCommit) BeforeCommit(*this);
            r = Call(api.isc_commit_transaction(StatusVector(), &handle_), false);
        } else {
            if (fire && BeforeRollback) BeforeRollback(*this);
            r = Call(api.isc_rollback_transaction(StatusVector(), &handle_), false);
        }
        if (force) {
            if (r > 0) {
                ISC_STATUS_ARRAY local;
                api.isc_rollback_transaction(local, &handle_);
            }
            handle_ = 0;
        } else if (r > 0) {
            // Raised before the After event: a refused end is not an end.
            RaiseServerError();
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
        Call(api.isc_commit_retaining(StatusVector(), &handle_));
        if (fire && AfterCommitRetaining) AfterCommitRetaining(*this);
        break;
    case TARollbackRetaining:
        if (fire && BeforeRollBackRetaining) BeforeRollBackRetaining(*this);
        Call(api.isc_rollback_retaining(StatusVector(), &handle_));
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
    if (TFbDatabase* old = defaultDatabase_) RemoveDatabase(FindDatabase(old));
    defaultDatabase_ = db;
    if (!db) return;
    AddDatabase(db);
    for (size_t i = 0; i < clients_.size(); ++i)
        if (TFbLink* c = clients_[i]; c && !c->Database()) c->SetDatabase(db);
}

int TFbTransaction::AddDatabase(TFbDatabase* db) {
    int index = addToSlots(databases_, db);
    if (db->FindTransaction(this) < 0) db->AddTransaction(this);
    return index;
}

int TFbTransaction::FindDatabase(TFbDatabase* db) const {
    return findInSlots(databases_, db);
}

void TFbTransaction::RemoveDatabase(int index) {
    if (index < 0 || index >= DatabaseCount()) return;
    TFbDatabase* db = databases_[index];
    if (!db) return;
    databases_[index] = nullptr;
    if (db == defaultDatabase_) defaultDatabase_ = nullptr;
    int other = db->FindTransaction(this);
    if (other >= 0) db->RemoveTransaction(other);
}

void TFbTransaction::RemoveDatabases() {
    for (int i = 0; i < DatabaseCount(); ++i)
        RemoveDatabase(i);
}

int TFbTransaction::AddClient(TFbLink* client) {
    return addToSlots(clients_, client);
}

void TFbTransaction::RemoveClient(int index) {
    if (index >= 0 && index < static_cast<int>(clients_.size())) clients_[index] = nullptr;
}

TFbDatabase* TFbTransaction::FindDefaultDatabase() const {
    if (defaultDatabase_) return defaultDatabase_;
    for (TFbDatabase* db : databases_)
        if (db && db->DefaultTransaction() == this) return db;
    return nullptr;
}

ISC_STATUS TFbTransaction::Call(ISC_STATUS result, bool raise) {
    idle_ = false;
    for (TFbDatabase* db : databases_)
        if (db) db->Call(0, false);
    return CheckStatus(result, raise);
}
