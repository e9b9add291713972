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

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <system_error>
#include <xlsxwriter.h>

namespace automation {

namespace {

using kit::sameName;

// The sheet's limits: 1,048,576 rows, 16,384 columns, 32,767 characters.
constexpr int kMaxRows = 1048576, kMaxCols = 16384;
constexpr std::size_t kMaxText = 32767;

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
    enum class Kind : unsigned char { Blank, Text, Number, Money, Boolean };
    Kind kind = Kind::Blank;
    double number = 0;
    std::string text; // UTF-8
};

struct Workbook {
    std::vector<std::vector<SheetCell>> rows; // [row - 1][column - 1], grown on demand
    bool closed = false;
    std::string savedAs;

    void set(int row, int col, const Variant& v) {
        if (row < 1 || row > kMaxRows || col < 1 || col > kMaxCols)
            throw EOleError("Erro definido pelo aplicativo ou pelo objeto");
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
        case Variant::Kind::Object:
            throw EOleError("Tipo incompat\xedvel");
        }
        if (static_cast<std::size_t>(row) > rows.size()) {
            if (c.kind == SheetCell::Kind::Blank) return;
            rows.resize(row);
        }
        auto& r = rows[row - 1];
        if (static_cast<std::size_t>(col) > r.size()) {
            if (c.kind == SheetCell::Kind::Blank) return;
            r.resize(col);
        }
        r[col - 1] = std::move(c);
    }
};

struct ExcelState {
    bool quit = false;
    bool visible = true;
    std::vector<std::shared_ptr<Workbook>> workbooks; // open ones; the last is active

    void check() const {
        if (quit) kit::disconnected();
    }
    Workbook& active() const {
        if (workbooks.empty()) throw EOleError("N\xe3o h\xe1 pasta de trabalho ativa");
        return *workbooks.back();
    }
};

using StatePtr = std::shared_ptr<ExcelState>;
using BookPtr = std::shared_ptr<Workbook>;

void saveXlsx(const Workbook& book, const std::string& path);

class WorkbookObject : public Dispatch {
public:
    WorkbookObject(StatePtr st, BookPtr b) : st_(std::move(st)), book_(std::move(b)) {}

    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override {
        st_->check();
        if (book_->closed)
            throw EOleError("O objeto foi exclu\xed"
                            "do.");
        if (kit::saveAsOrClose(name, kind, args, book_, st_->workbooks, &saveXlsx,
                               "A pasta de trabalho nunca foi salva; use SaveAs"))
            return {};
        kit::unknownName("Workbook", name);
    }

private:
    StatePtr st_;
    BookPtr book_;
};

class WorkbooksObject : public Dispatch {
public:
    explicit WorkbooksObject(StatePtr st) : st_(std::move(st)) {}

    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override {
        st_->check();
        if (sameName(name, "Add")) {
            kit::readOrCall(name, kind, args.size(), 0, 0);
            auto b = std::make_shared<Workbook>();
            st_->workbooks.push_back(b);
            return DispatchPtr(std::make_shared<WorkbookObject>(st_, b));
        }
        kit::unknownName("Workbooks", name);
    }

private:
    StatePtr st_;
};

class ExcelApplication : public ServerApplication {
public:
    ExcelApplication() : st_(std::make_shared<ExcelState>()) {}

    bool hasQuit() const override { return st_->quit; }

    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) override {
        st_->check();
        if (sameName(name, "Visible")) {
            kit::assignment(name, kind, args.size());
            st_->visible = args[0].toBool();
            return {};
        }
        if (sameName(name, "Workbooks")) {
            kit::readOrCall(name, kind, args.size(), 0, 0);
            return DispatchPtr(std::make_shared<WorkbooksObject>(st_));
        }
        if (sameName(name, "ActiveWorkbook")) {
            kit::readOrCall(name, kind, args.size(), 0, 0);
            st_->active();
            return DispatchPtr(std::make_shared<WorkbookObject>(st_, st_->workbooks.back()));
        }
        if (sameName(name, "Cells")) {
            // Only the indexed assignment Cells(row, column) := value exists.
            if (kind != Invoke::Put)
                throw EOleError("'Cells' s\xf3 aceita atribui\xe7\xe3o com linha e coluna");
            if (args.size() != 3) kit::badParamCount(name);
            st_->active().set(args[0].toInt32(), args[1].toInt32(), args[2]);
            return {};
        }
        if (sameName(name, "Quit")) {
            kit::readOrCall(name, kind, args.size(), 0, 0);
            for (auto& b : st_->workbooks)
                b->closed = true;
            st_->workbooks.clear();
            st_->quit = true;
            return {};
        }
        kit::unknownName("Application", name);
    }

private:
    StatePtr st_;
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

// A workbook that is not to be saved after all (a failed or cancelled save):
// freed without the packaging that closing it would do, which for a large
// sheet takes longer than the user should wait. The rows already streamed
// to the sheet's temporary file go with it.
struct BookOwner {
    lxw_workbook* wb = nullptr;
    lxw_worksheet* ws = nullptr;
    ~BookOwner() {
        if (!wb) return;
        if (ws && ws->optimize_tmpfile) {
            std::fclose(ws->optimize_tmpfile);
            ws->optimize_tmpfile = nullptr;
        }
        lxw_workbook_free(wb);
    }
};

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

// Progress of a save: the rows streamed to the sheet, then the packaging,
// of unknown length.
void saveXlsx(const Workbook& book, const std::string& path) {
    rtl::SafeFile out(path);
    lxw_workbook_options opts{};
    // Rows are written in order, so the rows can be streamed to the file
    // instead of being held a second time in memory.
    opts.constant_memory = LXW_TRUE;
    BookOwner bo;
    errno = 0;
    bo.wb = workbook_new_opt(out.path().c_str(), &opts);
    if (!bo.wb) xlsxFailed(path, LXW_ERROR_MEMORY_MALLOC_FAILED, errno);
    bo.ws = workbook_add_worksheet(bo.wb, "Planilha1");
    lxw_format* money = workbook_add_format(bo.wb);
    // With constant memory the sheet opens its temporary file here.
    if (!bo.ws || !money) xlsxFailed(path, LXW_ERROR_CREATING_TMPFILE, errno);
    format_set_num_format(money, currencyNumberFormat(rtl::formatSettings()).c_str());

    const auto rows = static_cast<std::int64_t>(book.rows.size());
    std::string utf8;
    for (std::size_t r = 0; r < book.rows.size(); ++r) {
        if (r > 0 && r % kit::kProgressRows == 0)
            kit::reportProgress(static_cast<std::int64_t>(r), rows);
        const auto& row = book.rows[r];
        for (std::size_t c = 0; c < row.size(); ++c) {
            const SheetCell& cell = row[c];
            auto rr = static_cast<lxw_row_t>(r);
            auto cc = static_cast<lxw_col_t>(c);
            lxw_error e = LXW_NO_ERROR;
            errno = 0;
            switch (cell.kind) {
            case SheetCell::Kind::Blank:
                break;
            case SheetCell::Kind::Text:
                utf8 = sheetText(cell.text);
                e = worksheet_write_string(bo.ws, rr, cc, utf8.c_str(), nullptr);
                break;
            case SheetCell::Kind::Number:
                e = worksheet_write_number(bo.ws, rr, cc, cell.number, nullptr);
                break;
            case SheetCell::Kind::Money:
                e = worksheet_write_number(bo.ws, rr, cc, cell.number, money);
                break;
            case SheetCell::Kind::Boolean:
                e = worksheet_write_boolean(bo.ws, rr, cc, cell.number != 0, nullptr);
                break;
            }
            if (e != LXW_NO_ERROR) xlsxFailed(path, e, errno);
        }
    }
    int systemError = 0;
    lxw_workbook* wb = bo.wb;
    bo.wb = nullptr; // closing frees it, whatever the outcome
    lxw_error e = closeWorkbook(wb, rows, systemError);
    if (e != LXW_NO_ERROR) xlsxFailed(path, e, systemError);
    out.commit();
}

} // namespace

std::shared_ptr<ServerApplication> newExcelApplication() {
    return std::make_shared<ExcelApplication>();
}

} // namespace automation
