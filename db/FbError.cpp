#include "db/FbError.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

const char* const kClientErrors[kClientErrorCount] = {
    /* 0 */ "Unknown error",
    /* 1 */
    "Firebird Client library not found in the path. Please install Firebird to use this "
    "functionality",
    /* 2 */
    "Firebird Install DLL ibinstall.dll not found in the path. Please install Firebird 6 to use "
    "this functionality",
    /* 3 */ "%s is an InterBase 6 function. Please upgrade to InterBase 6 to use this functonality",
    /* 4 */ "Unsupported feature",
    /* 5 */ "Not permitted",
    /* 6 */ "Temporary file access error",
    /* 7 */ "Database connection timed out",
    /* 8 */ "Cannot set database",
    /* 9 */ "Cannot set transaction",
    /* 10 */ "Operation cancelled at user's request",
    /* 11 */ "DPB Constant (isc_dpb_%s) is unsupported",
    /* 12 */ "DPB Constant (%d) is unknown",
    /* 13 */ "TPB Constant (isc_tpb_%s) is unsupported",
    /* 14 */ "TPB Constant (%d) is unknown",
    /* 15 */ "Cannot perform operation -- DB is not open",
    /* 16 */ "Cannot perform operation -- DB is currently open",
    /* 17 */ "Database name is missing",
    /* 18 */ "Transaction is not active",
    /* 19 */ "Transaction is active",
    /* 20 */ "Timeout values cannot be negative",
    /* 21 */ "No databases are listed in transaction component",
    /* 22 */ "Updating wrong database",
    /* 23 */ "Updating wrong transaction. Unique transaction expected in set",
    /* 24 */ "Database not assigned",
    /* 25 */ "Transaction not assigned",
    /* 26 */ "XSQLDA index out of range",
    /* 27 */ "XSQLDA name does not exist (%s)",
    /* 28 */ "End of file",
    /* 29 */ "Beginning of file",
    /* 30 */ "Invalid statement handle",
    /* 31 */ "FbSQL Open",
    /* 32 */ "FbSQL Closed",
    /* 33 */ "Dataset open",
    /* 34 */ "Dataset closed",
    /* 35 */ "Unknown SQL Data type (%d)",
    /* 36 */ "Invalid column index (index exceeds permitted range)",
    /* 37 */ "Invalid parameter index (index exceeds permitted range)",
    /* 38 */ "Invalid data conversion",
    /* 39 */ "Column cannot be set to null (%s)",
    /* 40 */ "Blob stream cannot be read",
    /* 41 */ "Blob stream cannot be written",
    /* 42 */ "Empty query",
    /* 43 */ "Cannot \"open\" a non-select statement. Use ExecQuery",
    /* 44 */ "No access to field \"%s\"",
    /* 45 */ "Field \"%s\" is read-only",
    /* 46 */ "Field \"%s\" not found",
    /* 47 */ "Not in edit mode",
    /* 48 */ "Cannot insert into dataset. (No insert query)",
    /* 49 */ "Cannot post. (No update/insert query)",
    /* 50 */ "Cannot update. (No update query)",
    /* 51 */ "Cannot delete from dataset. (No delete query)",
    /* 52 */ "Cannot refresh row. (No refresh query)",
    /* 53 */ "Buffer not set",
    /* 54 */ "Circular references not permitted",
    /* 55 */ "SQL Parse Error:\r\n\r\n%s",
    /* 56 */ "User abort",
    /* 57 */ "Data set is uni-directional",
    /* 58 */ "Cannot create shared resource. (Windows error %d)",
    /* 59 */ "Windows API error. (Windows error %d [$%.8x])",
    /* 60 */ "Column lists do not match",
    /* 61 */ "Column types don't match. (From index: %d; To index: %d)",
    /* 62 */
    "Can't end a shared transaction unless it is forced and equal to the transaction's "
    "TimeoutAction",
    /* 63 */ "Unsupported Field Type",
    /* 64 */ "Circular DataLink Reference",
    /* 65 */ "Empty SQL Statement",
    /* 66 */ "Use Open for a Select Statement",
    /* 67 */ "Required Param value not set",
    /* 68 */ "No Stored Procedure Name assigned",
    /* 69 */ "use ExecProc for Procedure; use TQuery for Select procedures",
    /* 70 */ "Update Failed",
    /* 71 */ "CachedUpdates not enabled",
    /* 72 */ "Request is not live - cannot modify",
    /* 73 */ "No Provider",
    /* 74 */ "No Records Affected",
    /* 75 */ "No Table Name assigned",
    /* 76 */ "Cannot Create Primary Index; are created automatically",
    /* 77 */ "Cannot Drop System Index",
    /* 78 */ "Table Name Mismatch",
    /* 79 */ "Index Field Missing",
    /* 80 */ "Cannot Cancel events while processing",
    /* 81 */ "Invalid Event",
    /* 82 */ "Exceded Maximum Event limits",
    /* 83 */ "No Events Registered",
    /* 84 */ "Invalid Queueing",
    /* 85 */ "Invalid Registration",
    /* 86 */ "Invalid Batch Move",
    /* 87 */ "SQL Dialect Invalid",
    /* 88 */ "SPB Constant Not supported",
    /* 89 */ "SPB Constant Unknown",
    /* 90 */ "Cannot perform operation -- service is not attached",
    /* 91 */ "Cannot perform operation -- service is attached",
    /* 92 */ "Server Name Missing",
    /* 93 */ "Query Parameters missing or incorrect",
    /* 94 */ "Start Parameters missing or incorrect",
    /* 95 */ "Unexpected Output buffer value",
    /* 96 */
    "Generic ServiceStart not applicable: Use Specific Procedures to set configuration params",
    /* 97 */ "SQL Monitor Instance is already present",
    /* 98 */ "Cannot print value",
    /* 99 */ "SEOFReached",
    /* 100 */ "EOF in comment detected",
    /* 101 */ "EOF in string detected",
    /* 102 */ "Parameter name expected",
    /* 103 */ "Successful execution",
    /* 104 */ "%s",
    /* 105 */ "No Install Options selected",
    /* 106 */ "DestinationDirectory is not set",
    /* 107 */ "SourceDirectory is not set",
    /* 108 */ "Uninstall File Name is not set",
    /* 109 */ "%s component requires Client to function properly",
    /* 110 */ "%s component requires Server to function properly",
    /* 111 */ "Invalid option specified",
    /* 112 */ "Unexpected onError return value",
    /* 113 */ "Unexpected onStatus return value",
    /* 114 */ "DPB Constant (%s) is unknown",
    /* 115 */ "TPB Constant (%s) is unknown",
    /* 116 */ "Generator %s is not defined",
    // Values that do not fit their one-byte length are refused, never cut.
    /* 117 */ "DPB value of isc_dpb_%s is longer than 255 bytes",
    /* 118 */ "TPB value of isc_tpb_%s is longer than 255 bytes",
};

} // namespace

const char* ClientErrorFormat(int code) {
    if (code < 0 || code >= kClientErrorCount) return kClientErrors[0];
    return kClientErrors[code];
}

std::string FormatClientError(int code, std::initializer_list<TFbErrorArg> args) {
    const char* fmt = ClientErrorFormat(code);
    std::string out;
    auto next = args.begin();
    for (const char* p = fmt; *p; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        if (p[1] == '%') {
            out += '%';
            ++p;
            continue;
        }
        // A conversion: flags, width and precision up to the type letter.
        const char* start = p++;
        while (*p && std::string_view("sdxXu").find(*p) == std::string_view::npos)
            ++p;
        if (!*p) {
            out.append(start);
            break;
        }
        std::string spec(start, p + 1);
        if (next == args.end()) continue;
        const TFbErrorArg& arg = *next++;
        char buf[64];
        if (*p == 's') {
            out += std::holds_alternative<std::string>(arg)
                       ? std::get<std::string>(arg)
                       : std::to_string(std::get<long long>(arg));
        } else {
            long long n = std::holds_alternative<long long>(arg)
                              ? std::get<long long>(arg)
                              : std::strtoll(std::get<std::string>(arg).c_str(), nullptr, 10);
            spec.insert(spec.size() - 1, "ll");
            std::snprintf(buf, sizeof buf, spec.c_str(), n);
            out += buf;
        }
    }
    return out;
}

void RaiseClientError(int code, std::initializer_list<TFbErrorArg> args) {
    throw EFbClientError(FormatClientError(code, args), 0, code);
}
