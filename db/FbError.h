#pragma once
// The access layer's one exception family and the client error table: what
// every part of the layer raises, the binding to the client library included.
// Nothing here calls the library (the server's errors are composed in Fb.h).
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
    EFbError(const std::string& message, int32_t ibErrorCode, int32_t sqlCode,
             bool connectionLost = false)
        : EDatabaseError(message), ibErrorCode_(ibErrorCode), sqlCode_(sqlCode),
          connectionLost_(connectionLost) {}
    /// For server errors the SQL code of the status vector; for client
    /// errors the client error code.
    int32_t SQLCode() const { return sqlCode_; }
    /// The engine's primary error code (status vector element 1); 0 for
    /// client errors.
    int32_t IBErrorCode() const { return ibErrorCode_; }
    /// The call failed because the connection to the server went away (a
    /// network failure, the server shut down or killed): every server-side
    /// handle of the connection went with it, and nothing but a new attach
    /// helps.
    bool ConnectionLost() const { return connectionLost_; }

private:
    int32_t ibErrorCode_;
    int32_t sqlCode_;
    bool connectionLost_;
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
