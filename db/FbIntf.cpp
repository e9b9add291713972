#include "db/FbIntf.h"

#include "db/FbError.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace {

TFbClientApi api;
void* libHandle = nullptr;
std::string libName;
int clientVersion = 6;

thread_local ISC_STATUS_ARRAY statusVector{};

// Detection order: client, legacy client, embedded.
const char* const kCandidates[] = {"libfbclient.so.2", "libfbclient.so",    "libgds.so.0",
                                   "libgds.so",        "libfbembed.so.2.5", "libfbembed.so"};

void* tryOpen(const std::string& name) {
    return ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

[[noreturn]] void raiseOsError() {
    const char* detail = ::dlerror();
    // dlsym reports no numeric code; keep the loader's own text for the user.
    std::string msg = "A call to an OS function failed";
    if (detail) msg += std::string("\r\n") + detail;
    throw EOSError(msg);
}

template <typename F> void bind(F& entry, const char* name) {
    ::dlerror();
    void* p = ::dlsym(libHandle, name);
    if (!p) raiseOsError();
    entry = reinterpret_cast<F>(p);
}

template <typename F> void bindOptional(F& entry, const char* name) {
    void* p = ::dlsym(libHandle, name);
    entry = p ? reinterpret_cast<F>(p) : nullptr;
}

// Substitutes for the newer entry points on a version-5 library: same
// signature, raising client error 3 with the entry point's name.
template <typename F> struct Substitute;
template <typename R, typename... A> struct Substitute<R (*)(A...)> {
    template <const char* Name> static R call(A...) { RaiseClientError(3, {std::string(Name)}); }
};

constexpr char kRollbackRetaining[] = "isc_rollback_retaining";
constexpr char kServiceAttach[] = "isc_service_attach";
constexpr char kServiceDetach[] = "isc_service_detach";
constexpr char kServiceQuery[] = "isc_service_query";
constexpr char kServiceStart[] = "isc_service_start";
constexpr char kDecodeSqlDate[] = "isc_decode_sql_date";
constexpr char kDecodeSqlTime[] = "isc_decode_sql_time";
constexpr char kDecodeTimestamp[] = "isc_decode_timestamp";
constexpr char kEncodeSqlDate[] = "isc_encode_sql_date";
constexpr char kEncodeSqlTime[] = "isc_encode_sql_time";
// The classic client reported this entry under its older name.
constexpr char kEncodeTimestamp[] = "isc_encode_sql_timestamp";

template <const char* Name, typename F> void substitute(F& entry) {
    entry = &Substitute<F>::template call<Name>;
}

void bindAll() {
    bind(api.BLOB_get, "BLOB_get");
    bind(api.BLOB_put, "BLOB_put");
    bind(api.isc_sqlcode, "isc_sqlcode");
    bind(api.isc_sql_interprete, "isc_sql_interprete");
    bind(api.isc_interprete, "isc_interprete");
    bind(api.isc_vax_integer, "isc_vax_integer");
    bind(api.isc_blob_info, "isc_blob_info");
    bind(api.isc_open_blob2, "isc_open_blob2");
    bind(api.isc_close_blob, "isc_close_blob");
    bind(api.isc_get_segment, "isc_get_segment");
    bind(api.isc_put_segment, "isc_put_segment");
    bind(api.isc_create_blob2, "isc_create_blob2");
    bind(api.isc_decode_date, "isc_decode_date");
    bind(api.isc_encode_date, "isc_encode_date");
    bind(api.isc_dsql_free_statement, "isc_dsql_free_statement");
    bind(api.isc_dsql_execute2, "isc_dsql_execute2");
    bind(api.isc_dsql_execute, "isc_dsql_execute");
    bind(api.isc_dsql_set_cursor_name, "isc_dsql_set_cursor_name");
    bind(api.isc_dsql_fetch, "isc_dsql_fetch");
    bind(api.isc_dsql_sql_info, "isc_dsql_sql_info");
    bind(api.isc_dsql_alloc_statement2, "isc_dsql_alloc_statement2");
    bind(api.isc_dsql_prepare, "isc_dsql_prepare");
    bind(api.isc_dsql_describe_bind, "isc_dsql_describe_bind");
    bind(api.isc_dsql_describe, "isc_dsql_describe");
    bind(api.isc_dsql_execute_immediate, "isc_dsql_execute_immediate");
    bind(api.isc_drop_database, "isc_drop_database");
    bind(api.isc_detach_database, "isc_detach_database");
    bind(api.isc_attach_database, "isc_attach_database");
    bind(api.isc_database_info, "isc_database_info");
    bind(api.isc_start_multiple, "isc_start_multiple");
    bind(api.isc_commit_transaction, "isc_commit_transaction");
    bind(api.isc_commit_retaining, "isc_commit_retaining");
    bind(api.isc_rollback_transaction, "isc_rollback_transaction");
    bind(api.isc_cancel_events, "isc_cancel_events");
    bind(api.isc_que_events, "isc_que_events");
    bind(api.isc_event_counts, "isc_event_counts");
    bind(api.isc_event_block, "isc_event_block");
    bind(api.isc_free, "isc_free");
    bind(api.isc_add_user, "isc_add_user");
    bind(api.isc_delete_user, "isc_delete_user");
    bind(api.isc_modify_user, "isc_modify_user");

    clientVersion = 6;
    bindOptional(api.isc_rollback_retaining, "isc_rollback_retaining");
    if (api.isc_rollback_retaining) {
        bind(api.isc_service_attach, "isc_service_attach");
        bind(api.isc_service_detach, "isc_service_detach");
        bind(api.isc_service_query, "isc_service_query");
        bind(api.isc_service_start, "isc_service_start");
        bind(api.isc_decode_sql_date, "isc_decode_sql_date");
        bind(api.isc_decode_sql_time, "isc_decode_sql_time");
        bind(api.isc_decode_timestamp, "isc_decode_timestamp");
        bind(api.isc_encode_sql_date, "isc_encode_sql_date");
        bind(api.isc_encode_sql_time, "isc_encode_sql_time");
        bind(api.isc_encode_timestamp, "isc_encode_timestamp");
    } else {
        clientVersion = 5;
        substitute<kRollbackRetaining>(api.isc_rollback_retaining);
        substitute<kServiceAttach>(api.isc_service_attach);
        substitute<kServiceDetach>(api.isc_service_detach);
        substitute<kServiceQuery>(api.isc_service_query);
        substitute<kServiceStart>(api.isc_service_start);
        substitute<kDecodeSqlDate>(api.isc_decode_sql_date);
        substitute<kDecodeSqlTime>(api.isc_decode_sql_time);
        substitute<kDecodeTimestamp>(api.isc_decode_timestamp);
        substitute<kEncodeSqlDate>(api.isc_encode_sql_date);
        substitute<kEncodeSqlTime>(api.isc_encode_sql_time);
        substitute<kEncodeTimestamp>(api.isc_encode_timestamp);
    }
    bindOptional(api.fb_interpret, "fb_interpret");
    bindOptional(api.fb_cancel_operation, "fb_cancel_operation");
    bindOptional(api.isc_dsql_exec_immed2, "isc_dsql_exec_immed2");
    bindOptional(api.isc_get_client_version, "isc_get_client_version");
}

} // namespace

const TFbClientApi& FbApi() {
    return api;
}

bool LoadClientLibrary() {
    if (libHandle) return true;
    if (libName.empty()) {
        for (const char* name : kCandidates) {
            libHandle = tryOpen(name);
            if (libHandle) {
                libName = name;
                break;
            }
        }
    } else {
        libHandle = tryOpen(libName);
    }
    if (!libHandle) return false;
    try {
        bindAll();
    } catch (...) {
        // A half-bound table must never be called through.
        ::dlclose(libHandle);
        libHandle = nullptr;
        api = TFbClientApi{};
        throw;
    }
    return true;
}

void RequireClientLibrary() {
    if (!LoadClientLibrary()) RaiseClientError(1);
}

int ClientLibraryVersion() {
    return clientVersion;
}

int ClientLibraryMajorVersion() {
    // isc_get_client_major_version says 6 for every Firebird release (the
    // InterBase line it continues); the release is in the description.
    if (!api.isc_get_client_version) return 0;
    char text[256] = {};
    api.isc_get_client_version(text);
    const char* release = std::strstr(text, "Firebird ");
    return release ? std::atoi(release + 9) : 0;
}

void UnloadClientLibrary() {
    if (libHandle) ::dlclose(libHandle);
    libHandle = nullptr;
    api = TFbClientApi{};
    clientVersion = 6;
}

void SetClientLibraryName(const std::string& name) {
    libName = name;
}

const std::string& ClientLibraryName() {
    return libName;
}

ISC_STATUS* StatusVector() {
    return statusVector;
}

void FbFreeHandle(TFbHandleKind kind, FB_API_HANDLE* handle) noexcept {
    if (*handle == FB_API_HANDLE{}) return;
    ISC_STATUS_ARRAY local{};
    try {
        switch (kind) {
        case TFbHandleKind::Attachment:
            if (api.isc_detach_database) api.isc_detach_database(local, handle);
            break;
        case TFbHandleKind::Transaction:
            if (api.isc_rollback_transaction) api.isc_rollback_transaction(local, handle);
            break;
        case TFbHandleKind::Statement:
            if (api.isc_dsql_free_statement) api.isc_dsql_free_statement(local, handle, DSQL_drop);
            break;
        case TFbHandleKind::Blob:
            if (api.isc_close_blob) api.isc_close_blob(local, handle);
            break;
        }
    } catch (...) {
        // A release that fails leaves nothing the caller could act on.
    }
    *handle = FB_API_HANDLE{};
}
