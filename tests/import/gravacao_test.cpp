// Importing into real databases: what the grid copies comes back as the
// same rows, files with titles and regional values, bad rows stopped
// before writing, refusals and cancels rolled back whole.
#include "db/FbImport.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "export/ExpDataSet.h"
#include "export/ExpExcel.h"
#include "import/Importacao.h"
#include "import/Planilha.h"
#include "rtl/charset.h"
#include "tests/export/gravador.h"
#include "tests/support/fbtest.h"
#include "tests/support/relay.h"

#include <gtest/gtest.h>

using namespace importa;

namespace {

struct Banco {
    fbtest::TempFolder pasta;
    std::string caminho = pasta.file("t.fdb");
    TFbDatabase db;
    TFbTransaction tr;

    /// Created with the default set `cs` and `ddl` (UTF-8), then attached as
    /// the program attaches (it picks the connection's set itself).
    Banco(const std::string& cs, const std::string& ddl, const fbtest::Relay* relay = nullptr) {
        fbtest::createDatabaseUtf8(caminho, cs, ddl);
        db.SetDatabaseName(relay ? relay->name(caminho) : caminho);
        db.SetLoginPrompt(false);
        db.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
        tr.SetDefaultDatabase(&db);
        db.SetDefaultTransaction(&tr);
        db.Open();
    }
    ~Banco() {
        try {
            db.Close();
        } catch (...) {
        }
    }
    /// isql on the file, the program's connection closed meanwhile (the
    /// embedded engine lets one process at a time have it).
    std::string sql(const std::string& s) {
        const bool ligado = db.Connected();
        if (ligado) db.Close();
        std::string r = fbtest::isqlUtf8(caminho, s);
        if (ligado) db.Open();
        return r;
    }

    Importacao prepara(const std::string& tabela, std::string texto) {
        auto facts = db.TableFacts(tabela, tr);
        const FormatoTexto f = detectaFormato(texto);
        return Importacao(facts, std::make_unique<FonteTexto>(std::move(texto), f),
                          rtl::brazilianSettings());
    }
};

const char* const kTabela =
    "(id integer not null primary key, pequeno smallint, grande bigint, valor numeric(15,2), "
    "preco decimal(9,2), taxa double precision, fator float, dia date, hora time, "
    "momento timestamp, ativo boolean, codigo char(6), nome varchar(40), "
    "total computed by (valor * 2))";

// The rows of `tabela` as the grid copies them with Ctrl+C: display texts
// with the program's display formats, tabs between cells.
std::string copiaDaGrade(Banco& b, const std::string& tabela) {
    TFbTable t;
    t.SetDatabase(&b.db);
    t.SetTransaction(&b.tr);
    t.SetTableName(tabela);
    t.SetIndexFieldNames("ID");
    t.Open();
    std::string out;
    for (int i = 0; i < t.FieldCount(); ++i) {
        TField& f = t.Fields(i);
        const std::string fmt = DefaultDisplayFormat(f.DataType(), f.FieldName());
        if (!fmt.empty()) f.SetDisplayFormat(fmt);
    }
    for (t.First(); !t.Eof(); t.Next()) {
        for (int i = 0; i < t.FieldCount(); ++i) {
            TField& f = t.Fields(i);
            if (i) out += '\t';
            out += rtl::toUtf8(f.DisplayText(),
                               f.DataType() == ftString ? f.CharSetId() : rtl::cs::Iso8859_1);
        }
        out += '\n';
    }
    t.Close();
    b.tr.Commit();
    return out;
}

long long contagem(Banco& b, const std::string& tabela) {
    const std::string s = b.sql("select 'N=' || count(*) from " + tabela + ";");
    return std::stoll(s.substr(s.find("N=") + 2));
}

} // namespace

TEST(Gravacao, CopiaDaGradeColadaNumaTabelaVaziaDaLinhasIguais) {
    rtl::ScopedFormatSettings br(rtl::brazilianSettings());
    for (const std::string cs : {"UTF8", "WIN1252"}) {
        const std::string nomeAcentuado = cs == "UTF8" ? "Ação ÿ € 日本" : "Ação ÿ € œ";
        Banco b(cs, std::string("create table t1 ") + kTabela + ";\ncreate table t2 " + kTabela +
                        ";\ninsert into t1 values (1, -32768, 9223372036854775807, "
                        "-1234567.89, 0.05, 1234.25, 2.5, '2024-02-29', '23:59:58', "
                        "'1900-01-01 00:00:00', true, '00123', '" +
                        nomeAcentuado +
                        "');\ninsert into t1 values (2, null, null, null, null, null, null, null, "
                        "null, '2024-12-31 13:14:15', false, '', ' a ');\n");
        const std::string copia = copiaDaGrade(b, "T1");
        Importacao imp = b.prepara("T2", copia);
        Verificacao v;
        ASSERT_TRUE(imp.verifica(v));
        EXPECT_EQ(v.linhas, 2);
        EXPECT_TRUE(v.problemas.empty()) << v.problemas[0].motivo;
        EXPECT_EQ(gravaTudo(imp, b.db, b.tr, false), 2);
        EXPECT_EQ(b.sql("select * from t2 order by id;"), b.sql("select * from t1 order by id;"))
            << cs << "\n"
            << copia;
    }
}

TEST(Gravacao, PlanilhaDaPropriaExportacaoLidaNumaCopia) {
    rtl::ScopedFormatSettings br(rtl::brazilianSettings());
    exptest::Gravador usuario;
    Banco b(
        "WIN1252",
        std::string("create table t1 ") + kTabela + ";\ncreate table t2 " + kTabela +
            ";\ninsert into t1 values (1, -32768, 9007199254740993, 1234.5, "
            "0.05, -0.125, 2.5, '2024-02-29', '23:59:58', '1900-03-01 06:00:00', "
            "true, '00123', 'Ação ÿ € œ');\ninsert into t1 values (2, 7, -5, -0.01, 1.25, 1e10, "
            "-2.5, '1901-01-01', '00:00:00', '2024-12-31 23:59:59', false, 'x', "
            "'');\n");
    // (The export writes an empty number as 0, so the rows hold no NULLs.)
    const std::string arquivo = b.pasta.file("t1.xlsx");
    {
        TFbTable t;
        t.SetDatabase(&b.db);
        t.SetTransaction(&b.tr);
        t.SetTableName("T1");
        t.Open();
        t.Last();
        t.First();
        exporta::FonteDataSet fonte(t);
        ASSERT_TRUE(exporta::ExpExcel(arquivo, fonte));
        t.Close();
        b.tr.Commit();
    }
    EXPECT_EQ(folhasDaPlanilha(arquivo).size(), 1u);
    Importacao imp(b.db.TableFacts("T2", b.tr), std::make_unique<FontePlanilha>(arquivo),
                   rtl::brazilianSettings());
    EXPECT_TRUE(imp.mapa().titulos);
    Verificacao v;
    ASSERT_TRUE(imp.verifica(v));
    EXPECT_TRUE(v.problemas.empty()) << v.problemas[0].motivo;
    EXPECT_EQ(gravaTudo(imp, b.db, b.tr, false), 2);
    EXPECT_EQ(b.sql("select * from t2 order by id;"), b.sql("select * from t1 order by id;"));
}

TEST(Gravacao, ArquivoComTitulosEmOutraOrdemEValoresRegionais) {
    Banco b("WIN1252",
            "create table t (id integer not null primary key, codigo varchar(8), "
            "valor numeric(12,2), dia date, obs blob sub_type 1, feito boolean default true);");
    // Separator ';', titles in another order and case, a quoted cell with
    // the separator and a line break, a long text into the memo.
    const std::string longo(40000, 'x');
    Importacao imp = b.prepara("T", "Dia;VALOR;codigo;id;Obs\r\n"
                                    "31/01/2024;1.234,56;00123;1;\"a;b\r\nc\"\r\n"
                                    "2024-02-01;-0,5;;2;" +
                                        longo + "\r\n");
    EXPECT_TRUE(imp.mapa().titulos);
    Verificacao v;
    ASSERT_TRUE(imp.verifica(v));
    ASSERT_EQ(v.amostra.size(), 2u);
    EXPECT_EQ(v.amostra[0],
              (std::vector<std::string>{"31/01/2024", "1234,56", "00123", "1", "a;b\r\nc"}));
    EXPECT_EQ(gravaTudo(imp, b.db, b.tr, false), 2);
    std::string s;
    for (char c : b.sql("select id, codigo, valor, dia, char_length(obs) n, feito from t "
                        "order by id;"))
        if (c != ' ' || (!s.empty() && s.back() != ' ')) s += c;
    EXPECT_NE(s.find("1 00123 1234.56 2024-01-31 6 <true>"), std::string::npos) << s;
    EXPECT_NE(s.find("2 -0.50 2024-02-01 40000 <true>"), std::string::npos) << s;
}

TEST(Gravacao, LinhasRuinsApontadasENadaGravado) {
    Banco b("UTF8", "create table t (id integer not null primary key, dia date, "
                    "nome varchar(5) character set win1252, qtd integer not null);");
    Importacao imp = b.prepara("T", "ID\tDIA\tNOME\tQTD\n"
                                    "1\t01/01/2024\tok\t1\n"
                                    "2\t30/02/2024\tok\t1\n"
                                    "3\t01/01/2024\tlongo demais\t1\n"
                                    "4\t01/01/2024\tok\t\n"
                                    "5\t01/01/2024\t\xE2\x98\x83\t1\n"
                                    "6\t01/01/2024\tok\t1\n");
    Verificacao v;
    ASSERT_TRUE(imp.verifica(v));
    EXPECT_EQ(v.linhas, 6);
    EXPECT_EQ(v.ruins, 4);
    const std::pair<int, const char*> esperados[] = {
        {3, "coluna DIA: '30/02/2024' não é uma data"},
        {4, "coluna NOME: texto de 12 caracteres"},
        {5, "coluna QTD: vazia, e a coluna não aceita"},
        {6, "não existe no conjunto WIN1252"}};
    ASSERT_EQ(v.problemas.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(v.problemas[i].linha, esperados[i].first);
        EXPECT_NE(v.problemas[i].motivo.find(esperados[i].second), std::string::npos)
            << v.problemas[i].motivo;
    }
    // Not skipped: the first bad row stops everything, nothing is written.
    try {
        gravaTudo(imp, b.db, b.tr, false);
        ADD_FAILURE() << "gravou com linhas ruins";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Linha 3: ", 0), 0u) << e.what();
    }
    EXPECT_FALSE(b.tr.Active());
    EXPECT_EQ(contagem(b, "t"), 0);
    // Skipped on request: the good rows only.
    EXPECT_EQ(gravaTudo(imp, b.db, b.tr, true), 2);
    EXPECT_EQ(contagem(b, "t"), 2);
}

TEST(Gravacao, RecusaDoServidorDesfazTudoEApontaALinha) {
    Banco b("NONE", "create table t (id integer not null primary key, v integer check (v >= 0));"
                    "insert into t values (500, 0);");
    struct Caso {
        int linhaRuim; // the data line the server refuses
        const char* celulas;
        const char* mensagem;
        int porIda;
    } casos[] = {
        {37, "500\t0", "PRIMARY", 0}, // the duplicate in the middle of a block
        {1, "500\t0", "PRIMARY", 0},
        {300, "300\t-1", "CHECK", 0},
        {5, "5\t-1", "CHECK", 1}, // one row per exchange
    };
    for (const auto& c : casos) {
        std::string texto;
        for (int i = 1; i <= 300; ++i)
            texto += (i == c.linhaRuim ? std::string(c.celulas) : std::to_string(i) + "\t1") + "\n";
        Importacao imp = b.prepara("T", texto);
        try {
            gravaTudo(imp, b.db, b.tr, false, {}, nullptr, c.porIda);
            ADD_FAILURE() << "aceito";
        } catch (const EImportacaoRecusada& e) {
            EXPECT_EQ(e.linha(), c.linhaRuim);
            EXPECT_NE(std::string(e.what()).find(c.mensagem), std::string::npos) << e.what();
        }
        EXPECT_EQ(contagem(b, "t"), 1);
    }
}

TEST(Gravacao, CancelarDesfazTudo) {
    Banco b("NONE", "create table t (id integer not null primary key, nome varchar(20));");
    std::string texto;
    for (int i = 1; i <= 5000; ++i)
        texto += std::to_string(i) + "\tnome\n";
    Importacao imp = b.prepara("T", texto);
    std::atomic<bool> cancelado{false};
    long long vistas = 0;
    EXPECT_THROW(gravaTudo(
                     imp, b.db, b.tr, false,
                     [&](long long feitas) {
                         vistas = feitas;
                         if (feitas >= 1000) cancelado = true;
                         return true;
                     },
                     &cancelado),
                 EImportacaoCancelada);
    EXPECT_GE(vistas, 1000);
    EXPECT_FALSE(b.tr.Active());
    EXPECT_EQ(contagem(b, "t"), 0);
}

TEST(Gravacao, CancelarDuranteAEsperaPorOutroUsuarioDesfazTudo) {
    Banco b("NONE", "create table t (id integer not null primary key);");
    TFbDatabase outra;
    TFbTransaction trOutra;
    outra.SetDatabaseName(b.caminho);
    outra.SetLoginPrompt(false);
    outra.SetParams({"user_name=SYSDBA", std::string("password=") + fbtest::kPassword});
    trOutra.SetDefaultDatabase(&outra);
    outra.SetDefaultTransaction(&trOutra);
    outra.Open();
    TFbSQL sql;
    sql.SetDatabase(&outra);
    sql.SetTransaction(&trOutra);
    sql.SQL().Add("insert into t values (3)"); // not committed: row 3 waits for it
    sql.ExecQuery();
    Importacao imp = b.prepara("T", "1\n2\n3\n");
    TFbCancellableCall chamada(
        b.db, [&](const std::atomic<bool>& pare) { gravaTudo(imp, b.db, b.tr, false, {}, &pare); },
        true);
    EXPECT_FALSE(chamada.WaitFor(std::chrono::milliseconds(500))) << "did not wait for the lock";
    while (!chamada.WaitFor(std::chrono::milliseconds(100)))
        chamada.Cancel();
    EXPECT_THROW(chamada.Get(), EImportacaoCancelada);
    EXPECT_FALSE(b.tr.Active());
    trOutra.Rollback();
    outra.Close();
    EXPECT_EQ(contagem(b, "t"), 0);
}

TEST(Gravacao, MuitasLinhasPorIdaAoServidor) {
    if (!fbtest::serverRunning()) GTEST_SKIP() << "no server on 3050";
    fbtest::Relay relay("127.0.0.1", 3050);
    Banco b("UTF8",
            "create table t (id integer not null primary key, nome varchar(30), "
            "valor numeric(12,2), dia date);",
            &relay);
    std::string texto;
    for (int i = 1; i <= 2000; ++i)
        texto += std::to_string(i) + "\tnome " + std::to_string(i) + "\t1.234,5\t01/02/2024\n";
    Importacao imp = b.prepara("T", texto);
    TFbImportWriter w(b.db, b.tr, "T", FbImportColumns(imp.facts(), imp.colunas()));
    const int porIda = w.RowsPerTrip();
    EXPECT_GE(porIda, 100);
    const long antes = relay.exchanges();
    EXPECT_EQ(gravaTudo(imp, b.db, b.tr, false), 2000);
    const long idas = relay.exchanges() - antes;
    // One exchange per block, the prepares of the two block sizes, start and commit.
    const long blocos = (2000 + porIda - 1) / porIda;
    EXPECT_LE(idas, blocos + 6) << "rows per exchange " << porIda;
}
