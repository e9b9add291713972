#pragma once
// The check that follows every client call: the status a call reported,
// captured at once, and the server error composed from it (the exception
// family itself is in FbError.h).
#include "db/FbError.h"

#include <ibase.h>

#include <cstdint>
#include <string>

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
