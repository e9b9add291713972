#pragma once
// Small helpers shared by the built-in servers: name matching, argument
// checks and the error texts a client sees.
#include "automation/Automation.h"
#include "automation/Servers.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace automation::kit {

/// Member names resolve ignoring ASCII case, as automation servers do.
bool sameName(std::string_view a, std::string_view b);

[[noreturn]] void unknownName(std::string_view object, std::string_view name);
[[noreturn]] void badParamCount(std::string_view name);
[[noreturn]] void disconnected();
/// "O membro requisitado da cole\xe7\xe3o n\xe3o existe."
[[noreturn]] void noSuchMember();

/// A member read or called (Get or Method, as a late-bound client may use
/// either) with between min and max arguments. Throws otherwise.
void readOrCall(std::string_view name, Invoke kind, std::size_t nargs, std::size_t min,
                std::size_t max);
/// A property assignment without index arguments: exactly one value.
void assignment(std::string_view name, Invoke kind, std::size_t nargs);

/// Rows of a table or sheet between two progress reports of its save; a
/// document with fewer rows saves without reporting at all.
inline constexpr int kProgressRows = 4096;
/// True when the calling thread has a progress function installed
/// (ScopedCallProgress).
bool progressWanted();
/// Reports to the installed function, if any; false when it asked to stop
/// (or failed). Never throws, so a C library's callback may call it.
bool keepGoing(std::int64_t done, std::int64_t total);
/// Reports; throws ECancelled when the function asked to stop.
void reportProgress(std::int64_t done, std::int64_t total);

/// The message of a save of `target` that libzip failed: `zipCode` its
/// ZIP_ER_* code, `systemError` the errno it carries (0 when none),
/// `original` its own text, kept at the end. Says in Portuguese what
/// happened and what the user can do.
std::string zipSaveError(const std::string& target, int zipCode, int systemError,
                         const std::string& original);
/// The same for libxlsxwriter: `code` its lxw_error, `systemError` errno
/// right after the failed call (0 when unknown).
std::string xlsxSaveError(const std::string& target, int code, int systemError,
                          const std::string& original);

/// Runs `save`, which writes a document file, with numbers in the file
/// formats' own form ("." as decimal point) whatever LC_NUMERIC the process
/// runs under: the libraries that write the files format numbers with the C
/// library's printf family. Any failure leaves as an EOleError.
void writeDocument(const std::function<void()>& save);

/// The SaveAs(path) and Close([save changes]) members of an open document
/// (a Word document, an Excel workbook: anything with `closed` and
/// `savedAs`), written to a file by `save`. Close drops `doc` from `open`;
/// Close(true) before any SaveAs throws `neverSaved`. Returns false, doing
/// nothing, when `name` is neither member.
template <class Doc, class Save>
bool saveAsOrClose(std::string_view name, Invoke kind, std::span<const Variant> args,
                   const std::shared_ptr<Doc>& doc, std::vector<std::shared_ptr<Doc>>& open,
                   Save save, const char* neverSaved) {
    if (sameName(name, "SaveAs")) {
        readOrCall(name, kind, args.size(), 1, 1);
        const std::string& path = args[0].text();
        if (path.empty()) throw EOleError("Nome de arquivo inv\xe1lido");
        writeDocument([&] { save(*doc, path); });
        doc->savedAs = path;
        return true;
    }
    if (sameName(name, "Close")) {
        readOrCall(name, kind, args.size(), 0, 1);
        if (!args.empty() && args[0].toBool()) {
            if (doc->savedAs.empty()) throw EOleError(neverSaved);
            writeDocument([&] { save(*doc, doc->savedAs); });
        }
        doc->closed = true;
        std::erase(open, doc);
        return true;
    }
    return false;
}

/// What every built-in server's application keeps: whether it is visible,
/// the open documents (the last one is the active one) and whether it quit.
template <class Doc> struct OfficeState {
    bool quit = false;
    bool visible = true;
    std::vector<std::shared_ptr<Doc>> open;

    void check() const {
        if (quit) disconnected();
    }
};

/// The names under which an application shows its documents.
struct OfficeNames {
    const char* collection; ///< "Documents"
    const char* active;     ///< "ActiveDocument"
    const char* noneOpen;   ///< the error of `active` with no document open
};

/// The application object of a built-in server: Visible := b, the
/// collection of documents (its Add opens a new one and makes it active),
/// the active document and Quit (documents still open are dropped unsaved,
/// as a quit without saving does). `DocObject` is the dispatch of one
/// document, made from the state and the document. A server's own members
/// come through `member`.
template <class Doc, class DocObject> class OfficeApplication : public ServerApplication {
public:
    using State = OfficeState<Doc>;

    explicit OfficeApplication(OfficeNames names) : st_(std::make_shared<State>()), names_(names) {}

    bool hasQuit() const override { return st_->quit; }

    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override {
        st_->check();
        if (sameName(name, "Visible")) {
            assignment(name, kind, args.size());
            st_->visible = args[0].toBool();
            return {};
        }
        if (sameName(name, names_.collection)) {
            readOrCall(name, kind, args.size(), 0, 0);
            return DispatchPtr(std::make_shared<Collection>(st_, names_.collection));
        }
        if (sameName(name, names_.active)) {
            readOrCall(name, kind, args.size(), 0, 0);
            if (st_->open.empty()) throw EOleError(names_.noneOpen);
            return DispatchPtr(std::make_shared<DocObject>(st_, st_->open.back()));
        }
        if (sameName(name, "Quit")) {
            readOrCall(name, kind, args.size(), 0, 0);
            for (auto& d : st_->open)
                d->closed = true;
            st_->open.clear();
            st_->quit = true;
            return {};
        }
        Variant result;
        if (member(name, kind, args, result)) return result;
        unknownName("Application", name);
    }

protected:
    /// The server's own members of the application; false for an unknown name.
    virtual bool member(std::string_view, Invoke, std::span<const Variant>, Variant&) {
        return false;
    }
    const std::shared_ptr<State>& state() const { return st_; }

private:
    class Collection : public Dispatch {
    public:
        Collection(std::shared_ptr<State> st, const char* name) : st_(std::move(st)), name_(name) {}
        Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override {
            st_->check();
            if (sameName(name, "Add")) {
                readOrCall(name, kind, args.size(), 0, 0);
                auto d = std::make_shared<Doc>();
                st_->open.push_back(d);
                return DispatchPtr(std::make_shared<DocObject>(st_, d));
            }
            unknownName(name_, name);
        }

    private:
        std::shared_ptr<State> st_;
        const char* name_;
    };

    std::shared_ptr<State> st_;
    OfficeNames names_;
};

} // namespace automation::kit
