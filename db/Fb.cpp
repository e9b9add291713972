#include "db/Fb.h"

#include "db/FbIntf.h"

#include <algorithm>
#include <vector>

std::string ServerErrorMessage(const ISC_STATUS* status) {
    const TFbClientApi& api = FbApi();
    std::string message;
    std::vector<char> buf(20480);
    const ISC_STATUS* cursor = status;
    for (;;) {
        long n;
        buf[0] = 0;
        if (api.fb_interpret) {
            n = api.fb_interpret(buf.data(), static_cast<unsigned>(buf.size()), &cursor);
        } else {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
            // The classic interpreter has no length bound; 20 KB is its documented ceiling.
            ISC_STATUS* c = const_cast<ISC_STATUS*>(cursor);
            n = api.isc_interprete(buf.data(), &c);
            cursor = c;
#pragma GCC diagnostic pop
        }
        if (n <= 0) break;
        buf.back() = 0;
        if (!message.empty() && message.back() != '\n') message += "\r\n";
        message += buf.data();
    }
    if (!message.empty() && message.back() == '.') message.pop_back();
    return message;
}

TFbStatus::TFbStatus(ISC_STATUS result) : result_(result) {
    if (result <= 0) return;
    const ISC_STATUS* status = StatusVector();
    std::copy(status, status + ISC_STATUS_LENGTH, words_);
    // Composed from the live vector: the texts its clusters point to belong
    // to the client library, which may reuse them at the next calls.
    sqlCode_ = FbApi().isc_sqlcode(status);
    message_ = ServerErrorMessage(status);
}

TFbStatus TFbStatus::Current() {
    return TFbStatus(1);
}

bool TFbStatus::Has(ISC_STATUS code) const {
    for (int i = 0; i + 1 < ISC_STATUS_LENGTH && words_[i] != isc_arg_end;) {
        if (words_[i] == isc_arg_gds && words_[i + 1] == code) return true;
        i += words_[i] == isc_arg_cstring ? 3 : 2;
    }
    return false;
}

bool TFbStatus::ConnectionLost() const {
    for (ISC_STATUS code : {isc_network_error, isc_net_read_err, isc_net_write_err,
                            isc_lost_db_connection, isc_att_shutdown})
        if (Has(code)) return true;
    return false;
}

void TFbStatus::Raise() const {
    const int32_t ibErrorCode = static_cast<int32_t>(words_[1]);
    const bool lost = ConnectionLost();
    if (sqlCode_ == -551) throw EFbFirebirdPermissionError(message_, ibErrorCode, sqlCode_, lost);
    throw EFbFirebirdError(message_, ibErrorCode, sqlCode_, lost);
}

void RaiseServerError() {
    TFbStatus::Current().Raise();
}

ISC_STATUS CheckStatus(ISC_STATUS result, bool raise) {
    if (raise && result > 0) TFbStatus(result).Raise();
    return result;
}
