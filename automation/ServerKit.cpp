#include "automation/ServerKit.h"

#include "rtl/cnumeric.h"

namespace automation {

namespace {

thread_local const ScopedCallProgress::Function* installed = nullptr;

} // namespace

ScopedCallProgress::ScopedCallProgress(Function f) : f_(std::move(f)), previous_(installed) {
    installed = &f_;
}

ScopedCallProgress::~ScopedCallProgress() {
    installed = previous_;
}

} // namespace automation

namespace automation::kit {

bool progressWanted() {
    return installed != nullptr && *installed;
}

bool keepGoing(std::int64_t done, std::int64_t total) {
    if (!progressWanted()) return true;
    try {
        return (*installed)(done, total);
    } catch (...) {
        // A function that cannot go on has asked, in its way, to stop.
        return false;
    }
}

void reportProgress(std::int64_t done, std::int64_t total) {
    if (!keepGoing(done, total)) throw ECancelled();
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x -= 32;
        if (y >= 'a' && y <= 'z') y -= 32;
        if (x != y) return false;
    }
    return true;
}

void unknownName(std::string_view object, std::string_view name) {
    throw EOleError("Nome desconhecido: o objeto " + std::string(object) +
                    " n\xe3o tem o membro '" + std::string(name) + "'");
}

void badParamCount(std::string_view name) {
    throw EOleError("N\xfamero de par\xe2metros inv\xe1lido em '" + std::string(name) + "'");
}

void disconnected() {
    throw EOleError("O objeto invocado foi desconectado de seus clientes");
}

void noSuchMember() {
    throw EOleError("O membro requisitado da cole\xe7\xe3o n\xe3o existe.");
}

void readOrCall(std::string_view name, Invoke kind, std::size_t nargs, std::size_t min,
                std::size_t max) {
    if (kind == Invoke::Put)
        throw EOleError("'" + std::string(name) + "' n\xe3o aceita atribui\xe7\xe3o");
    if (nargs < min || nargs > max) badParamCount(name);
}

void assignment(std::string_view name, Invoke kind, std::size_t nargs) {
    if (kind != Invoke::Put)
        throw EOleError("'" + std::string(name) + "' s\xf3 aceita atribui\xe7\xe3o");
    if (nargs != 1) badParamCount(name);
}

void writeDocument(const std::function<void()>& save) {
    rtl::ScopedCNumeric numbers;
    try {
        save();
    } catch (const EOleError&) {
        throw;
    } catch (const std::exception& e) {
        // The file's own failures (rtl::SafeFile) reach the client the way
        // every failure of a server call does.
        throw EOleError(e.what());
    }
}

} // namespace automation::kit
