// The built-in "Excel.Application": workbooks with one sheet, cells set on
// the active sheet, and SaveAs writing an Office Open XML workbook through
// libxlsxwriter. Only the members a sheet export uses exist; anything else
// fails with the name in the message.
#include "automation/ServerKit.h"
#include "automation/Servers.h"

#include "rtl/charset.h"
#include "rtl/cnumeric.h"
#include "rtl/safefile.h"
#include "rtl/settings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <limits>
#include <locale.h>
#include <map>
#include <system_error>
#include <xlsxwriter.h>

namespace automation {

namespace {

using kit::sameName;

// The sheet's limits: 1,048,576 rows, 16,384 columns, 32,767 characters.
constexpr int kMaxRows = 1048576, kMaxCols = 16384;
constexpr std::size_t kMaxText = 32767;
// The first day on which a sheet's date serials agree with automation's.
constexpr double kFirstSerial = 61;

// A text's length in characters, as the sheet's limit counts them.
std::size_t characters(const Variant& v) {
    const std::string& s = v.text();
    if (!v.isUtf8()) return s.size();
    std::size_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80;
    return n;
}

struct SheetCell {
    enum class Kind : unsigned char { Blank, Text, Number, Money, Boolean, Date };
    Kind kind = Kind::Blank;
    double number = 0;
    std::string text; // UTF-8
};

SheetCell cellOf(const Variant& v) {
    SheetCell c;
    switch (v.kind()) {
    case Variant::Kind::Empty:
        break;
    case Variant::Kind::Text:
        if (characters(v) > kMaxText)
            throw EOleError("O texto excede o limite de 32767 caracteres de uma c\xe9lula");
        c.kind = SheetCell::Kind::Text;
        c.text = v.textUtf8();
        break;
    case Variant::Kind::Boolean:
        c.kind = SheetCell::Kind::Boolean;
        c.number = v.boolean() ? 1 : 0;
        break;
    case Variant::Kind::Integer:
        c.kind = SheetCell::Kind::Number;
        c.number = v.integer();
        break;
    case Variant::Kind::Double:
        // A sheet has no cell value for these; the file would not open.
        if (!std::isfinite(v.real())) throw EOleError("Valor num\xe9rico inv\xe1lido");
        c.kind = SheetCell::Kind::Number;
        c.number = v.real();
        break;
    case Variant::Kind::Currency:
        c.kind = SheetCell::Kind::Money;
        c.number = v.currency().toDouble();
        break;
    case Variant::Kind::Date:
        // The sheet counts days from 1900 with a leap day that never was:
        // its serials agree with automation's from 1 March 1900 on only, and
        // it has none before 1900.
        if (!std::isfinite(v.date().serial) ||
            (v.date().serial >= 1 && v.date().serial < kFirstSerial) || v.date().serial < 0)
            throw EOleError("Data fora do intervalo de uma planilha");
        c.kind = SheetCell::Kind::Date;
        c.number = v.date().serial;
        break;
    case Variant::Kind::Object:
        throw EOleError("Tipo incompat\xedvel");
    }
    return c;
}

std::string currencyNumberFormat(const rtl::FormatSettings& fs);
std::string sheetText(const std::string& u);
std::string sheetDateFormat(const std::string& pattern);

// Cells write their numbers with the C library's printf, which must put a
// "." whatever LC_NUMERIC the process runs under. Switched per row, with a
// locale made once: the writing of a cell has no other use for one.
class CNumbers {
public:
    CNumbers() {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
        if (c) previous_ = uselocale(c);
    }
    ~CNumbers() {
        if (previous_) uselocale(previous_);
    }
    CNumbers(const CNumbers&) = delete;
    CNumbers& operator=(const CNumbers&) = delete;

private:
    locale_t previous_ = static_cast<locale_t>(0);
};

[[noreturn]] void cellFailed(lxw_error e) {
    throw EOleError(std::string("Falha ao gravar a c\xe9lula: ") + lxw_strerror(e));
}

// The workbook's libxlsxwriter book, dropped without packaging unless it
// was packaged (a workbook closed unsaved, a failed or cancelled save): for
// a large sheet packaging takes longer than the user should wait. The rows
// already streamed to the sheets' temporary files go with it.
struct BookOwner {
    lxw_workbook* wb = nullptr;
    std::vector<lxw_worksheet*> sheets;
    BookOwner() = default;
    BookOwner(const BookOwner&) = delete;
    BookOwner& operator=(const BookOwner&) = delete;
    void drop() {
        if (!wb) return;
        for (lxw_worksheet* ws : sheets)
            if (ws && ws->optimize_tmpfile) {
                std::fclose(ws->optimize_tmpfile);
                ws->optimize_tmpfile = nullptr;
            }
        lxw_workbook_free(wb);
        wb = nullptr;
        sheets.clear();
    }
    ~BookOwner() { drop(); }
};

// A workbook whose cells go to the file's sheets as they arrive: a row is
// written once a cell of a later row comes, so memory holds the rows not
// yet written (one, when the rows come in order) whatever the size of the
// sheet. A cell of a row already written is refused. The first row of each
// sheet is its header: bold, frozen, with an autofilter over the columns
// used; column widths follow the longest content.
struct Workbook {
    struct Sheet {
        int written = 0; // rows up to this one are in the file
        int lastRow = 0; // the last row with a value
        int columns = 0; // columns with a value
        std::vector<std::size_t> widths;
    };

    BookOwner book;
    std::vector<Sheet> sheets;                     // the last is active
    std::map<int, std::vector<SheetCell>> pending; // rows of the active sheet
    lxw_format* money = nullptr;
    lxw_format* bold = nullptr;
    lxw_format* dateFormats[3] = {}; // date, time, both
    std::int64_t rows = 0;           // written, in every sheet
    bool closed = false;
    bool packaged = false;
    bool lost = false; // packaging failed or was stopped
    std::string savedAs;

    Workbook() {
        lxw_workbook_options opts{};
        // Rows are written in order: each goes to the sheet's temporary file
        // instead of being held in memory.
        opts.constant_memory = LXW_TRUE;
        errno = 0;
        // Packaged into the name its SaveAs gives, never into this one.
        book.wb = workbook_new_opt("pasta.xlsx", &opts);
        if (!book.wb) throw EOleError("Mem\xf3ria insuficiente para a pasta de trabalho");
        addSheet();
    }

    void addSheet() {
        if (sheets.size() >= 1000) throw EOleError("Planilhas demais numa pasta de trabalho");
        writePending(std::numeric_limits<int>::max());
        const std::string name = "Planilha" + std::to_string(sheets.size() + 1);
        lxw_worksheet* ws = workbook_add_worksheet(book.wb, name.c_str());
        // With constant memory the sheet opens its temporary file here.
        if (!ws)
            throw EOleError("N\xe3o foi poss\xedvel criar o arquivo tempor\xe1rio da planilha");
        book.sheets.push_back(ws);
        sheets.emplace_back();
    }

    void set(int row, int col, const Variant& v) {
        if (packaged)
            throw EOleError("A pasta de trabalho j\xe1 foi salva; n\xe3o recebe mais c\xe9lulas");
        if (row < 1 || row > kMaxRows || col < 1 || col > kMaxCols)
            throw EOleError("Erro definido pelo aplicativo ou pelo objeto");
        SheetCell c = cellOf(v);
        Sheet& sh = sheets.back();
        if (row <= sh.written)
            throw EOleError("A linha " + std::to_string(row) +
                            " j\xe1 foi gravada: as c\xe9lulas chegam linha a linha");
        auto it = pending.find(row);
        if (c.kind == SheetCell::Kind::Blank) {
            // Clearing a cell that holds nothing creates nothing.
            if (it != pending.end() && static_cast<std::size_t>(col) <= it->second.size())
                it->second[col - 1] = SheetCell{};
            return;
        }
        if (it == pending.end()) {
            // A later row than any before: the rows before it are complete.
            if (pending.empty() || row > pending.rbegin()->first) writePending(row);
            it = pending.emplace(row, std::vector<SheetCell>{}).first;
        }
        auto& r = it->second;
        if (static_cast<std::size_t>(col) > r.size()) r.resize(col);
        r[col - 1] = std::move(c);
    }

    lxw_format* dateFormat(double serial) {
        const bool hasTime = serial != std::floor(serial);
        const int k = serial < 1 ? 1 : hasTime ? 2 : 0;
        if (!dateFormats[k]) {
            const rtl::FormatSettings& fs = rtl::formatSettings();
            const std::string pattern = k == 0   ? fs.shortDateFormat
                                        : k == 1 ? fs.longTimeFormat
                                                 : fs.shortDateFormat + " " + fs.longTimeFormat;
            dateFormats[k] = workbook_add_format(book.wb);
            if (!dateFormats[k]) cellFailed(LXW_ERROR_MEMORY_MALLOC_FAILED);
            format_set_num_format(dateFormats[k], sheetDateFormat(pattern).c_str());
        }
        return dateFormats[k];
    }

    /// Writes the pending rows before `before` to the active sheet.
    void writePending(int before) {
        if (sheets.empty()) return;
        Sheet& sh = sheets.back();
        lxw_worksheet* ws = book.sheets.back();
        if (pending.empty() || pending.begin()->first >= before) return;
        CNumbers numbers;
        std::string utf8;
        while (!pending.empty() && pending.begin()->first < before) {
            auto node = pending.extract(pending.begin());
            const int row = node.key();
            const auto rr = static_cast<lxw_row_t>(row - 1);
            bool any = false;
            for (std::size_t c = 0; c < node.mapped().size(); ++c) {
                const SheetCell& cell = node.mapped()[c];
                const auto cc = static_cast<lxw_col_t>(c);
                lxw_error e = LXW_NO_ERROR;
                std::size_t width = 0;
                switch (cell.kind) {
                case SheetCell::Kind::Blank:
                    continue;
                case SheetCell::Kind::Text:
                    utf8 = sheetText(cell.text);
                    if (row == 1 && !bold) {
                        bold = workbook_add_format(book.wb);
                        if (!bold) cellFailed(LXW_ERROR_MEMORY_MALLOC_FAILED);
                        format_set_bold(bold);
                    }
                    e = worksheet_write_string(ws, rr, cc, utf8.c_str(), row == 1 ? bold : nullptr);
                    for (unsigned char ch : cell.text)
                        width += (ch & 0xC0) != 0x80;
                    break;
                case SheetCell::Kind::Number:
                    e = worksheet_write_number(ws, rr, cc, cell.number, nullptr);
                    width = 11;
                    break;
                case SheetCell::Kind::Money:
                    if (!money) {
                        money = workbook_add_format(book.wb);
                        if (!money) cellFailed(LXW_ERROR_MEMORY_MALLOC_FAILED);
                        format_set_num_format(money,
                                              currencyNumberFormat(rtl::formatSettings()).c_str());
                    }
                    e = worksheet_write_number(ws, rr, cc, cell.number, money);
                    width = 14;
                    break;
                case SheetCell::Kind::Boolean:
                    e = worksheet_write_boolean(ws, rr, cc, cell.number != 0, nullptr);
                    width = 5;
                    break;
                case SheetCell::Kind::Date:
                    e = worksheet_write_number(ws, rr, cc, cell.number, dateFormat(cell.number));
                    width = cell.number < 1 || cell.number == std::floor(cell.number) ? 10 : 19;
                    break;
                }
                if (e != LXW_NO_ERROR) cellFailed(e);
                any = true;
                if (sh.widths.size() <= c) sh.widths.resize(c + 1, 0);
                sh.widths[c] = std::max(sh.widths[c], width);
                sh.columns = std::max(sh.columns, static_cast<int>(c) + 1);
            }
            sh.written = row;
            if (any) {
                sh.lastRow = row;
                ++rows;
            }
        }
    }

    /// The header of each sheet frozen and filtered, the widths set.
    void finishSheets() {
        writePending(std::numeric_limits<int>::max());
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            const Sheet& sh = sheets[i];
            lxw_worksheet* ws = book.sheets[i];
            if (sh.lastRow < 1 || sh.columns < 1) continue;
            worksheet_freeze_panes(ws, 1, 0);
            worksheet_autofilter(ws, 0, 0, static_cast<lxw_row_t>(sh.lastRow - 1),
                                 static_cast<lxw_col_t>(sh.columns - 1));
            for (std::size_t c = 0; c < sh.widths.size(); ++c) {
                // Room for the filter's button beside a header; the widest
                // columns stop at a screen's third.
                const double w = std::min<double>(static_cast<double>(sh.widths[c]) + 3, 80);
                worksheet_set_column(ws, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), w,
                                     nullptr);
            }
        }
    }
};

using ExcelState = kit::OfficeState<Workbook>;

const char* const kNoWorkbook = "N\xe3o h\xe1 pasta de trabalho ativa";

using StatePtr = std::shared_ptr<ExcelState>;
using BookPtr = std::shared_ptr<Workbook>;

void saveXlsx(Workbook& book, const std::string& path);

// The sheets of a workbook: Add appends one at the end and makes it the
// active sheet (the cells of the ones before are complete then); Count.
class WorksheetsObject : public Dispatch {
public:
    WorksheetsObject(StatePtr st, BookPtr b) : st_(std::move(st)), book_(std::move(b)) {}

    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override {
        st_->check();
        if (book_->closed)
            throw EOleError("O objeto foi exclu\xed"
                            "do.");
        if (sameName(name, "Add")) {
            kit::readOrCall(name, kind, args.size(), 0, 0);
            if (book_->packaged)
                throw EOleError(
                    "A pasta de trabalho j\xe1 foi salva; n\xe3o recebe mais planilhas");
            book_->addSheet();
            return {};
        }
        if (sameName(name, "Count")) {
            kit::readOrCall(name, kind, args.size(), 0, 0);
            return static_cast<std::int32_t>(book_->sheets.size());
        }
        kit::unknownName("Sheets", name);
    }

private:
    StatePtr st_;
    BookPtr book_;
};

class WorkbookObject : public Dispatch {
public:
    WorkbookObject(StatePtr st, BookPtr b) : st_(std::move(st)), book_(std::move(b)) {}

    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override {
        st_->check();
        if (book_->closed)
            throw EOleError("O objeto foi exclu\xed"
                            "do.");
        if (sameName(name, "Worksheets") || sameName(name, "Sheets")) {
            kit::readOrCall(name, kind, args.size(), 0, 0);
            return DispatchPtr(std::make_shared<WorksheetsObject>(st_, book_));
        }
        if (kit::saveAsOrClose(name, kind, args, book_, st_->open, &saveXlsx,
                               "A pasta de trabalho nunca foi salva; use SaveAs"))
            return {};
        kit::unknownName("Workbook", name);
    }

private:
    StatePtr st_;
    BookPtr book_;
};

class ExcelApplication : public kit::OfficeApplication<Workbook, WorkbookObject> {
public:
    ExcelApplication() : OfficeApplication({"Workbooks", "ActiveWorkbook", kNoWorkbook}) {}

protected:
    bool member(std::string_view name, Invoke kind, std::span<const Variant> args,
                Variant&) override {
        if (!sameName(name, "Cells")) return false;
        // Only the indexed assignment Cells(row, column) := value exists.
        if (kind != Invoke::Put)
            throw EOleError("'Cells' s\xf3 aceita atribui\xe7\xe3o com linha e coluna");
        if (args.size() != 3) kit::badParamCount(name);
        if (state()->open.empty()) throw EOleError(kNoWorkbook);
        state()->open.back()->set(args[0].toInt32(), args[1].toInt32(), args[2]);
        return true;
    }
};

// ---- the workbook file --------------------------------------------------------

// The regional currency layout as a number format: the symbol where the
// settings put it, grouped thousands and the regional count of decimals.
// Number formats are stored with "," and "." whatever the locale; the
// program that opens the file shows the reader's separators.
std::string currencyNumberFormat(const rtl::FormatSettings& fs) {
    std::string number = "#,##0";
    if (fs.currencyDecimals > 0) number += "." + std::string(fs.currencyDecimals, '0');
    std::string symbol;
    for (char ch : rtl::toUtf8(fs.currencyString, rtl::cs::Iso8859_1))
        if (ch != '"') symbol += ch;
    static const char* const positive[] = {"$1", "1$", "$ 1", "1 $"};
    static const char* const negative[] = {"($1)", "-$1",  "$-1",   "$1-",  "(1$)", "-1$",
                                           "1-$",  "1$-",  "-1 $",  "-$ 1", "1 $-", "$ 1-",
                                           "$ -1", "1- $", "($ 1)", "(1 $)"};
    auto build = [&](const char* layout) {
        std::string out, literal;
        auto flush = [&] {
            if (!literal.empty()) out += "\"" + literal + "\"";
            literal.clear();
        };
        for (const char* p = layout; *p; ++p) {
            if (*p == '1') {
                flush();
                out += number;
            } else if (*p == '$') {
                literal += symbol;
            } else {
                literal += *p;
            }
        }
        flush();
        return out;
    };
    int pos = fs.currencyFormat >= 0 && fs.currencyFormat <= 3 ? fs.currencyFormat : 0;
    int neg = fs.negCurrFormat >= 0 && fs.negCurrFormat <= 15 ? fs.negCurrFormat : 1;
    return build(positive[pos]) + ";" + build(negative[neg]);
}

// A regional date or time pattern (the program's format-pattern letters) as
// a number format: the same letters, but minutes are "m" there, as the
// program that opens the file tells them from months by the hours or
// seconds beside them; texts in quotes are kept, in double quotes.
std::string sheetDateFormat(const std::string& pattern) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '"' || c == '\'') {
            const std::size_t end = pattern.find(c, i + 1);
            const std::string text =
                pattern.substr(i + 1, (end == std::string::npos ? pattern.size() : end) - i - 1);
            out += '"' + text + '"';
            if (end == std::string::npos) break;
            i = end;
        } else if (c == 'n' || c == 'N') {
            out += 'm';
        } else if (c == 'z' || c == 'Z') {
            out += '0';
        } else {
            out += c;
        }
    }
    return rtl::toUtf8(out, rtl::cs::Iso8859_1);
}

// Cell text (UTF-8) as the file holds it. The file format reads "_xHHHH_"
// as an escaped character, so a text that holds such a sequence literally
// gets its underscore escaped, or it would come back changed.
std::string sheetText(const std::string& u) {
    if (u.find("_x") == std::string::npos) return u;
    auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    std::string out;
    for (std::size_t i = 0; i < u.size(); ++i) {
        if (u[i] == '_' && i + 6 < u.size() && u[i + 1] == 'x' && hex(u[i + 2]) && hex(u[i + 3]) &&
            hex(u[i + 4]) && hex(u[i + 5]) && u[i + 6] == '_') {
            out += "_x005F_";
            continue;
        }
        out += u[i];
    }
    return out;
}

[[noreturn]] void xlsxFailed(const std::string& target, lxw_error e, int systemError) {
    throw EOleError(kit::xlsxSaveError(target, e, systemError, lxw_strerror(e)));
}

// Closing the workbook packages the whole file, in one call that reports
// nothing and cannot be interrupted. A large one runs on a helper thread so
// that the caller's progress function goes on being called meanwhile (the
// program stays responsive); a stop asked then takes effect when the
// packaging ends, and its file is dropped.
lxw_error closeWorkbook(lxw_workbook* wb, std::int64_t rows, int& systemError) {
    auto close = [wb, &systemError] {
        rtl::ScopedCNumeric numbers; // this thread's own locale, as the caller's
        errno = 0;
        lxw_error e = workbook_close(wb);
        systemError = e == LXW_NO_ERROR ? 0 : errno;
        return e;
    };
    if (rows < kit::kProgressRows || !kit::progressWanted()) return close();
    std::future<lxw_error> done;
    try {
        done = std::async(std::launch::async, close);
    } catch (const std::system_error&) {
        return close(); // no thread to be had: packaged here, as a small one is
    }
    // Reported once as it starts, however short, then while it lasts.
    bool stop = false;
    do {
        // Asked once to stop, it asks no more while the packing ends.
        if (!stop && !kit::keepGoing(rows, -1)) stop = true;
    } while (done.wait_for(std::chrono::milliseconds(25)) != std::future_status::ready);
    lxw_error e = done.get();
    if (stop) throw ECancelled();
    return e;
}

// The rows are in the sheets already: saving packages them into the file
// (a copy of the file first saved, when saved again).
void saveXlsx(Workbook& book, const std::string& path) {
    if (book.packaged) {
        if (book.lost)
            throw EOleError(
                "A pasta de trabalho foi descartada por uma grava\xe7\xe3o interrompida");
        if (path == book.savedAs) return;
        rtl::SafeFile out(path);
        if (book.rows >= kit::kProgressRows) kit::reportProgress(0, -1);
        std::error_code ec;
        std::filesystem::copy_file(book.savedAs, out.path(),
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) xlsxFailed(path, LXW_ERROR_CREATING_XLSX_FILE, ec.value());
        out.commit();
        return;
    }
    if (book.lost)
        throw EOleError("A pasta de trabalho foi descartada por uma grava\xe7\xe3o interrompida");
    rtl::SafeFile out(path);
    book.finishSheets();
    // The rows are written already; the packaging follows.
    if (book.rows >= kit::kProgressRows) {
        kit::reportProgress(0, book.rows);
        kit::reportProgress(book.rows, book.rows);
    }
    // The book packages into the name it holds: the safe file's.
    lxw_workbook* wb = book.book.wb;
    std::free(wb->filename);
    wb->filename = strdup(out.path().c_str());
    if (!wb->filename) xlsxFailed(path, LXW_ERROR_MEMORY_MALLOC_FAILED, ENOMEM);
    int systemError = 0;
    book.book.wb = nullptr; // closing frees it, whatever the outcome
    book.book.sheets.clear();
    book.packaged = true;
    // Until it ends well, the cells are gone and no file holds them.
    book.lost = true;
    lxw_error e = closeWorkbook(wb, book.rows, systemError);
    if (e != LXW_NO_ERROR) xlsxFailed(path, e, systemError);
    out.commit();
    book.lost = false;
}

} // namespace

std::shared_ptr<ServerApplication> newExcelApplication() {
    return std::make_shared<ExcelApplication>();
}

} // namespace automation
