#pragma once
// The access layer's one exception family, the client error table and the
// check that follows every client call.
#include <ibase.h>

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <variant>

/// Base of every database failure (message text only).
class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

/// Base of the access layer's exceptions: message, SQL code and engine
/// error code. Never raised directly.
class EFbError : public EDatabaseError {
public:
    EFbError(const std::string& message, int32_t ibErrorCode, int32_t sqlCode)
        : EDatabaseError(message), ibErrorCode_(ibErrorCode), sqlCode_(sqlCode) {}
    /// For server errors the SQL code of the status vector; for client
    /// errors the client error code.
    int32_t SQLCode() const { return sqlCode_; }
    /// The engine's primary error code (status vector element 1); 0 for
    /// client errors.
    int32_t IBErrorCode() const { return ibErrorCode_; }

private:
    int32_t ibErrorCode_;
    int32_t sqlCode_;
};

/// A failed client call whose SQL code is not -551.
class EFbFirebirdError : public EFbError {
public:
    using EFbError::EFbError;
};

/// A failed client call whose SQL code is -551 (no permission).
class EFbFirebirdPermissionError : public EFbError {
public:
    using EFbError::EFbError;
};

/// A failure found by the access layer itself; SQLCode() is the client
/// error code.
class EFbClientError : public EFbError {
public:
    using EFbError::EFbError;
};

/// The operating system's report of a failed library call (a client library
/// that lacks a required entry point).
class EOSError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Number of client error codes: 0 .. kClientErrorCount-1.
inline constexpr int kClientErrorCount = 119;

/// Client error codes added to the classic table (117 entries, 0..116):
/// a DPB or TPB value that does not fit its one-byte length.
inline constexpr int fbceDPBValueTooLong = 117;
inline constexpr int fbceTPBValueTooLong = 118;

/// The message format of client error `code` (printf-like: %s, %d, %.8x);
/// the entry of code 0 for a code outside the table.
const char* ClientErrorFormat(int code);

using TFbErrorArg = std::variant<long long, std::string>;

/// Formats the table entry `code`, inserting `args` in order.
std::string FormatClientError(int code, std::initializer_list<TFbErrorArg> args = {});

/// Raises EFbClientError with the formatted entry `code`.
[[noreturn]] void RaiseClientError(int code, std::initializer_list<TFbErrorArg> args = {});

/// What one client call reported, copied from the calling thread's status
/// vector as the call returned, with its message already composed. Calls
/// made afterwards (clean-up on the way out of a failure) overwrite the
/// thread's vector, never this copy, so the error raised is the one that
/// happened.
class TFbStatus {
public:
    /// A call that succeeded.
    TFbStatus() = default;
    /// The status of a call that returned `result`: nothing is read for 0;
    /// above 0 the thread's vector is copied and composed now.
    explicit TFbStatus(ISC_STATUS result);
    /// The thread's vector as it stands, taken as a failure.
    static TFbStatus Current();

    bool Failed() const { return result_ > 0; }
    explicit operator bool() const { return Failed(); }
    /// The engine's primary error code (element 1 of the vector).
    ISC_STATUS ErrorCode() const { return words_[1]; }
    /// True when any error cluster of the vector reports `code`.
    bool Has(ISC_STATUS code) const;
    /// The connection went away (network failure or shutdown), and every
    /// server-side handle with it.
    bool ConnectionLost() const;
    /// Raises EFbFirebirdPermissionError (SQL code -551) or EFbFirebirdError
    /// with the composed message; only meaningful for a failure.
    [[noreturn]] void Raise() const;
    /// Raise when the call failed.
    void Check() const {
        if (Failed()) Raise();
    }

private:
    ISC_STATUS result_ = 0;
    ISC_STATUS words_[ISC_STATUS_LENGTH] = {};
    int32_t sqlCode_ = 0;
    std::string message_;
};

/// Composes the message of the calling thread's status vector and raises
/// EFbFirebirdPermissionError (SQL code -551) or EFbFirebirdError.
[[noreturn]] void RaiseServerError();

/// The message RaiseServerError would compose from `status` (engine lines
/// separated by CR LF, a final period removed).
std::string ServerErrorMessage(const ISC_STATUS* status);

/// The check after a client call: when `raise` is true and `result` > 0,
/// RaiseServerError; otherwise hands `result` back.
ISC_STATUS CheckStatus(ISC_STATUS result, bool raise = true);
