// Rows per second of the text, HTML and XML writers on a generated table,
// beside the raw fetch loop of the dataset, and the peak memory of each.
// Every measurement runs in its own child process so that its peak resident
// size is its own; the better of two runs is shown. Usage: bench_export [rows...] (default 100000
// 1000000).
#include "db/FbDatabase.h"
#include "db/FbTable.h"
#include "export/ExpDataSet.h"
#include "export/ExpTov.h"
#include "rtl/settings.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* kPassword = "plumtower";

struct Medida {
    double segundos = -1;
    long picoKb = 0;
    std::uintmax_t bytes = 0;
};

/// Runs `f` in a child; its seconds come back through a pipe, its peak
/// memory through wait4.
Medida umFilho(const std::function<double()>& f, const std::string& saida = "") {
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

/// The better of two runs: the first one also warms the file cache, and the
/// machine is shared.
Medida emFilho(const std::function<double()>& f, const std::string& saida = "") {
    Medida a = umFilho(f, saida);
    Medida b = umFilho(f, saida);
    return (b.segundos >= 0 && (a.segundos < 0 || b.segundos < a.segundos)) ? b : a;
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

double agora() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void criaBanco(const std::string& banco, long linhas) {
    TFbDatabase::CreateDatabase("create database '" + banco + "' user 'SYSDBA' password '" +
                                kPassword + "' page_size 8192 default character set NONE");
    TFbDatabase db;
    db.SetDatabaseName(banco);
    db.SetParams({"user_name=SYSDBA", std::string("password=") + kPassword});
    db.SetLoginPrompt(false);
    db.Open();
    db.ExecuteImmediate("create table ITENS (ID integer not null primary key, NOME varchar(40),"
                        " VALOR numeric(15,2), QTD double precision, DIA date, HORA time,"
                        " ATIVO smallint)");
    db.ExecuteImmediate(
        "execute block as declare i integer = 0; begin while (i < " + std::to_string(linhas) +
        ") do begin insert into ITENS values (:i, 'Produto n' || :i || ' & <cia>',"
        " :i * 1.25, :i / 7.0, dateadd(mod(:i, 20000) day to date '1990-01-01'),"
        " dateadd(mod(:i, 86400) second to time '00:00:00'), mod(:i, 2)); i = i + 1; end end");
    db.Close();
}

/// Open, fetch every row reading each field as text: the raw loop.
double cicloBruto(const std::string& banco) {
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

/// What the dialog does: open, walk to the last row and back, then the writer.
double exportaArquivo(const std::string& banco, const std::string& formato,
                      const std::string& alvo) {
    Conexao c(banco);
    double t0 = agora();
    c.tabela.Open();
    c.tabela.Last();
    c.tabela.First();
    c.tabela.DisableControls();
    exporta::FonteDataSet fonte(c.tabela);
    if (formato == "texto")
        exporta::ExpText(alvo, fonte, ",", "''");
    else if (formato == "html")
        exporta::ExpHtml(alvo, fonte, {}, nullptr);
    else
        exporta::ExpXml(alvo, fonte);
    c.tabela.EnableControls();
    return agora() - t0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<long> tamanhos;
    for (int i = 1; i < argc; ++i)
        tamanhos.push_back(std::atol(argv[i]));
    if (tamanhos.empty()) tamanhos = {100000, 1000000};
    rtl::setFormatSettings(rtl::brazilianSettings());

    fs::path pasta = fs::temp_directory_path() / ("export_bench_" + std::to_string(getpid()));
    fs::create_directories(pasta);
    std::printf("export writers over a table of 7 columns (embedded engine)\n");
    for (long linhas : tamanhos) {
        std::string banco = (pasta / ("itens_" + std::to_string(linhas) + ".fdb")).string();
        Medida criacao = umFilho([&] {
            double t0 = agora();
            criaBanco(banco, linhas);
            return agora() - t0;
        });
        std::printf("\n%ld rows (table generated in %.1f s)\n", linhas, criacao.segundos);
        Medida bruto = emFilho([&] { return cicloBruto(banco); });
        std::printf("  %-22s %8.2f s %10.0f rows/s  peak %7ld KB\n", "raw fetch loop",
                    bruto.segundos, linhas / bruto.segundos, bruto.picoKb);
        for (const char* formato : {"texto", "html", "xml"}) {
            std::string alvo = (pasta / (std::string("saida.") + formato)).string();
            Medida m = emFilho([&] { return exportaArquivo(banco, formato, alvo); }, alvo);
            std::printf("  %-22s %8.2f s %10.0f rows/s  peak %7ld KB  %5.2fx raw  %ju bytes\n",
                        (std::string("export ") + formato).c_str(), m.segundos, linhas / m.segundos,
                        m.picoKb, m.segundos / bruto.segundos, m.bytes);
            fs::remove(alvo);
        }
        fs::remove(banco);
    }
    fs::remove_all(pasta);
    return 0;
}
