#pragma once
// What the export benchmarks share: a generated ITENS table of 12 columns
// (every number and date kind, a CHAR, a VARCHAR and a memo), the dataset
// wired to it, the dataset's walk over it, the floors an export is set
// against (the client API's fetch loop writing the same text, or the same
// cells through libxlsxwriter in constant memory), and a measurement in a
// child process (seconds through a pipe, peak memory through wait4).
#include "bench/dataset_kit.h"
#include "db/FbDatabase.h"
#include "db/FbTable.h"
#include "export/ExpDataSet.h"
#include "export/ExpTabela.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xlsxwriter.h>
#include <zip.h>

namespace benchexp {

namespace fs = std::filesystem;

inline const char* kPassword = "plumtower";

struct Medida {
    double segundos = -1;
    long picoKb = 0;
    std::uintmax_t bytes = 0;
};

/// Runs `f` in a child; its seconds come back through a pipe, its peak
/// memory through wait4.
inline Medida umFilho(const std::function<double()>& f, const std::string& saida = "") {
    int canal[2];
    if (pipe(canal) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        close(canal[0]);
        double s = -1;
        try {
            s = f();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "  failed: %s\n", e.what());
        }
        if (write(canal[1], &s, sizeof s) != sizeof s) _exit(2);
        _exit(0);
    }
    close(canal[1]);
    Medida m;
    if (read(canal[0], &m.segundos, sizeof m.segundos) != sizeof m.segundos) m.segundos = -1;
    close(canal[0]);
    int estado = 0;
    struct rusage uso {};
    wait4(pid, &estado, 0, &uso);
    m.picoKb = uso.ru_maxrss;
    std::error_code ec;
    if (!saida.empty()) m.bytes = fs::file_size(saida, ec);
    return m;
}

struct Conexao {
    explicit Conexao(const std::string& banco) {
        conexao.SetDatabaseName(banco);
        conexao.SetParams({"user_name=SYSDBA", std::string("password=") + kPassword});
        conexao.SetLoginPrompt(false);
        transacao.SetDefaultDatabase(&conexao);
        conexao.SetDefaultTransaction(&transacao);
        tabela.SetDatabase(&conexao);
        tabela.SetTransaction(&transacao);
        tabela.SetTableName("ITENS");
    }
    TFbDatabase conexao;
    TFbTransaction transacao;
    TFbTable tabela;
};

inline double agora() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

inline void criaBanco(const std::string& banco, long linhas) {
    TFbDatabase::CreateDatabase("create database '" + banco + "' user 'SYSDBA' password '" +
                                kPassword + "' page_size 16384 default character set NONE");
    TFbDatabase db;
    db.SetDatabaseName(banco);
    db.SetParams({"user_name=SYSDBA", std::string("password=") + kPassword});
    db.SetLoginPrompt(false);
    db.Open();
    db.ExecuteImmediate(std::string("create table ITENS ") + benchds::kTwelveColumns);
    benchds::fillTable(db, "ITENS", benchds::twelveColumnsInsert("ITENS"), linhas);
    db.Close();
}

/// The columns an export writes: every one but the memo, which the dialog
/// never offers.
inline const char* kSelectPiso = "select ID, C, V, S, D, N92, N186, B, DT, TM, TS from ITENS"
                                 " order by ID";

/// The client API's fetch loop over kSelectPiso, handing each fetched row
/// to `linha`: the floor of any export of these rows.
inline long lacoDaApi(const std::string& banco, const std::function<void(const XSQLDA&)>& linha) {
    benchds::RawOptions o;
    o.eachRow = linha;
    return benchds::rawFetch(banco, kSelectPiso, o);
}

/// Day, month, year of a Firebird date (days since 17 Nov 1858).
inline void diaMesAno(ISC_DATE d, int& dia, int& mes, int& ano) {
    long z = long(d) + 678882 - 719468 + 1; // days since 1970-01-01 shifted to 0000-03-01
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    dia = int(doy - (153 * mp + 2) / 5 + 1);
    mes = int(mp < 10 ? mp + 3 : mp - 9);
    ano = int(yoe + era * 400 + (mes <= 2));
}

/// One fetched value as text, written by hand (numbers in decimal with
/// their scale, dates dd/mm/yyyy, times hh:mm:ss): about the bytes the text
/// writer writes for it.
inline void textoBruto(const XSQLVAR& v, std::string& s) {
    if ((v.sqltype & 1) && *v.sqlind == -1) return;
    char b[64];
    auto escalado = [&](long long n) {
        if (v.sqlscale == 0) {
            s += std::to_string(n);
            return;
        }
        long long p = 1;
        for (int i = 0; i < -v.sqlscale; ++i)
            p *= 10;
        std::snprintf(b, sizeof b, "%lld,%0*lld", n / p, -v.sqlscale, (n < 0 ? -n : n) % p);
        s += b;
    };
    switch (v.sqltype & ~1) {
    case SQL_TEXT:
        s += '\'';
        s.append(v.sqldata, std::size_t(v.sqllen));
        s += '\'';
        break;
    case SQL_VARYING: {
        unsigned short n;
        std::memcpy(&n, v.sqldata, 2);
        s += '\'';
        s.append(v.sqldata + 2, n);
        s += '\'';
        break;
    }
    case SQL_SHORT: {
        short n;
        std::memcpy(&n, v.sqldata, 2);
        escalado(n);
        break;
    }
    case SQL_LONG: {
        int n;
        std::memcpy(&n, v.sqldata, 4);
        escalado(n);
        break;
    }
    case SQL_INT64: {
        long long n;
        std::memcpy(&n, v.sqldata, 8);
        escalado(n);
        break;
    }
    case SQL_DOUBLE: {
        double d;
        std::memcpy(&d, v.sqldata, 8);
        std::snprintf(b, sizeof b, "%.15g", d);
        s += b;
        break;
    }
    case SQL_TYPE_DATE:
    case SQL_TIMESTAMP: {
        ISC_DATE d;
        std::memcpy(&d, v.sqldata, 4);
        int dia, mes, ano;
        diaMesAno(d, dia, mes, ano);
        std::snprintf(b, sizeof b, "%02d/%02d/%04d", dia, mes, ano);
        s += b;
        if ((v.sqltype & ~1) == SQL_TYPE_DATE) break;
        s += ' ';
        [[fallthrough]];
    }
    case SQL_TYPE_TIME: {
        ISC_TIME t;
        std::memcpy(&t, v.sqldata + ((v.sqltype & ~1) == SQL_TIMESTAMP ? 4 : 0), 4);
        t /= 10000;
        std::snprintf(b, sizeof b, "%02u:%02u:%02u", t / 3600, t / 60 % 60, t % 60);
        s += b;
        break;
    }
    default:
        break;
    }
}

/// The floor of the text, HTML and XML writers: the fetch loop writing each
/// row as a line of comma-separated texts into `alvo`.
inline double pisoTexto(const std::string& banco, const std::string& alvo) {
    double t0 = agora();
    std::FILE* f = std::fopen(alvo.c_str(), "wb");
    std::string s;
    lacoDaApi(banco, [&](const XSQLDA& da) {
        s.clear();
        for (int i = 0; i < da.sqld; ++i) {
            if (i) s += ',';
            textoBruto(da.sqlvar[i], s);
        }
        s += "\r\n";
        std::fwrite(s.data(), 1, s.size(), f);
    });
    std::fclose(f);
    return agora() - t0;
}

/// The floor of the Word writer: the fetch loop writing the same document
/// by hand (a table of the rows' texts in WordprocessingML, the body staged
/// in a file as it grows, then the three parts of a .docx zipped).
inline double pisoWord(const std::string& banco, const std::string& alvo) {
    double t0 = agora();
    const std::string corpo = alvo + ".document.xml";
    std::FILE* f = std::fopen(corpo.c_str(), "wb");
    std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
               "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/"
               "main\"><w:body><w:tbl>",
               f);
    std::string s, celula;
    lacoDaApi(banco, [&](const XSQLDA& da) {
        s = "<w:tr>";
        for (int i = 0; i < da.sqld; ++i) {
            celula.clear();
            textoBruto(da.sqlvar[i], celula);
            s += "<w:tc><w:p><w:r><w:t xml:space=\"preserve\">";
            for (char c : celula) {
                switch (c) {
                case '<':
                    s += "&lt;";
                    break;
                case '>':
                    s += "&gt;";
                    break;
                case '&':
                    s += "&amp;";
                    break;
                default:
                    s += c;
                }
            }
            s += "</w:t></w:r></w:p></w:tc>";
        }
        s += "</w:tr>";
        std::fwrite(s.data(), 1, s.size(), f);
    });
    std::fputs("</w:tbl><w:sectPr/></w:body></w:document>", f);
    std::fclose(f);
    static const char tipos[] =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas."
        "openxmlformats.org/package/2006/content-types\"><Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default "
        "Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/word/"
        "document.xml\" ContentType=\"application/vnd.openxmlformats-officedocument."
        "wordprocessingml.document.main+xml\"/></Types>";
    static const char rels[] =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas."
        "openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"http://"
        "schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
        "Target=\"word/document.xml\"/></Relationships>";
    int erro = 0;
    zip_t* z = zip_open(alvo.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &erro);
    zip_file_add(z, "[Content_Types].xml", zip_source_buffer(z, tipos, sizeof tipos - 1, 0), 0);
    zip_file_add(z, "_rels/.rels", zip_source_buffer(z, rels, sizeof rels - 1, 0), 0);
    const zip_int64_t i =
        zip_file_add(z, "word/document.xml", zip_source_file(z, corpo.c_str(), 0, -1), 0);
    // The fastest deflate, as the Word server packs a large body.
    zip_set_file_compression(z, static_cast<zip_uint64_t>(i), ZIP_CM_DEFLATE, 1);
    zip_close(z);
    std::remove(corpo.c_str());
    return agora() - t0;
}

/// The floor of the Excel writer: the fetch loop writing the same cells
/// (texts, numbers, dates as date cells) with libxlsxwriter in constant
/// memory.
inline double pisoExcel(const std::string& banco, const std::string& alvo) {
    double t0 = agora();
    lxw_workbook_options o{};
    o.constant_memory = LXW_TRUE;
    lxw_workbook* wb = workbook_new_opt(alvo.c_str(), &o);
    lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
    lxw_format* data = workbook_add_format(wb);
    format_set_num_format(data, "dd/mm/yyyy");
    lxw_format* hora = workbook_add_format(wb);
    format_set_num_format(hora, "hh:mm:ss");
    lxw_format* carimbo = workbook_add_format(wb);
    format_set_num_format(carimbo, "dd/mm/yyyy hh:mm:ss");
    lxw_row_t r = 1;
    std::string s;
    lacoDaApi(banco, [&](const XSQLDA& da) {
        for (int i = 0; i < da.sqld; ++i) {
            const XSQLVAR& v = da.sqlvar[i];
            const auto c = static_cast<lxw_col_t>(i);
            if ((v.sqltype & 1) && *v.sqlind == -1) continue;
            double escala = 1;
            for (int k = 0; k < -v.sqlscale; ++k)
                escala *= 10;
            switch (v.sqltype & ~1) {
            case SQL_TEXT:
            case SQL_VARYING:
                s.clear();
                textoBruto(v, s);
                worksheet_write_string(ws, r, c, s.c_str(), nullptr);
                break;
            case SQL_SHORT: {
                short n;
                std::memcpy(&n, v.sqldata, 2);
                worksheet_write_number(ws, r, c, n / escala, nullptr);
                break;
            }
            case SQL_LONG: {
                int n;
                std::memcpy(&n, v.sqldata, 4);
                worksheet_write_number(ws, r, c, n / escala, nullptr);
                break;
            }
            case SQL_INT64: {
                long long n;
                std::memcpy(&n, v.sqldata, 8);
                worksheet_write_number(ws, r, c, double(n) / escala, nullptr);
                break;
            }
            case SQL_DOUBLE: {
                double d;
                std::memcpy(&d, v.sqldata, 8);
                worksheet_write_number(ws, r, c, d, nullptr);
                break;
            }
            case SQL_TYPE_DATE: {
                ISC_DATE d;
                std::memcpy(&d, v.sqldata, 4);
                worksheet_write_number(ws, r, c, double(d) - 15018, data);
                break;
            }
            case SQL_TYPE_TIME: {
                ISC_TIME t;
                std::memcpy(&t, v.sqldata, 4);
                worksheet_write_number(ws, r, c, t / 864000000.0, hora);
                break;
            }
            case SQL_TIMESTAMP: {
                ISC_TIMESTAMP t;
                std::memcpy(&t, v.sqldata, 8);
                worksheet_write_number(
                    ws, r, c, double(t.timestamp_date) - 15018 + t.timestamp_time / 864000000.0,
                    carimbo);
                break;
            }
            default:
                break;
            }
        }
        ++r;
    });
    workbook_close(wb);
    return agora() - t0;
}

/// Open, fetch every row reading each field as text: the dataset's walk.
inline double cicloBruto(const std::string& banco) {
    Conexao c(banco);
    double t0 = agora();
    c.tabela.Open();
    std::string s;
    std::size_t total = 0;
    const int n = c.tabela.FieldCount();
    for (c.tabela.First(); !c.tabela.Eof(); c.tabela.Next()) {
        for (int i = 0; i < n; ++i) {
            s.clear();
            c.tabela.Fields(i).AppendAsString(s);
            total += s.size();
        }
    }
    double t = agora() - t0;
    if (total == 0) std::fprintf(stderr, "  (no data)\n");
    return t;
}

/// What the dialog does: open the table, then `escreve` over the rows it
/// shows, read again as an export reads them (exporta::LeituraTabela: the
/// server's count, a forward-only cursor); returns the seconds of the whole.
inline double exportaArquivo(const std::string& banco,
                             const std::function<void(exporta::Fonte&)>& escreve) {
    Conexao c(banco);
    double t0 = agora();
    c.tabela.Open();
    c.tabela.DisableControls();
    {
        exporta::LeituraTabela leitura(c.tabela, exporta::camposOfertados(c.tabela));
        escreve(leitura.fonte());
    }
    c.tabela.EnableControls();
    return agora() - t0;
}

} // namespace benchexp
