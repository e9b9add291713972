#pragma once
// Binding to the Firebird client library, loaded at run time with dlopen and
// bound by looking its entry points up by name. Nothing here links against
// libfbclient: ibase.h only supplies the types, constants and signatures.
#include <ibase.h>

#include <string>
#include <utility>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

/// One function address per client entry point. Filled by LoadClientLibrary;
/// on a version-5 library the eleven newer entries hold substitutes that raise
/// client error 3 naming the entry point.
struct TFbClientApi {
    // Always required, resolved in this order.
    decltype(&::BLOB_get) BLOB_get = nullptr;
    decltype(&::BLOB_put) BLOB_put = nullptr;
    decltype(&::isc_sqlcode) isc_sqlcode = nullptr;
    decltype(&::isc_sql_interprete) isc_sql_interprete = nullptr;
    decltype(&::isc_interprete) isc_interprete = nullptr;
    decltype(&::isc_vax_integer) isc_vax_integer = nullptr;
    decltype(&::isc_blob_info) isc_blob_info = nullptr;
    decltype(&::isc_open_blob2) isc_open_blob2 = nullptr;
    decltype(&::isc_close_blob) isc_close_blob = nullptr;
    decltype(&::isc_get_segment) isc_get_segment = nullptr;
    decltype(&::isc_put_segment) isc_put_segment = nullptr;
    decltype(&::isc_create_blob2) isc_create_blob2 = nullptr;
    decltype(&::isc_decode_date) isc_decode_date = nullptr;
    decltype(&::isc_encode_date) isc_encode_date = nullptr;
    decltype(&::isc_dsql_free_statement) isc_dsql_free_statement = nullptr;
    decltype(&::isc_dsql_execute2) isc_dsql_execute2 = nullptr;
    decltype(&::isc_dsql_execute) isc_dsql_execute = nullptr;
    decltype(&::isc_dsql_set_cursor_name) isc_dsql_set_cursor_name = nullptr;
    decltype(&::isc_dsql_fetch) isc_dsql_fetch = nullptr;
    decltype(&::isc_dsql_sql_info) isc_dsql_sql_info = nullptr;
    decltype(&::isc_dsql_alloc_statement2) isc_dsql_alloc_statement2 = nullptr;
    decltype(&::isc_dsql_prepare) isc_dsql_prepare = nullptr;
    decltype(&::isc_dsql_describe_bind) isc_dsql_describe_bind = nullptr;
    decltype(&::isc_dsql_describe) isc_dsql_describe = nullptr;
    decltype(&::isc_dsql_execute_immediate) isc_dsql_execute_immediate = nullptr;
    decltype(&::isc_drop_database) isc_drop_database = nullptr;
    decltype(&::isc_detach_database) isc_detach_database = nullptr;
    decltype(&::isc_attach_database) isc_attach_database = nullptr;
    decltype(&::isc_database_info) isc_database_info = nullptr;
    decltype(&::isc_start_multiple) isc_start_multiple = nullptr;
    decltype(&::isc_commit_transaction) isc_commit_transaction = nullptr;
    decltype(&::isc_commit_retaining) isc_commit_retaining = nullptr;
    decltype(&::isc_rollback_transaction) isc_rollback_transaction = nullptr;
    decltype(&::isc_cancel_events) isc_cancel_events = nullptr;
    decltype(&::isc_que_events) isc_que_events = nullptr;
    decltype(&::isc_event_counts) isc_event_counts = nullptr;
    decltype(&::isc_event_block) isc_event_block = nullptr;
    decltype(&::isc_free) isc_free = nullptr;
    decltype(&::isc_add_user) isc_add_user = nullptr;
    decltype(&::isc_delete_user) isc_delete_user = nullptr;
    decltype(&::isc_modify_user) isc_modify_user = nullptr;

    // The newer set; isc_rollback_retaining is the probe for version 6.
    decltype(&::isc_rollback_retaining) isc_rollback_retaining = nullptr;
    decltype(&::isc_service_attach) isc_service_attach = nullptr;
    decltype(&::isc_service_detach) isc_service_detach = nullptr;
    decltype(&::isc_service_query) isc_service_query = nullptr;
    decltype(&::isc_service_start) isc_service_start = nullptr;
    decltype(&::isc_decode_sql_date) isc_decode_sql_date = nullptr;
    decltype(&::isc_decode_sql_time) isc_decode_sql_time = nullptr;
    decltype(&::isc_decode_timestamp) isc_decode_timestamp = nullptr;
    decltype(&::isc_encode_sql_date) isc_encode_sql_date = nullptr;
    decltype(&::isc_encode_sql_time) isc_encode_sql_time = nullptr;
    decltype(&::isc_encode_timestamp) isc_encode_timestamp = nullptr;

    /// Optional: the length-bounded message interpreter; null when the
    /// library does not export it (isc_interprete is used instead).
    decltype(&::fb_interpret) fb_interpret = nullptr;
    /// Optional: runs a statement that gives at most one row and brings the
    /// row back with the same answer; null when the library lacks it.
    decltype(&::isc_dsql_exec_immed2) isc_dsql_exec_immed2 = nullptr;
    /// Optional: stops the call running on an attachment, from another
    /// thread; null when the library cannot cancel.
    decltype(&::fb_cancel_operation) fb_cancel_operation = nullptr;
    /// Optional: the library's own description ("LI-V6.3.5.3140 Firebird 4.0");
    /// null on libraries that do not have it.
    decltype(&::isc_get_client_version) isc_get_client_version = nullptr;
};

#pragma GCC diagnostic pop

/// The entry points of the loaded library. Only meaningful after
/// RequireClientLibrary succeeded; the table is process-wide.
const TFbClientApi& FbApi();

/// Loads and binds the library on the first call (see SetClientLibraryName);
/// later calls only report whether a library is loaded. A library that
/// lacks a required entry point throws EOSError and stays unloaded.
bool LoadClientLibrary();

/// LoadClientLibrary, then client error 1 when no library could be loaded.
void RequireClientLibrary();

/// 5 or 6; meaningful after RequireClientLibrary.
int ClientLibraryVersion();

/// The Firebird release of the loaded library as it describes itself (3, 4,
/// 5, ...), or 0 when it does not tell; meaningful after RequireClientLibrary.
int ClientLibraryMajorVersion();

/// Frees the library and marks the binding unloaded.
void UnloadClientLibrary();

/// The library file to load: empty means "detect" (libfbclient.so.2,
/// libfbclient.so, libgds.so.0, libgds.so, libfbembed.so.2.5,
/// libfbembed.so, in that order). After a detection it holds the name that
/// was loaded. Takes effect at the next load (unload first).
void SetClientLibraryName(const std::string& name);
const std::string& ClientLibraryName();

/// The calling thread's status vector (ISC_STATUS_LENGTH words).
ISC_STATUS* StatusVector();

/// The kinds of client handle, each with its own way back to the library.
enum class TFbHandleKind { Attachment, Transaction, Statement, Blob };

/// Gives `handle` back to the library (detach, roll back, drop, close) with
/// a status vector of its own, ignoring the outcome, and zeroes it. Does
/// nothing for a zero handle or an unloaded library.
void FbFreeHandle(TFbHandleKind kind, FB_API_HANDLE* handle) noexcept;

/// Owns one client handle of kind `Kind`. The client writes a new handle
/// through Ptr() and the owner gives it back when it is destroyed or reset,
/// never throwing and never touching the thread's status vector, so
/// clean-up on the way out of a failure cannot replace the error being
/// reported. A call that ends the handle itself (a successful detach,
/// commit, drop or close) leaves it zero, and the owner then has nothing to do.
template <TFbHandleKind Kind> class TFbHandle {
public:
    TFbHandle() = default;
    ~TFbHandle() { Reset(); }
    TFbHandle(const TFbHandle&) = delete;
    TFbHandle& operator=(const TFbHandle&) = delete;
    TFbHandle(TFbHandle&& other) noexcept : handle_(other.Forget()) {}
    TFbHandle& operator=(TFbHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = other.Forget();
        }
        return *this;
    }

    /// The address the client calls read and write.
    FB_API_HANDLE* Ptr() { return &handle_; }
    FB_API_HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != FB_API_HANDLE{}; }

    /// Gives the handle back to the library now (errors ignored).
    void Reset() noexcept { FbFreeHandle(Kind, &handle_); }
    /// Drops the handle without a call, for one that the library no longer
    /// knows (its connection is gone, or its end was already attempted).
    FB_API_HANDLE Forget() noexcept { return std::exchange(handle_, FB_API_HANDLE{}); }

private:
    FB_API_HANDLE handle_{};
};

using TFbAttachmentHandle = TFbHandle<TFbHandleKind::Attachment>;
/// Reset rolls back: work nobody committed is not kept.
using TFbTransactionHandle = TFbHandle<TFbHandleKind::Transaction>;
using TFbStatementHandle = TFbHandle<TFbHandleKind::Statement>;
using TFbBlobHandle = TFbHandle<TFbHandleKind::Blob>;
