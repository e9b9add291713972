#pragma once
// Small helpers shared by the built-in servers: name matching, argument
// checks and the error texts a client sees.
#include "automation/Automation.h"

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

} // namespace automation::kit
