// The built-in "Word.Application": the documents, page setup, one table per
// document over its range, auto-format, cell text, and SaveAs writing a
// WordprocessingML package. Only the members a table export uses exist;
// anything else fails with the name in the message.
#include "automation/Ooxml.h"
#include "automation/RegionalText.h"
#include "automation/ServerKit.h"
#include "automation/Servers.h"

#include "rtl/charset.h"
#include "rtl/fileerror.h"
#include "rtl/safefile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <zip.h>

namespace automation {

namespace {

using kit::sameName;

// A table whose rows leave memory as they are filled: a row is staged, its
// texts in order, in an anonymous temporary file once a cell of a row
// kWindow rows further down is reached, so memory holds a few dozen rows
// whatever the length of the table, while cells may still come in any order
// within that window. A cell of a row already staged is refused. Saving reads the staged rows back,
// once for the column widths and once for the body.
struct WordTable {
    static constexpr int kWindow = 64;
    int rows = 0;
    int cols = 0;
    // Format, borders, shading, font, colour, heading rows, last row, first
    // column, last column, autofit; Word's defaults until AutoFormat is called.
    std::array<int, 10> format{0, 1, 1, 1, 1, 1, 0, 1, 0, 1};
    std::map<int, std::vector<std::string>> pending; // rows not staged, UTF-8
    int staged = 0;                                  // rows 1..staged are in the file
    std::FILE* stage = nullptr;

    WordTable() = default;
    WordTable(const WordTable&) = delete;
    WordTable& operator=(const WordTable&) = delete;
    ~WordTable() {
        if (stage) std::fclose(stage);
    }

    /// The text of cell (r, c), to append to; stages the rows before `r`.
    std::string& cell(int r, int c) {
        if (r <= staged)
            throw EOleError("A linha " + std::to_string(r) +
                            " da tabela j\xe1 foi gravada: as c\xe9lulas chegam linha a linha");
        if (r > kWindow && (pending.empty() || r > pending.rbegin()->first))
            stageBefore(r - kWindow + 1);
        auto& row = pending[r];
        if (row.empty()) row.resize(static_cast<std::size_t>(cols));
        return row[static_cast<std::size_t>(c - 1)];
    }

    /// Stages every row before `r` (rows never filled as empty ones).
    void stageBefore(int r) {
        if (staged + 1 >= r) return;
        if (!stage) {
            errno = 0;
            stage = std::tmpfile();
            if (!stage) stagingFailed(errno);
        }
        const std::vector<std::string> empty(static_cast<std::size_t>(cols));
        for (int row = staged + 1; row < r; ++row) {
            auto it = pending.find(row);
            const auto& texts = it == pending.end() ? empty : it->second;
            for (const std::string& t : texts) {
                const auto n = static_cast<std::uint32_t>(t.size());
                if (std::fwrite(&n, sizeof n, 1, stage) != 1 ||
                    (n && std::fwrite(t.data(), 1, n, stage) != n))
                    stagingFailed(errno);
            }
            if (it != pending.end()) pending.erase(it);
            staged = row;
        }
    }

    /// Walks every row in order after staging them all: `f(row, texts)`.
    template <class F> void eachRow(F f) {
        stageBefore(rows + 1);
        if (!stage) return;
        if (std::fflush(stage) != 0 || std::fseek(stage, 0, SEEK_SET) != 0) stagingFailed(errno);
        std::vector<std::string> texts(static_cast<std::size_t>(cols));
        for (int r = 1; r <= rows; ++r) {
            for (std::string& t : texts) {
                std::uint32_t n = 0;
                if (std::fread(&n, sizeof n, 1, stage) != 1) stagingFailed(errno ? errno : EIO);
                t.resize(n);
                if (n && std::fread(t.data(), 1, n, stage) != n) stagingFailed(errno ? errno : EIO);
            }
            f(r, texts);
        }
        std::fseek(stage, 0, SEEK_END);
    }

    // The rows go through an anonymous file in the system's temporary
    // folder; its failures are about that folder, not the target's.
    [[noreturn]] static void stagingFailed(int error) {
        throw EOleError(rtl::fileErrorMessage("gravar", "tempor\xe1rio do documento", error));
    }
};

struct WordDocument {
    int orientation = 0; // 0 portrait, 1 landscape
    std::shared_ptr<WordTable> table;
    bool closed = false;
    std::string savedAs;
};

using WordState = kit::OfficeState<WordDocument>;

using StatePtr = std::shared_ptr<WordState>;
using DocPtr = std::shared_ptr<WordDocument>;

void checkDoc(const StatePtr& st, const DocPtr& d) {
    st->check();
    if (d->closed)
        throw EOleError("O objeto foi exclu\xed"
                        "do.");
}

void saveDocx(WordDocument& doc, const std::string& path);

// A range: the whole document's, or one cell's.
class RangeObject : public Dispatch {
public:
    RangeObject(StatePtr st, DocPtr doc, std::shared_ptr<WordTable> t = {}, int row = 0,
                int col = 0)
        : st_(std::move(st)), doc_(std::move(doc)), table_(std::move(t)), row_(row), col_(col) {}

    bool isDocumentRange(const DocPtr& d) const { return !table_ && doc_ == d; }

    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override;

private:
    StatePtr st_;
    DocPtr doc_;
    std::shared_ptr<WordTable> table_;
    int row_, col_;
};

class CellObject : public Dispatch {
public:
    CellObject(StatePtr st, DocPtr d, std::shared_ptr<WordTable> t, int r, int c)
        : st_(std::move(st)), doc_(std::move(d)), table_(std::move(t)), row_(r), col_(c) {}

    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override {
        checkDoc(st_, doc_);
        if (sameName(name, "Range")) {
            kit::readOrCall(name, kind, args.size(), 0, 0);
            return DispatchPtr(std::make_shared<RangeObject>(st_, doc_, table_, row_, col_));
        }
        kit::unknownName("Cell", name);
    }

private:
    StatePtr st_;
    DocPtr doc_;
    std::shared_ptr<WordTable> table_;
    int row_, col_;
};

class TableObject : public Dispatch {
public:
    TableObject(StatePtr st, DocPtr d, std::shared_ptr<WordTable> t)
        : st_(std::move(st)), doc_(std::move(d)), table_(std::move(t)) {}

    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override {
        checkDoc(st_, doc_);
        if (doc_->table != table_)
            throw EOleError("O objeto foi exclu\xed"
                            "do.");
        if (sameName(name, "Cell")) {
            kit::readOrCall(name, kind, args.size(), 2, 2);
            int r = args[0].toInt32(), c = args[1].toInt32();
            if (r < 1 || r > table_->rows || c < 1 || c > table_->cols) kit::noSuchMember();
            return DispatchPtr(std::make_shared<CellObject>(st_, doc_, table_, r, c));
        }
        if (sameName(name, "AutoFormat")) {
            kit::readOrCall(name, kind, args.size(), 0, 10);
            for (std::size_t i = 0; i < args.size(); ++i)
                if (!args[i].isEmpty()) table_->format[i] = args[i].toInt32();
            return {};
        }
        if (sameName(name, "UpdateAutoFormat")) {
            // The format is laid out when the document is saved, so there is
            // nothing to bring up to date.
            kit::readOrCall(name, kind, args.size(), 0, 0);
            return {};
        }
        kit::unknownName("Table", name);
    }

private:
    StatePtr st_;
    DocPtr doc_;
    std::shared_ptr<WordTable> table_;
};

class TablesObject : public Dispatch {
public:
    TablesObject(StatePtr st, DocPtr d) : st_(std::move(st)), doc_(std::move(d)) {}

    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override {
        checkDoc(st_, doc_);
        if (sameName(name, "Item")) {
            kit::readOrCall(name, kind, args.size(), 1, 1);
            if (args[0].toInt32() != 1 || !doc_->table) kit::noSuchMember();
            return DispatchPtr(std::make_shared<TableObject>(st_, doc_, doc_->table));
        }
        if (sameName(name, "Add")) {
            kit::readOrCall(name, kind, args.size(), 3, 5);
            auto range = args[0].kind() == Variant::Kind::Object
                             ? std::dynamic_pointer_cast<RangeObject>(args[0].object())
                             : nullptr;
            if (!range || !range->isDocumentRange(doc_))
                throw EOleError("Tables.Add: o intervalo informado n\xe3o \xe9 o do documento");
            int rows = args[1].toInt32(), cols = args[2].toInt32();
            if (cols < 1 || cols > 63) throw EOleError("O n\xfamero deve estar entre 1 e 63.");
            if (rows < 1) throw EOleError("O n\xfamero de linhas deve ser pelo menos 1.");
            // The range covers the whole document, so the new table replaces
            // whatever it held.
            auto t = std::make_shared<WordTable>();
            t->rows = rows;
            t->cols = cols;
            doc_->table = t;
            return DispatchPtr(std::make_shared<TableObject>(st_, doc_, t));
        }
        kit::unknownName("Tables", name);
    }

private:
    StatePtr st_;
    DocPtr doc_;
};

Variant RangeObject::invoke(std::string_view name, Invoke kind, std::span<const Variant> args) {
    checkDoc(st_, doc_);
    if (!table_ && sameName(name, "Tables")) {
        kit::readOrCall(name, kind, args.size(), 0, 0);
        return DispatchPtr(std::make_shared<TablesObject>(st_, doc_));
    }
    if (table_ && sameName(name, "InsertAfter")) {
        kit::readOrCall(name, kind, args.size(), 1, 1);
        if (doc_->table != table_)
            throw EOleError("O objeto foi exclu\xed"
                            "do.");
        table_->cell(row_, col_) += regionalTextUtf8(args[0]);
        return {};
    }
    kit::unknownName("Range", name);
}

class PageSetupObject : public Dispatch {
public:
    PageSetupObject(StatePtr st, DocPtr d) : st_(std::move(st)), doc_(std::move(d)) {}

    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override {
        checkDoc(st_, doc_);
        if (sameName(name, "Orientation")) {
            kit::assignment(name, kind, args.size());
            int o = args[0].toInt32();
            if (o != 0 && o != 1) throw EOleError("Valor fora do intervalo");
            doc_->orientation = o;
            return {};
        }
        kit::unknownName("PageSetup", name);
    }

private:
    StatePtr st_;
    DocPtr doc_;
};

class DocumentObject : public Dispatch {
public:
    DocumentObject(StatePtr st, DocPtr d) : st_(std::move(st)), doc_(std::move(d)) {}

    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override {
        checkDoc(st_, doc_);
        if (sameName(name, "PageSetup")) {
            kit::readOrCall(name, kind, args.size(), 0, 0);
            return DispatchPtr(std::make_shared<PageSetupObject>(st_, doc_));
        }
        if (sameName(name, "Tables")) {
            kit::readOrCall(name, kind, args.size(), 0, 0);
            return DispatchPtr(std::make_shared<TablesObject>(st_, doc_));
        }
        if (sameName(name, "Range")) {
            kit::readOrCall(name, kind, args.size(), 0, 0);
            return DispatchPtr(std::make_shared<RangeObject>(st_, doc_));
        }
        if (kit::saveAsOrClose(name, kind, args, doc_, st_->open, &saveDocx,
                               "O documento nunca foi salvo; use SaveAs"))
            return {};
        kit::unknownName("Document", name);
    }

private:
    StatePtr st_;
    DocPtr doc_;
};

class WordApplication : public kit::OfficeApplication<WordDocument, DocumentObject> {
public:
    WordApplication()
        : OfficeApplication({"Documents", "ActiveDocument",
                             "Este comando n\xe3o est\xe1 dispon\xedvel porque n\xe3o h\xe1 "
                             "documentos abertos."}) {}
};

// ---- the WordprocessingML package -------------------------------------------

const char* const kContentTypes =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
    R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
    R"(<Default Extension="xml" ContentType="application/xml"/>)"
    R"(<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>)"
    R"(<Override PartName="/word/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml"/>)"
    R"(</Types>)";

const char* const kRels =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>)"
    R"(</Relationships>)";

const char* const kDocumentRels =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>)"
    R"(</Relationships>)";

// The column widths below are measured for this font, so it is the
// document's default rather than whatever each word processor would pick:
// Arial 10 pt (Liberation Sans, of the same widths, where Arial is
// missing), no space after paragraphs, and Word's usual cell margins.
const char* const kStyles =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<w:styles xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)"
    R"(<w:docDefaults><w:rPrDefault><w:rPr>)"
    R"(<w:rFonts w:ascii="Arial" w:hAnsi="Arial" w:eastAsia="Arial" w:cs="Arial"/>)"
    R"(<w:sz w:val="20"/><w:szCs w:val="20"/><w:lang w:val="pt-BR"/>)"
    R"(</w:rPr></w:rPrDefault><w:pPrDefault><w:pPr>)"
    R"(<w:spacing w:after="0" w:line="240" w:lineRule="auto"/>)"
    R"(</w:pPr></w:pPrDefault></w:docDefaults>)"
    R"(<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/></w:style>)"
    R"(<w:style w:type="table" w:default="1" w:styleId="TableNormal"><w:name w:val="Normal Table"/>)"
    R"(<w:tblPr><w:tblInd w:w="0" w:type="dxa"/><w:tblCellMar>)"
    R"(<w:top w:w="0" w:type="dxa"/><w:left w:w="108" w:type="dxa"/>)"
    R"(<w:bottom w:w="0" w:type="dxa"/><w:right w:w="108" w:type="dxa"/>)"
    R"(</w:tblCellMar></w:tblPr></w:style>)"
    R"(</w:styles>)";

// A4, margins of 2.5 cm at the sides and 3 cm at top and bottom, in twips.
constexpr int kShort = 11906, kLong = 16838, kSide = 1417, kTopBottom = 1701;

// The cell margins of the table style, both sides, and a little room for
// the borders and for rounding.
constexpr int kCellPadding = 2 * 108 + 60;
// A tab inside a cell reaches Word's next default tab stop (1.25 cm).
constexpr int kTabTwips = 709;

// Twips one character takes in Arial 10 pt (an em is 200 twips), by class,
// each class rounded up to its wider members: narrow marks and letters;
// digits, lower case and most punctuation; capitals; the widest glyphs.
// Bold is about a tenth wider.
int charTwips(char32_t c) {
    // East Asian ideographs, kana and hangul take a full em.
    if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
        (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0xFF00 && c <= 0xFF60) || (c >= 0x20000 && c <= 0x3FFFD))
        return 240;
    if (c > 0xFF) return 112;
    static constexpr std::string_view narrow = " !\"'()*,-./:;I[\\]`fijlrt|";
    static constexpr std::string_view widest = "MW@%m";
    if (narrow.find(static_cast<char>(c)) != std::string_view::npos) return 78;
    if (widest.find(static_cast<char>(c)) != std::string_view::npos) return 190;
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || c == 'w') return 156;
    return 112;
}

// The width the longest line of `text` takes.
int textTwips(std::string_view text, bool bold) {
    int longest = 0, line = 0;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = rtl::nextCodePoint(text, i);
        if (c == '\r' || c == '\n') {
            line = 0;
            continue;
        }
        line += c == '\t' ? kTabTwips : charTwips(c);
        longest = std::max(longest, line);
    }
    return bold ? longest + longest / 10 : longest;
}

// Fits the columns' widths into `room`. Columns that need no more than an
// even share of what is left keep what they need (dates, times, numbers);
// the wide ones, whose texts wrap whatever they get, share the rest evenly
// (in proportion to their need, a column of long notes would squeeze a
// column of names it could have left whole).
std::vector<int> fitColumns(const std::vector<int>& need, int room) {
    std::vector<int> width = need;
    long long total = 0;
    for (int n : need)
        total += n;
    if (total <= room) return width;
    std::vector<bool> settled(need.size(), false);
    long long left = room;
    std::size_t open = need.size();
    for (bool changed = true; changed && open > 0;) {
        changed = false;
        const long long share = left / static_cast<long long>(open);
        for (std::size_t c = 0; c < need.size(); ++c)
            if (!settled[c] && need[c] <= share) {
                settled[c] = true;
                left -= need[c];
                --open;
                changed = true;
            }
    }
    for (std::size_t c = 0; c < need.size(); ++c)
        if (!settled[c]) width[c] = static_cast<int>(left / static_cast<long long>(open));
    return width;
}

class XmlSink {
public:
    explicit XmlSink(std::FILE* f) : f_(f) { buf_.reserve(1 << 16); }
    XmlSink& operator<<(std::string_view s) {
        buf_ += s;
        if (buf_.size() >= (1 << 16)) flush();
        return *this;
    }
    XmlSink& operator<<(int n) { return *this << std::string_view(std::to_string(n)); }
    XmlSink& text(std::string_view utf8) {
        ooxml::appendXmlTextUtf8(buf_, utf8);
        if (buf_.size() >= (1 << 16)) flush();
        return *this;
    }
    void flush() {
        if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size())
            stagingFailed(errno);
        buf_.clear();
    }

    // The body goes through an anonymous file in the system's temporary
    // folder; its failures are about that folder, not the target's.
    [[noreturn]] static void stagingFailed(int error) {
        throw EOleError(rtl::fileErrorMessage("gravar", "tempor\xe1rio do documento", error));
    }

private:
    std::FILE* f_;
    std::string buf_;
};

// Cell text in runs: a line break inside the text becomes a break, a tab a
// tab, as Word shows inserted text that holds them.
void writeRuns(XmlSink& x, std::string_view text, bool bold) {
    x << (bold ? "<w:r><w:rPr><w:b/></w:rPr>" : "<w:r>");
    std::size_t start = 0;
    auto flushText = [&](std::size_t end) {
        if (end > start) {
            x << "<w:t xml:space=\"preserve\">";
            x.text(text.substr(start, end - start));
            x << "</w:t>";
        }
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\t' || c == '\r' || c == '\n') {
            flushText(i);
            if (c == '\t')
                x << "<w:tab/>";
            else if (!(c == '\n' && i > 0 && text[i - 1] == '\r'))
                x << "<w:br/>";
            start = i + 1;
        }
    }
    flushText(text.size());
    x << "</w:r>";
}

// Progress of a save: the body's rows, then as many steps again for the
// compression of the package.
void writeDocument(WordDocument& doc, std::FILE* f) {
    XmlSink x(f);
    x << R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
         "\n"
         R"(<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body>)";
    const bool landscape = doc.orientation == 1;
    const int textWidth = (landscape ? kLong : kShort) - 2 * kSide;
    if (WordTable* t = doc.table.get()) {
        const auto& fm = t->format;
        const bool formatted = fm[0] != 0;
        const bool borders = formatted && fm[1] != 0;
        const bool font = formatted && fm[3] != 0;
        const bool heading = formatted && fm[5] != 0;
        const bool lastRow = formatted && fm[6] != 0;
        const bool firstCol = formatted && fm[7] != 0;
        const bool lastCol = formatted && fm[8] != 0;
        const bool autofit = fm[9] != 0;
        auto isBold = [&](int r, int c) {
            return font && ((heading && r == 1) || (lastRow && r == t->rows && r > 1) ||
                            (firstCol && c == 1) || (lastCol && c == t->cols));
        };

        // Each column as wide as its longest text (a date or a time never
        // wraps), within the page. An autofit table keeps these as the
        // preferred widths that Word refines from the content; programs
        // that do not lay tables out by content use them as they are.
        std::vector<int> need(static_cast<std::size_t>(t->cols), charTwips('0') + kCellPadding);
        t->eachRow([&](int r, const std::vector<std::string>& texts) {
            for (int c = 1; c <= t->cols; ++c) {
                int& n = need[static_cast<std::size_t>(c - 1)];
                n = std::max(n, textTwips(texts[static_cast<std::size_t>(c - 1)], isBold(r, c)) +
                                    kCellPadding);
            }
        });
        const std::vector<int> width = fitColumns(need, textWidth);

        x << R"(<w:tbl><w:tblPr><w:tblW w:w="0" w:type="auto"/>)";
        if (borders) {
            x << "<w:tblBorders>";
            for (const char* side : {"top", "left", "bottom", "right", "insideH", "insideV"})
                x << "<w:" << side << R"( w:val="single" w:sz="4" w:space="0" w:color="000000"/>)";
            x << "</w:tblBorders>";
        }
        x << (autofit ? R"(<w:tblLayout w:type="autofit"/>)" : R"(<w:tblLayout w:type="fixed"/>)");
        x << "</w:tblPr><w:tblGrid>";
        for (int w : width)
            x << R"(<w:gridCol w:w=")" << w << R"("/>)";
        x << "</w:tblGrid>";
        t->eachRow([&](int r, const std::vector<std::string>& texts) {
            if (r % kit::kProgressRows == 0) kit::reportProgress(r, 2LL * t->rows);
            const bool headRow = heading && r == 1;
            x << (headRow ? "<w:tr><w:trPr><w:tblHeader/></w:trPr>" : "<w:tr>");
            for (int c = 1; c <= t->cols; ++c) {
                x << R"(<w:tc><w:tcPr><w:tcW w:w=")" << width[static_cast<std::size_t>(c - 1)]
                  << R"(" w:type="dxa"/></w:tcPr><w:p>)";
                const std::string& s = texts[static_cast<std::size_t>(c - 1)];
                if (!s.empty()) writeRuns(x, s, isBold(r, c));
                x << "</w:p></w:tc>";
            }
            x << "</w:tr>";
        });
        x << "</w:tbl>";
    }
    // Word keeps a paragraph after a table and before the section end.
    x << "<w:p/><w:sectPr><w:pgSz ";
    if (landscape)
        x << R"(w:w=")" << kLong << R"(" w:h=")" << kShort << R"(" w:orient="landscape"/>)";
    else
        x << R"(w:w=")" << kShort << R"(" w:h=")" << kLong << R"("/>)";
    x << R"(<w:pgMar w:top=")" << kTopBottom << R"(" w:right=")" << kSide << R"(" w:bottom=")"
      << kTopBottom << R"(" w:left=")" << kSide
      << R"(" w:header="708" w:footer="708" w:gutter="0"/></w:sectPr></w:body></w:document>)";
    x.flush();
}

struct ZipOwner {
    zip_t* z = nullptr;
    ~ZipOwner() {
        if (z) zip_discard(z);
    }
};

[[noreturn]] void zipFailed(const std::string& target, zip_error_t* ze) {
    const int code = zip_error_code_zip(ze);
    if (code == ZIP_ER_CANCELLED) throw ECancelled();
    const int sys = zip_error_system_type(ze) == ZIP_ET_SYS ? zip_error_code_system(ze) : 0;
    throw EOleError(kit::zipSaveError(target, code, sys, zip_error_strerror(ze)));
}

void addBuffer(zip_t* z, const std::string& target, const char* name, const char* data) {
    zip_source_t* src = zip_source_buffer(z, data, std::strlen(data), 0);
    if (!src || zip_file_add(z, name, src, ZIP_FL_ENC_UTF_8) < 0) {
        if (src) zip_source_free(src);
        zipFailed(target, zip_get_error(z));
    }
}

// The compression of a large body reports its share of the save's steps and
// stops when asked; libzip then drops what it had written.
struct CompressionProgress {
    std::int64_t rows = 0;
    bool stop = false;

    void attach(zip_t* z) {
        zip_register_progress_callback_with_state(
            z, 0.01,
            [](zip_t*, double part, void* self) {
                auto* p = static_cast<CompressionProgress*>(self);
                if (!kit::keepGoing(p->rows + static_cast<std::int64_t>(part * p->rows),
                                    2 * p->rows))
                    p->stop = true;
            },
            nullptr, this);
        zip_register_cancel_callback_with_state(
            z,
            [](zip_t*, void* self) {
                return static_cast<CompressionProgress*>(self)->stop ? 1 : 0;
            },
            nullptr, this);
    }
};

void saveDocx(WordDocument& doc, const std::string& path) {
    rtl::SafeFile out(path);
    // The body can be large, so it is staged in an anonymous temporary file
    // rather than in memory; the archive takes the file over.
    errno = 0;
    std::FILE* body = std::tmpfile();
    off_t bodySize = 0;
    if (!body) XmlSink::stagingFailed(errno);
    try {
        writeDocument(doc, body);
        if (std::fflush(body) != 0) XmlSink::stagingFailed(errno);
        bodySize = ftello(body);
        std::rewind(body);
    } catch (...) {
        std::fclose(body);
        throw;
    }
    ZipOwner zo;
    int err = 0;
    zo.z = zip_open(out.path().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!zo.z) {
        std::fclose(body);
        zip_error_t ze;
        zip_error_init_with_code(&ze, err);
        try {
            zipFailed(path, &ze);
        } catch (...) {
            zip_error_fini(&ze);
            throw;
        }
    }
    CompressionProgress progress;
    const std::int64_t rows = doc.table ? doc.table->rows : 0;
    if (rows >= kit::kProgressRows && kit::progressWanted()) {
        progress.rows = rows;
        progress.attach(zo.z);
    }
    addBuffer(zo.z, path, "[Content_Types].xml", kContentTypes);
    addBuffer(zo.z, path, "_rels/.rels", kRels);
    addBuffer(zo.z, path, "word/_rels/document.xml.rels", kDocumentRels);
    addBuffer(zo.z, path, "word/styles.xml", kStyles);
    zip_source_t* src = zip_source_filep(zo.z, body, 0, bodySize);
    if (!src) {
        std::fclose(body);
        zipFailed(path, zip_get_error(zo.z));
    }
    zip_int64_t idx = zip_file_add(zo.z, "word/document.xml", src, ZIP_FL_ENC_UTF_8);
    if (idx < 0) {
        zip_source_free(src);
        zipFailed(path, zip_get_error(zo.z));
    }
    // The body of a large table is mostly repeated markup: the fastest
    // deflate level compresses it nearly as well in a fraction of the time.
    zip_set_file_compression(zo.z, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFLATE, 1);
    if (zip_close(zo.z) < 0) zipFailed(path, zip_get_error(zo.z));
    zo.z = nullptr;
    out.commit();
}

} // namespace

std::shared_ptr<ServerApplication> newWordApplication() {
    return std::make_shared<WordApplication>();
}

} // namespace automation
