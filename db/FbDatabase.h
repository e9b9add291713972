#pragma once
// Connections (TFbDatabase), transactions (TFbTransaction) and the link
// through which statements and datasets are bound to both and hear about
// their ends (TFbLink).
#include "db/Fb.h"
#include "db/FbCatalog.h"
#include "db/FbIntf.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TFbDatabase;
class TFbTransaction;
class TFbLink;
struct TFbPairing;

/// A registration list whose removed entries leave an empty slot that the
/// next registration reuses, so the index handed out at registration stays
/// the entry's index until it leaves.
template <class T> class TFbSlots {
public:
    /// Where `item` already is, else the first empty slot, else a new one.
    int Add(T* item) {
        int index = Find(item);
        if (index < 0) index = Find(nullptr);
        if (index < 0) {
            items_.push_back(nullptr);
            index = Count() - 1;
        }
        items_[index] = item;
        return index;
    }
    /// -1 when absent.
    int Find(const T* item) const {
        for (int i = 0; i < Count(); ++i)
            if (items_[i] == item) return i;
        return -1;
    }
    /// Empties slot `index` and returns what it held (null for an empty
    /// slot or an index outside the list).
    T* Take(int index) {
        if (index < 0 || index >= Count()) return nullptr;
        return std::exchange(items_[index], nullptr);
    }
    /// May be null (an empty slot).
    T* At(int index) const { return items_.at(index); }
    int Count() const { return static_cast<int>(items_.size()); }
    /// Calls `f` with every entry in slot order. Entries may join or leave
    /// meanwhile: a slot emptied before its turn is skipped.
    template <class F> void ForEach(F&& f) const {
        for (size_t i = 0; i < items_.size(); ++i)
            if (T* item = items_[i]) f(item);
    }

private:
    std::vector<T*> items_;
};

/// Which client library file the binding loads.
enum TFbClientLib { clAutoDetect, clGDS32, clFBClient, clFBEmbed };

/// How a transaction ends when it is ended for someone else.
enum TTransactionAction {
    TARollback = 0,
    TACommit = 1,
    TARollbackRetaining = 2,
    TACommitRetaining = 3
};

/// Encodes DPB parameter lines ("name=value") into a database parameter
/// block (version byte 1 first). Throws EFbClientError 11 (recognised but
/// unsupported name), 114 (unknown name), fbceDPBValueTooLong (a text value
/// over 255 bytes) and std::invalid_argument (a number that is not an integer).
std::string GenerateDPB(const std::vector<std::string>& params);

/// Encodes TPB parameter lines into a transaction parameter block (version
/// byte 3 first; empty for no lines). Throws EFbClientError 13 (refused
/// name), 115 (unknown name), fbceTPBValueTooLong (a table name over 255 bytes).
std::string GenerateTPB(const std::vector<std::string>& params);

/// The companion that binds a statement or dataset to a connection and a
/// transaction. Statements and datasets derive from it (or own one) and
/// override the notification hooks. Registration with the connection and
/// the transaction follows Database()/Transaction(); the destructor
/// unregisters. Hooks are called in registration order; a hook that throws
/// aborts a non-forced end or close.
class TFbLink {
public:
    TFbLink();
    virtual ~TFbLink();
    TFbLink(const TFbLink&) = delete;
    TFbLink& operator=(const TFbLink&) = delete;

    TFbDatabase* Database() const { return database_; }
    /// Registers with `db` (unregistering from the previous connection).
    /// With no transaction yet, takes db->FindDefaultTransaction().
    void SetDatabase(TFbDatabase* db);

    TFbTransaction* Transaction() const { return transaction_; }
    /// Registers with `tr`. With no connection yet, takes
    /// tr->FindDefaultDatabase().
    void SetTransaction(TFbTransaction* tr);

    /// Client error 24 without a connection, 15 when it is not attached.
    void CheckDatabase() const;
    /// Client error 25 without a transaction; starts an inactive one; 18
    /// when it is still inactive.
    void CheckTransaction() const;
    /// CheckDatabase then CheckTransaction: what a client does before it
    /// calls the server.
    void EnsureActive() const;

    /// Raw handles for client calls (CheckDatabase/CheckTransaction first).
    isc_db_handle* DBHandle() const;
    isc_tr_handle* TRHandle() const;

    /// The transaction's CheckStatus variant (or the plain one without a
    /// transaction).
    ISC_STATUS Call(ISC_STATUS result, bool raise = true) const;
    /// Call without raising: the call's status, captured now.
    TFbStatus Capture(ISC_STATUS result) const;

protected:
    friend class TFbDatabase;
    friend class TFbTransaction;

    /// The transaction is about to commit or roll back (not retaining).
    virtual void TransactionEnding() {}
    /// The transaction has committed or rolled back.
    virtual void TransactionEnded() {}
    /// The transaction is being destroyed; the link drops it afterwards.
    virtual void TransactionFree() {}
    /// The connection is about to detach.
    virtual void DatabaseDisconnecting() {}
    /// The connection has detached.
    virtual void DatabaseDisconnected() {}
    /// The connection is being destroyed; the link drops it and its
    /// transaction afterwards.
    virtual void DatabaseFree() {}

private:
    void databaseGone();
    void transactionGone();

    TFbDatabase* database_ = nullptr;
    TFbTransaction* transaction_ = nullptr;
    int databaseSlot_ = -1;
    int transactionSlot_ = -1;
};

/// A connection to one database.
class TFbDatabase {
public:
    /// Loads the client library first (client error 1 when none is found).
    TFbDatabase();
    /// Closes forced, tells every client the connection is gone and
    /// unregisters every transaction. Never throws.
    ~TFbDatabase();
    TFbDatabase(const TFbDatabase&) = delete;
    TFbDatabase& operator=(const TFbDatabase&) = delete;

    const std::string& DatabaseName() const { return databaseName_; }
    /// Client error 16 when a different name is written while connected.
    void SetDatabaseName(const std::string& name);

    /// Parameter lines "name=value"; changing them while connected is
    /// client error 16.
    const std::vector<std::string>& Params() const { return params_; }
    void SetParams(const std::vector<std::string>& lines);
    void AddParam(const std::string& line);
    void ClearParams();

    /// Attaches; does nothing when already connected.
    void Open();
    /// Detaches (commits active transactions with their DefaultAction);
    /// does nothing when not connected.
    void Close();
    bool Connected() const { return static_cast<bool>(handle_); }
    void SetConnected(bool value);

    /// The attach itself (client error 16 when attached, 17 without name).
    void DoConnect();
    /// Close with a force flag: forced ignores errors and skips the
    /// Before/AfterDisconnect events. Client error 15 when not attached.
    void DoDisconnect(bool force);
    /// Client error 15 when not attached.
    void CheckActive() const;
    /// Client error 16 when attached.
    void CheckInactive() const;

    /// Character sets of the attachment, known from the connect on (0, NONE,
    /// before it), from one catalog query that also gives the dialect and
    /// the server's version (FbCatalogSurveySQL). The database's default set
    /// (RDB$DATABASE).
    int DefaultCharSetId() const { return defaultCharSet_; }
    /// The set the attachment asked the server for (lc_ctype): the text of
    /// every column that has a set arrives in it; NONE when it asked for
    /// none, and then each column's text arrives in that column's own set.
    /// Unless the lines name one, the program chooses at connect time: NONE
    /// when the default set and every user table's text column share one
    /// single-byte set (columns in NONE, OCTETS or ASCII fit any), else
    /// UTF8, by adding the line "lc_ctype=UTF8" to the block.
    int ConnectionCharSetId() const { return connectionCharSet_; }
    /// The set in which the text of string literals inside SQL text must be
    /// written: the connection's set when it has one, else the single-byte
    /// set the database's text is in (NONE when all of it is NONE).
    int TextCharSetId() const { return textCharSet_; }
    /// The block sent at the last attach, the added line included.
    const std::string& DPB() const { return attachDpb_; }
    /// The server's version as it tells it ("3.0.11"), known from the
    /// connect on; empty when the server did not say (before Firebird 2.1).
    const std::string& ServerVersion() const { return serverVersion_; }
    /// On a server that knows the types of FbValues.h, asks once per
    /// attachment for their exact text (FbExactBindingsSQL), so that a client
    /// library older than the server can describe them and none loses a digit
    /// or a zone. True when it asked now (statements prepared before keep their
    /// old description); false when already asked, or on older servers, which
    /// never get a statement. Asked only when a statement first meets such a
    /// type: a schema without them costs no exchange.
    bool AskExactBindings();

    int SQLDialect() const { return sqlDialect_; }
    /// Client error 87 below 1, or above DBSQLDialect while connected.
    void SetSQLDialect(int value);
    int DBSQLDialect() const { return dbSqlDialect_; }

    bool LoginPrompt() const { return loginPrompt_; }
    void SetLoginPrompt(bool value) { loginPrompt_ = value; }

    TFbTransaction* DefaultTransaction() const { return defaultTransaction_; }
    void SetDefaultTransaction(TFbTransaction* tr);

    /// The connection's own transaction (owned), for statements run on the
    /// connection's behalf (ExecuteImmediate); inactive otherwise. Catalog
    /// reads run on the catalog transaction or on the caller's.
    TFbTransaction* InternalTransaction() const { return internalTransaction_.get(); }

    /// 0 disables the idle disconnect (the only mode this program uses);
    /// client error 20 for a negative value.
    int IdleTimer() const { return idleTimer_; }
    void SetIdleTimer(int ms);

    TFbClientLib ClientLib() const { return clientLib_; }
    /// Switches the client library (closing a connected connection forced
    /// and reloading); OnClientLibChange may abort.
    void SetClientLib(TFbClientLib value);

    bool AllowStreamedConnected() const { return allowStreamedConnected_; }
    void SetAllowStreamedConnected(bool value) { allowStreamedConnected_ = value; }

    /// Tracing selection (a bit set); nothing in this program traces.
    unsigned TraceFlags() const { return traceFlags_; }
    void SetTraceFlags(unsigned flags) { traceFlags_ = flags; }

    /// Fills `names` with the table names (trailing blanks removed), in the
    /// server's order; views never, system tables only when asked. Opens a
    /// closed connection first. Read on the connection's catalog
    /// transaction (see TableFacts), never on the caller's; kept catalog
    /// facts that the listing shows changed are forgotten.
    void ListTableNames(std::vector<std::string>& names, bool includeSystemTables = false);

    /// The catalog facts of the relation named `relation` exactly as the
    /// catalog stores it, read in one exchange on `tr` (a transaction of
    /// this connection, started when inactive) the first time, or anew when
    /// `fresh`, then kept until the connection detaches. A listing or
    /// ExecuteImmediate that changed them makes the connection forget them;
    /// the caller forgets them (ForgetTableFacts) when what the server
    /// describes no longer matches. A relation the catalog lacks gives facts
    /// with Found false (kept too). The server's errors as EFbError.
    std::shared_ptr<const TFbTableFacts> TableFacts(const std::string& relation, TFbTransaction& tr,
                                                    bool fresh = false);
    /// Forgets the kept facts of `relation`; of every relation when empty.
    void ForgetTableFacts(const std::string& relation = {});

    /// The connection's catalog transaction: read only, read committed (it
    /// sees what others committed, and holds nothing back on the server),
    /// started at the connect for the survey and kept for the table
    /// listings until the connection detaches. Null when not running.
    isc_tr_handle CatalogTransaction() const { return catalogTr_.Get(); }

    /// Runs one statement without parameters or results (DDL, CREATE USER,
    /// ...) in the internal transaction and commits it (retaining, when the
    /// internal transaction was already active); forgets every kept catalog
    /// fact. Client error 15 when not connected; the server's refusal as
    /// EFbFirebirdError.
    void ExecuteImmediate(const std::string& sql);

    /// Creates the database named by `sql` ("CREATE DATABASE '...' ...")
    /// and leaves it detached.
    static void CreateDatabase(const std::string& sql, int dialect = 3);

    // Registration (slots of removed entries are reused).
    int AddTransaction(TFbTransaction* tr);
    /// Finds `tr` in the list, -1 when absent.
    int FindTransaction(TFbTransaction* tr) const;
    void RemoveTransaction(int index);
    void RemoveTransactions();
    int TransactionCount() const { return transactions_.Count(); }
    /// May be null (an empty slot).
    TFbTransaction* Transactions(int index) const { return transactions_.At(index); }
    int AddClient(TFbLink* client);
    void RemoveClient(int index);
    /// DefaultTransaction, else the first registered transaction whose
    /// DefaultDatabase is this connection (the internal one excluded).
    TFbTransaction* FindDefaultTransaction() const;

    /// The attachment handle for client calls (0 when not connected).
    isc_db_handle* Handle() { return handle_.Ptr(); }
    isc_db_handle HandleValue() const { return handle_.Get(); }

    /// CheckStatus that also clears the idle mark.
    ISC_STATUS Call(ISC_STATUS result, bool raise = true);
    /// Call without raising: the call's status, captured now.
    TFbStatus Capture(ISC_STATUS result);

    /// Asks the server to stop the call that another thread is running on
    /// this connection (fb_cancel_operation, fb_cancel_raise); that call then
    /// fails with the server's "operation was cancelled" and its transaction
    /// stays usable. Safe while the other thread works: it changes nothing
    /// in the connection and uses a status vector of its own. False when not
    /// connected, when the library cannot cancel, or when nothing was running.
    bool CancelOperation() const;
    /// The loaded client library can stop a running call.
    static bool CanCancelOperation();

    // Events.
    std::function<void(TFbDatabase&)> BeforeConnect, AfterConnect, BeforeDisconnect,
        AfterDisconnect, OnDialectDowngradeWarning, OnIdleTimer;
    /// Receives a copy of Params; the result replaces Params.
    std::function<void(TFbDatabase&, std::vector<std::string>& params)> OnLogin;
    std::function<void(TFbDatabase&, TFbClientLib lib, bool& abort)> OnClientLibChange;

private:
    friend struct TFbPairing;
    void paramsChanging();
    void loginStep();
    /// The database-information request: the dialect, for a server that
    /// did not tell it through the survey. More items may join the list.
    void readDatabaseInfo();
    void attach(const std::string& dpb);
    /// The character sets, the dialect and the server's version, in one
    /// catalog query on the catalog transaction; re-attaches with
    /// lc_ctype=UTF8 when the database needs it.
    void survey();
    void startCatalogTransaction();
    /// Ends the catalog transaction (commit, or dropped when that fails).
    void endCatalogTransaction() noexcept;
    /// Waits until an attachment left behind by the UTF8 re-attach is gone.
    void waitForLeaving() noexcept;

    std::string databaseName_;
    std::vector<std::string> params_;
    std::string dpb_;
    std::string attachDpb_;
    bool dpbChanged_ = true;
    int defaultCharSet_ = 0;
    int connectionCharSet_ = 0;
    int textCharSet_ = 0;
    TFbAttachmentHandle handle_;
    int sqlDialect_ = 3;
    int dbSqlDialect_ = 3;
    bool loginPrompt_ = true;
    std::string hiddenPassword_;
    TFbTransaction* defaultTransaction_ = nullptr;
    std::unique_ptr<TFbTransaction> internalTransaction_;
    TFbSlots<TFbTransaction> transactions_;
    TFbSlots<TFbLink> clients_;
    int idleTimer_ = 0;
    bool idle_ = false;
    TFbClientLib clientLib_ = clAutoDetect;
    bool allowStreamedConnected_ = true;
    unsigned traceFlags_ = 0;
    std::string serverVersion_;
    bool exactBindingsAsked_ = false;
    TFbTransactionHandle catalogTr_;
    std::map<std::string, std::shared_ptr<const TFbTableFacts>> facts_;
    /// The first attachment of a UTF8 re-attach, detaching on a thread of
    /// its own while the second one is made.
    std::future<void> leaving_;
};

/// One client transaction spanning the connections registered with it.
class TFbTransaction {
public:
    /// Loads the client library first (client error 1 when none is found).
    TFbTransaction();
    /// Ends an active transaction with DefaultAction, forced; tells every
    /// client it is gone; unregisters everything. Never throws.
    ~TFbTransaction();
    TFbTransaction(const TFbTransaction&) = delete;
    TFbTransaction& operator=(const TFbTransaction&) = delete;

    /// Client errors 19 (active), 21 (no connection), 15 (connection not
    /// attached), 13/115 (bad TPB line), or the server's refusal.
    void StartTransaction();
    void Commit();
    void Rollback();
    void CommitRetaining();
    void RollbackRetaining();
    /// The one routine behind every end; starts an inactive transaction first.
    void EndTransaction(TTransactionAction action, bool force);

    bool Active() const { return static_cast<bool>(handle_); }
    /// true starts an inactive transaction, false rolls back an active one.
    void SetActive(bool value);

    /// Starts the transaction when inactive; client error 18 if it is
    /// still inactive afterwards.
    void CheckInTransaction();
    /// Client error 19 when active.
    void CheckNotInTransaction() const;
    /// If active, ends with DefaultAction, forced; a retaining DefaultAction
    /// ends as plain commit or rollback, so the transaction is inactive after.
    void CloseForced();
    /// A dataset that started the transaction asks for its end: nothing
    /// while an end is running or when inactive, else DefaultAction, not forced.
    void EndOnClientRequest();
    /// The ending mark: true while an end (explicit, forced or requested) runs.
    bool InEndTransaction() const { return ending_; }

    bool AutoCommit() const { return autoCommit_; }
    void SetAutoCommit(bool value) { autoCommit_ = value; }
    TTransactionAction DefaultAction() const { return defaultAction_; }
    void SetDefaultAction(TTransactionAction value) { defaultAction_ = value; }

    TFbDatabase* DefaultDatabase() const { return defaultDatabase_; }
    void SetDefaultDatabase(TFbDatabase* db);

    const std::vector<std::string>& Params() const { return params_; }
    void SetParams(const std::vector<std::string>& lines);
    void AddParam(const std::string& line);
    void ClearParams();
    /// The TPB passed at the last start.
    const std::string& TPB() const { return tpb_; }

    /// 0 disables the idle end; client error 20 for a negative value.
    int IdleTimer() const { return idleTimer_; }
    void SetIdleTimer(int ms);

    // Registration (slots of removed entries are reused).
    int AddDatabase(TFbDatabase* db);
    int FindDatabase(TFbDatabase* db) const;
    void RemoveDatabase(int index);
    void RemoveDatabases();
    int DatabaseCount() const { return databases_.Count(); }
    /// May be null (an empty slot).
    TFbDatabase* Databases(int index) const { return databases_.At(index); }
    int AddClient(TFbLink* client);
    void RemoveClient(int index);
    /// DefaultDatabase, else the first registered connection whose
    /// DefaultTransaction is this transaction.
    TFbDatabase* FindDefaultDatabase() const;

    /// The transaction handle for client calls (0 when inactive).
    isc_tr_handle* Handle() { return handle_.Ptr(); }
    isc_tr_handle HandleValue() const { return handle_.Get(); }

    /// CheckStatus that also clears the idle marks of the transaction and
    /// of its connections.
    ISC_STATUS Call(ISC_STATUS result, bool raise = true);
    /// Call without raising: the call's status, captured now.
    TFbStatus Capture(ISC_STATUS result);

    // Events.
    std::function<void(TFbTransaction&)> OnStartTransaction, OnEndTransaction, BeforeCommit,
        AfterCommit, BeforeRollback, AfterRollback, BeforeCommitRetaining, AfterCommitRetaining,
        BeforeRollBackRetaining, AfterRollBackRetaining, OnIdleTimer;

private:
    friend struct TFbPairing;
    void explicitEnd(TTransactionAction action);
    void notifyClients(bool ended, bool force);
    void markBusy();

    TFbTransactionHandle handle_;
    bool autoCommit_ = false;
    TTransactionAction defaultAction_ = TACommit;
    TFbDatabase* defaultDatabase_ = nullptr;
    std::vector<std::string> params_;
    std::string tpb_;
    bool tpbChanged_ = true;
    TFbSlots<TFbDatabase> databases_;
    TFbSlots<TFbLink> clients_;
    bool ending_ = false;
    int idleTimer_ = 0;
    bool idle_ = false;
};

/// One piece of client work on a connection, run on a thread of its own so
/// that the thread that started it stays free (to repaint, to offer a
/// cancel) while the server works or waits for another user's lock. Until
/// the work has finished, only the work may use the access-layer objects it
/// touches; the owner only waits, asks and cancels.
class TFbCancellableCall {
public:
    /// Starts `work` at once.
    TFbCancellableCall(TFbDatabase& db, std::function<void()> work);
    /// Starts `work` at once, handing it the cancel mark to look at between
    /// its steps. Without `stopOnServer`, Cancel only sets that mark: for
    /// work made of short calls that must not be cut off halfway (fetching
    /// the rest of a cursor, which would not survive a stopped fetch).
    TFbCancellableCall(TFbDatabase& db, std::function<void(const std::atomic<bool>&)> work,
                       bool stopOnServer);
    /// Cancels work still running and waits for its end, so no thread
    /// outlives the object. Never throws.
    ~TFbCancellableCall();
    TFbCancellableCall(const TFbCancellableCall&) = delete;
    TFbCancellableCall& operator=(const TFbCancellableCall&) = delete;

    /// Waits at most `limit`; true once the work has ended.
    bool WaitFor(std::chrono::milliseconds limit) const;
    bool Finished() const { return WaitFor(std::chrono::milliseconds(0)); }
    /// Marks the work cancelled and, while it runs, asks the server to stop
    /// its call (TFbDatabase::CancelOperation). May be repeated: work that
    /// had not reached the server yet is caught by the next try. Returns
    /// whether the server stopped something.
    bool Cancel();
    bool CancelRequested() const { return cancelRequested_; }
    /// Waits for the end and rethrows what the work threw. Work that got
    /// through although it was cancelled raises client error 10: once
    /// cancelled, the owner keeps nothing of it. Only the first call reports.
    void Get();

private:
    TFbDatabase& db_;
    std::atomic<bool> cancelRequested_{false};
    bool stopOnServer_ = true;
    std::future<void> result_;
};
