// The Linux side of the automation boundary: the entry points resolve
// identifiers against the table of built-in servers instead of the system's
// class registry. A Windows build leaves this file out and binds the same
// entry points to COM.
#ifndef _WIN32

#include "automation/Servers.h"

#include <cctype>
#include <map>

namespace automation {

namespace {

struct Entry {
    ServerFactory factory;
    bool available = true;
    std::shared_ptr<ServerApplication> running;
    CallLog* log = nullptr;
};

std::map<std::string, Entry>& table() {
    static std::map<std::string, Entry> t = [] {
        std::map<std::string, Entry> m;
        m["Word.Application"].factory = newWordApplication;
        m["Excel.Application"].factory = newExcelApplication;
        return m;
    }();
    return t;
}

// Identifiers are looked up ignoring case, as the class registry does.
Entry* find(const std::string& progId) {
    for (auto& [id, e] : table()) {
        if (id.size() != progId.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < id.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(id[i])) ==
                   std::tolower(static_cast<unsigned char>(progId[i]));
        if (same) return &e;
    }
    return nullptr;
}

[[noreturn]] void badClass(const std::string& progId) {
    throw EOleError("Seq\xfc\xeancia de caracteres de classe inv\xe1lida: " + progId);
}

std::string renderOne(const Variant& a);

std::string renderArgs(const std::vector<Variant>& args, std::size_t count) {
    std::string s;
    for (std::size_t i = 0; i < count && i < args.size(); ++i) {
        if (i) s += ", ";
        s += renderOne(args[i]);
    }
    return s;
}

// Wraps a server object so that every call on it, and on every object it
// hands out, lands in the log before being forwarded.
class RecordingObject : public Dispatch {
public:
    RecordingObject(DispatchPtr inner, std::string path, CallLog* log)
        : inner_(std::move(inner)), path_(std::move(path)), log_(log) {}

    const std::string& path() const { return path_; }
    const DispatchPtr& inner() const { return inner_; }

    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override {
        RecordedCall c;
        c.target = path_;
        c.name = std::string(name);
        c.kind = kind;
        c.args.assign(args.begin(), args.end());
        std::size_t nIndex = kind == Invoke::Put && !args.empty() ? args.size() - 1 : args.size();
        std::string member = (path_.empty() ? "" : path_ + ".") + c.name;
        if (kind == Invoke::Method || nIndex > 0) member += "(" + renderArgs(c.args, nIndex) + ")";
        c.line = member;
        if (kind == Invoke::Put && !args.empty()) c.line += " := " + renderOne(args.back());

        // The server must see its own objects, not the recording wrappers.
        std::vector<Variant> forwarded;
        forwarded.reserve(args.size());
        for (const Variant& a : args) {
            if (a.kind() == Variant::Kind::Object)
                if (auto r = std::dynamic_pointer_cast<RecordingObject>(a.object())) {
                    forwarded.emplace_back(r->inner());
                    continue;
                }
            forwarded.push_back(a);
        }
        Variant result;
        try {
            result = inner_->invoke(name, kind, forwarded);
        } catch (const std::exception& e) {
            c.error = e.what();
            c.line += std::string(" !! ") + e.what();
            log_->calls.push_back(std::move(c));
            throw;
        }
        if (result.kind() == Variant::Kind::Object && result.object()) {
            c.navigation = kind == Invoke::Get;
            result = Variant(
                DispatchPtr(std::make_shared<RecordingObject>(result.object(), member, log_)));
        }
        log_->calls.push_back(std::move(c));
        return result;
    }

private:
    DispatchPtr inner_;
    std::string path_;
    CallLog* log_;
};

std::string renderOne(const Variant& a) {
    if (a.kind() == Variant::Kind::Object)
        if (auto r = std::dynamic_pointer_cast<RecordingObject>(a.object()))
            return "<" + r->path() + ">";
    return a.describe();
}

AutoObject handOut(Entry& e, std::shared_ptr<ServerApplication> app) {
    if (!e.log) return AutoObject(std::move(app));
    return AutoObject(std::make_shared<RecordingObject>(std::move(app), "", e.log));
}

void logEntry(Entry& e, const char* what, const std::string& progId, const char* error) {
    if (!e.log) return;
    RecordedCall c;
    c.name = what;
    c.args.emplace_back(progId);
    c.line = std::string(what) + "(\"" + progId + "\")";
    if (error) {
        c.error = error;
        c.line += std::string(" !! ") + error;
    }
    e.log->calls.push_back(std::move(c));
}

} // namespace

std::vector<std::string> CallLog::lines(bool withNavigation) const {
    std::vector<std::string> out;
    for (const RecordedCall& c : calls)
        if (withNavigation || !c.navigation) out.push_back(c.line);
    return out;
}

void registerServer(const std::string& progId, ServerFactory factory) {
    Entry* e = find(progId);
    if (!e) e = &table()[progId];
    e->factory = std::move(factory);
}

void setServerAvailable(const std::string& progId, bool available) {
    Entry* e = find(progId);
    if (!e) badClass(progId);
    e->available = available;
}

AutoObject runServer(const std::string& progId) {
    Entry* e = find(progId);
    if (!e) badClass(progId);
    e->running = e->factory();
    return AutoObject(e->running);
}

void recordCalls(const std::string& progId, CallLog* log) {
    Entry* e = find(progId);
    if (!e) badClass(progId);
    e->log = log;
}

void resetServers() {
    table().clear();
    table()["Word.Application"].factory = newWordApplication;
    table()["Excel.Application"].factory = newExcelApplication;
}

AutoObject getActiveObject(const std::string& progId) {
    Entry* e = find(progId);
    if (!e) badClass(progId);
    const char* error = nullptr;
    if (!e->available)
        error = "Classe n\xe3o registrada";
    else if (!e->running || e->running->hasQuit())
        error = "Opera\xe7\xe3o indispon\xedvel";
    logEntry(*e, "GetActiveObject", progId, error);
    if (error) {
        if (e->available) e->running.reset();
        throw EOleError(error);
    }
    return handOut(*e, e->running);
}

AutoObject createOleObject(const std::string& progId) {
    Entry* e = find(progId);
    if (!e) badClass(progId);
    const char* error = e->available ? nullptr : "Classe n\xe3o registrada";
    logEntry(*e, "CreateOleObject", progId, error);
    if (error) throw EOleError(error);
    return handOut(*e, e->factory());
}

} // namespace automation

#endif
