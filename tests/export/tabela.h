#pragma once
// A real table of a fresh database file, opened the way the main window
// opens it, for the export tests.
#include "db/FbDatabase.h"
#include "db/FbTable.h"
#include "tests/support/fbtest.h"

#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

namespace exptest {

/// `ddl` runs in a new database file inside `pasta` (unless `cria` is
/// false: the file exists already); `nome` is then opened.
class Tabela {
public:
    Tabela(const fbtest::TempFolder& pasta, const std::string& ddl, const std::string& nome,
           const std::string& arquivo = "dados.fdb", bool cria = true) {
        std::string caminho = pasta.file(arquivo);
        if (cria) fbtest::createDatabase(caminho, ddl);
        conexao.SetDatabaseName(caminho);
        conexao.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
        conexao.SetLoginPrompt(false);
        transacao.SetDefaultDatabase(&conexao);
        conexao.SetDefaultTransaction(&transacao);
        tabela.SetDatabase(&conexao);
        tabela.SetTransaction(&transacao);
        tabela.SetTableName(nome);
        tabela.Open();
    }

    /// Only the named fields stay visible, as the dialog leaves them for a writer.
    void escolhe(std::initializer_list<const char*> nomes) {
        for (int i = 0; i < tabela.FieldCount(); ++i)
            tabela.Fields(i).SetVisible(false);
        for (const char* n : nomes)
            tabela.FieldByName(n).SetVisible(true);
    }

    TFbDatabase conexao;
    TFbTransaction transacao;
    TFbTable tabela;
};

inline std::string le(const std::string& caminho) {
    std::ifstream f(caminho, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void grava(const std::string& caminho, const std::string& texto) {
    std::ofstream(caminho, std::ios::binary) << texto;
}

} // namespace exptest
