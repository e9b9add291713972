#pragma once
// What the export benchmarks share: a generated ITENS table of 7 columns, the
// dataset wired to it, the dataset's walk over it, and a measurement in a
// child process (seconds through a pipe, peak memory through wait4).
#include "db/FbDatabase.h"
#include "db/FbTable.h"
#include "export/ExpDataSet.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

/// What the dialog does: open, walk to the last row and back, then `escreve`
/// over the table; returns the seconds of the whole.
inline double exportaArquivo(const std::string& banco,
                             const std::function<void(exporta::FonteDataSet&)>& escreve) {
    Conexao c(banco);
    double t0 = agora();
    c.tabela.Open();
    c.tabela.Last();
    c.tabela.First();
    c.tabela.DisableControls();
    exporta::FonteDataSet fonte(c.tabela);
    escreve(fonte);
    c.tabela.EnableControls();
    return agora() - t0;
}

} // namespace benchexp
