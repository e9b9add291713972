/* A stand-in for an old client library: the classic entry points only,
 * without isc_rollback_retaining and the rest of the newer set. Every entry
 * point does nothing, except the two the error composition needs, which
 * understand status vectors of {1, code, 2, text} groups. */
#include <stdint.h>
#include <string.h>

int isc_sqlcode(const intptr_t* status) {
    return status[1] == 335544352L ? -551 : -901;
}

int isc_interprete(char* buffer, intptr_t** cursor) {
    intptr_t* s = *cursor;
    if (s[0] != 1 || s[2] != 2) return 0;
    strcpy(buffer, (const char*)s[3]);
    *cursor = s + 4;
    return (int)strlen(buffer);
}

int BLOB_get(void) {
    return 0;
}
int BLOB_put(void) {
    return 0;
}
int isc_sql_interprete(void) {
    return 0;
}
int isc_vax_integer(void) {
    return 0;
}
int isc_blob_info(void) {
    return 0;
}
int isc_open_blob2(void) {
    return 0;
}
int isc_close_blob(void) {
    return 0;
}
int isc_get_segment(void) {
    return 0;
}
int isc_put_segment(void) {
    return 0;
}
int isc_create_blob2(void) {
    return 0;
}
int isc_decode_date(void) {
    return 0;
}
int isc_encode_date(void) {
    return 0;
}
int isc_dsql_free_statement(void) {
    return 0;
}
int isc_dsql_execute2(void) {
    return 0;
}
int isc_dsql_execute(void) {
    return 0;
}
int isc_dsql_set_cursor_name(void) {
    return 0;
}
int isc_dsql_fetch(void) {
    return 0;
}
int isc_dsql_sql_info(void) {
    return 0;
}
int isc_dsql_alloc_statement2(void) {
    return 0;
}
int isc_dsql_prepare(void) {
    return 0;
}
int isc_dsql_describe_bind(void) {
    return 0;
}
int isc_dsql_describe(void) {
    return 0;
}
int isc_dsql_execute_immediate(void) {
    return 0;
}
int isc_drop_database(void) {
    return 0;
}
int isc_detach_database(void) {
    return 0;
}
int isc_attach_database(void) {
    return 0;
}
int isc_database_info(void) {
    return 0;
}
int isc_start_multiple(void) {
    return 0;
}
int isc_commit_transaction(void) {
    return 0;
}
int isc_commit_retaining(void) {
    return 0;
}
int isc_rollback_transaction(void) {
    return 0;
}
int isc_cancel_events(void) {
    return 0;
}
int isc_que_events(void) {
    return 0;
}
int isc_event_counts(void) {
    return 0;
}
int isc_event_block(void) {
    return 0;
}
int isc_free(void) {
    return 0;
}
int isc_add_user(void) {
    return 0;
}
int isc_delete_user(void) {
    return 0;
}
#ifndef FBSTUB_WITHOUT_MODIFY_USER
int isc_modify_user(void) {
    return 0;
}
#endif
