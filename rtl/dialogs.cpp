#include "rtl/dialogs.h"

#include <cassert>

namespace rtl {

namespace {
UserDialogs* g_dialogs = nullptr;
}

UserDialogs& dialogs() {
    assert(g_dialogs && "no UserDialogs installed");
    return *g_dialogs;
}

UserDialogs* setDialogs(UserDialogs* d) {
    UserDialogs* old = g_dialogs;
    g_dialogs = d;
    return old;
}

std::string errorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

} // namespace rtl
