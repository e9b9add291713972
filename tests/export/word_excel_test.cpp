// The Word and Excel writers on real tables: the calls the office servers
// receive, in order and with their typed values, and the files the built-in
// servers save, opened back. Through the dialog: ui/office_test.cpp.
#include "automation/Servers.h"
#include "export/ExpDataSet.h"
#include "export/ExpExcel.h"
#include "export/ExpWord.h"
#include "export/Exporta.h"
#include "tests/automation/OfficeFiles.h"
#include "tests/export/gravador.h"
#include "tests/export/tabela.h"

#include "rtl/settings.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using exptest::Tabela;
using V = std::vector<std::string>;

namespace {

const char* kVendas =
    "create table VENDAS (ID integer not null primary key, CLIENTE varchar(20), VALOR "
    "numeric(15,2),"
    " PESO double precision, ATIVO smallint, DIA date, HORA time, CRIADO timestamp, G bigint);"
    "insert into VENDAS values (1, 'Jo\xe3o & <Ana>', 1234.5, -0.5, 1, '2024-12-25', '13:45:30',"
    " '2024-12-25 08:05:00', 9007199254740993);"
    "insert into VENDAS (ID) values (2);";

class EscritoresOffice : public ::testing::Test {
protected:
    rtl::ScopedFormatSettings brasil{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    exptest::Gravador usuario;
    automation::CallLog log;

    void SetUp() override { automation::resetServers(); }
    void TearDown() override { automation::resetServers(); }

    /// Runs the writer over the table's visible fields, as the dialog does:
    /// walked to the end and back first.
    bool exporta(Tabela& t, bool word, const std::string& alvo,
                 const exporta::Progresso& progresso = {}) {
        t.tabela.Last();
        t.tabela.First();
        exporta::FonteDataSet fonte(t.tabela);
        return word ? exporta::ExpWord(alvo, fonte, progresso)
                    : exporta::ExpExcel(alvo, fonte, progresso);
    }

    /// A table with `n` integer fields C1..Cn and one row.
    static std::string largura(int n) {
        std::string ddl = "create table LARGA (";
        for (int i = 1; i <= n; ++i)
            ddl += (i > 1 ? ", C" : "C") + std::to_string(i) + " integer";
        return ddl + "); insert into LARGA (C1) values (5);";
    }
};

} // namespace

TEST_F(EscritoresOffice, WordReceivesTheCallsOfATableExportInOrderWithTypedValues) {
    Tabela t(pasta, kVendas, "VENDAS");
    t.escolhe({"CLIENTE", "VALOR", "PESO", "ATIVO", "DIA", "HORA", "CRIADO", "G"});
    t.tabela.FieldByName("CLIENTE").SetDisplayLabel("Cliente");
    automation::recordCalls("Word.Application", &log);
    std::string alvo = pasta.file("vendas.doc");
    ASSERT_TRUE(exporta(t, true, alvo));

    const std::string cell = "ActiveDocument.Tables.Item(i:1).Cell(";
    auto insere = [&](int r, int c, const std::string& v) {
        return cell + "i:" + std::to_string(r) + ", i:" + std::to_string(c) +
               ").Range.InsertAfter(" + v + ")";
    };
    V esperado = {
        "GetActiveObject(\"Word.Application\") !! Opera\xe7\xe3o indispon\xedvel",
        "CreateOleObject(\"Word.Application\")",
        "Visible := false",
        "Documents.Add()",
        "ActiveDocument.PageSetup.Orientation := i:1",
        "ActiveDocument.Tables.Add(<ActiveDocument.Range>, i:3, i:8)",
        "ActiveDocument.Range.Tables.Item(i:1).AutoFormat(i:1, i:1, i:1, i:1, i:1, i:1, i:0, i:0, "
        "i:0, i:1)",
        insere(1, 1, "\"Cliente\""),
        insere(1, 2, "\"VALOR\""),
        insere(1, 3, "\"PESO\""),
        insere(1, 4, "\"ATIVO\""),
        insere(1, 5, "\"DIA\""),
        insere(1, 6, "\"HORA\""),
        insere(1, 7, "\"CRIADO\""),
        insere(1, 8, "\"G\""),
        insere(2, 1, "\"Jo\xe3o & <Ana>\""),
        insere(2, 2, "cy:1234.5"),
        insere(2, 3, "d:-0.5"),
        insere(2, 4, "\"SIM\""),
        insere(2, 5, "\"25/12/2024\""),
        insere(2, 6, "\"13:45:30\""),
        insere(2, 7, "\"25/12/2024 08:05:00\""),
        insere(2, 8, "\"9007199254740993\""),
        // A row of nulls: a null date gives an empty text, the others their zero.
        insere(3, 1, "\"\""),
        insere(3, 2, "cy:0"),
        insere(3, 3, "d:0"),
        insere(3, 4, "\"N\xc3O\""),
        insere(3, 5, "\"\""),
        insere(3, 6, "\"00:00:00\""),
        insere(3, 7, "\"\""),
        insere(3, 8, "\"0\""),
        "ActiveDocument.Range.Tables.Item(i:1).UpdateAutoFormat()",
        "ActiveDocument.SaveAs(\"" + alvo + "\")",
        "ActiveDocument.Close(false)",
        "Quit()",
    };
    EXPECT_EQ(log.lines(), esperado);
    EXPECT_TRUE(usuario.mensagens.empty());
    EXPECT_FALSE(t.tabela.ControlsDisabled());

    auto d = officefiles::readWord(alvo);
    EXPECT_TRUE(d.landscape);
    EXPECT_TRUE(d.borders);
    EXPECT_EQ(d.headerRow, (std::vector<bool>{true, false, false}));
    ASSERT_EQ(d.rows.size(), 3u);
    V linha2, cabecalho;
    for (const auto& c : d.rows[0])
        cabecalho.push_back(c.text);
    for (const auto& c : d.rows[1])
        linha2.push_back(c.text);
    EXPECT_EQ(cabecalho, (V{"Cliente", "VALOR", "PESO", "ATIVO", "DIA", "HORA", "CRIADO", "G"}));
    EXPECT_TRUE(d.rows[0][0].bold);
    EXPECT_EQ(linha2, (V{"Jo\xe3o & <Ana>", "1234,5", "-0,5", "SIM", "25/12/2024", "13:45:30",
                         "25/12/2024 08:05:00", "9007199254740993"}));
    EXPECT_EQ(d.rows[2][3].text, "N\xc3O");
}

TEST_F(EscritoresOffice, ExcelReceivesTheCallsOfASheetExportInOrderWithTypedValues) {
    Tabela t(pasta, kVendas, "VENDAS");
    t.escolhe({"ID", "CLIENTE", "VALOR", "PESO", "ATIVO", "DIA", "CRIADO"});
    automation::recordCalls("Excel.Application", &log);
    std::string alvo = pasta.file("vendas.xls");
    ASSERT_TRUE(exporta(t, false, alvo));

    auto cel = [](int r, int c, const std::string& v) {
        return "Cells(i:" + std::to_string(r) + ", i:" + std::to_string(c) + ") := " + v;
    };
    V esperado = {
        "GetActiveObject(\"Excel.Application\") !! Opera\xe7\xe3o indispon\xedvel",
        "CreateOleObject(\"Excel.Application\")",
        "visible := false",
        "Workbooks.Add()",
        cel(1, 1, "\"ID\""),
        cel(1, 2, "\"CLIENTE\""),
        cel(1, 3, "\"VALOR\""),
        cel(1, 4, "\"PESO\""),
        cel(1, 5, "\"ATIVO\""),
        cel(1, 6, "\"DIA\""),
        cel(1, 7, "\"CRIADO\""),
        cel(2, 1, "i:1"),
        cel(2, 2, "\"Jo\xe3o & <Ana>\""),
        cel(2, 3, "cy:1234.5"),
        cel(2, 4, "d:-0.5"),
        cel(2, 5, "\"SIM\""),
        cel(2, 6, "dt:45651"),
        cel(2, 7,
            "dt:" + automation::Variant(automation::OleDate{45651 + 485 / 1440.0})
                        .describe()
                        .substr(3)),
        cel(3, 1, "i:2"),
        cel(3, 2, "\"\""),
        cel(3, 3, "cy:0"),
        cel(3, 4, "d:0"),
        cel(3, 5, "\"N\xc3O\""),
        "ActiveWorkBook.SaveAs(\"" + alvo + "\")",
        "ActiveWorkBook.Close(false)",
        "Quit()",
    };
    EXPECT_EQ(log.lines(), esperado);

    auto cells = officefiles::readSheet(alvo);
    struct Celula {
        const char *ref, *tipo, *valor;
        bool moeda;
    } celulas[] = {
        {"A1", "s", "ID", false},    {"G1", "s", "CRIADO", false},
        {"A2", "n", "1", false},     {"B2", "s", "Jo\xe3o & <Ana>", false},
        {"C2", "n", "1234.5", true}, {"D2", "n", "-0.5", false},
        {"E2", "s", "SIM", false},   {"F2", "n", "45651", false},
        {"C3", "n", "0", true},      {"E3", "s", "N\xc3O", false},
    };
    for (const auto& c : celulas) {
        ASSERT_TRUE(cells.count(c.ref)) << c.ref;
        EXPECT_EQ(cells[c.ref].type, c.tipo) << c.ref;
        EXPECT_EQ(cells[c.ref].value, c.valor) << c.ref;
        EXPECT_EQ(cells[c.ref].format.find("R$") != std::string::npos, c.moeda) << c.ref;
    }
    EXPECT_FALSE(cells.count("H1")) << "only the chosen fields";
    EXPECT_FALSE(cells.count("A4")) << "one row per dataset row";
}

TEST_F(EscritoresOffice, NoRowsGiveTheHeaderOnly) {
    for (bool word : {true, false}) {
        Tabela t(pasta, "create table VAZIA (A integer, B varchar(5));", "VAZIA",
                 word ? "w.fdb" : "x.fdb");
        std::string alvo = pasta.file(word ? "vazia.doc" : "vazia.xls");
        std::vector<std::pair<std::int64_t, std::int64_t>> passos;
        ASSERT_TRUE(exporta(t, word, alvo, [&](auto p, auto m) { passos.emplace_back(p, m); }));
        EXPECT_EQ(passos, (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 0}}));
        if (word) {
            auto d = officefiles::readWord(alvo);
            ASSERT_EQ(d.rows.size(), 1u);
            EXPECT_EQ(d.rows[0][0].text, "A");
            EXPECT_EQ(d.rows[0][1].text, "B");
            EXPECT_EQ(d.headerRow, std::vector<bool>{true});
        } else {
            auto cells = officefiles::readSheet(alvo);
            EXPECT_EQ(cells.size(), 2u);
            EXPECT_EQ(cells["A1"].value, "A");
            EXPECT_EQ(cells["B1"].value, "B");
        }
    }
}

TEST_F(EscritoresOffice, ProgressCountsTheRowsWritten) {
    Tabela t(pasta,
             "create table T (A integer); insert into T values (1); insert into T values (2);"
             "insert into T values (3);",
             "T");
    for (bool word : {true, false}) {
        std::vector<std::pair<std::int64_t, std::int64_t>> passos;
        ASSERT_TRUE(exporta(t, word, pasta.file(word ? "t.doc" : "t.xls"),
                            [&](auto p, auto m) { passos.emplace_back(p, m); }));
        EXPECT_EQ(passos, (std::vector<std::pair<std::int64_t, std::int64_t>>{
                              {0, 3}, {1, 3}, {2, 3}, {3, 3}}));
    }
}

TEST_F(EscritoresOffice, WordTakes63FieldsAndRefuses64WithoutAnyCall) {
    Tabela ok(pasta, largura(63), "LARGA", "63.fdb");
    ok.escolhe({"C1"});
    std::string alvo = pasta.file("larga.doc");
    ASSERT_TRUE(exporta(ok, true, alvo));
    EXPECT_EQ(officefiles::readWord(alvo).rows.at(1).at(0).text, "5");
    EXPECT_TRUE(usuario.mensagens.empty());

    Tabela demais(pasta, largura(64), "LARGA", "64.fdb");
    demais.escolhe({"C1"}); // every field counts, chosen or not
    automation::recordCalls("Word.Application", &log);
    exptest::grava(alvo, "anterior");
    EXPECT_FALSE(exporta(demais, true, alvo));
    EXPECT_EQ(usuario.mensagens, V{"O Word permite receber no m\xe1ximo 63 colunas."});
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(exptest::le(alvo), "anterior");
    EXPECT_FALSE(demais.tabela.ControlsDisabled());
}

TEST_F(EscritoresOffice, AnExistingFileIsReplaced) {
    Tabela t(pasta, kVendas, "VENDAS");
    t.escolhe({"ID"});
    for (bool word : {true, false}) {
        std::string alvo = pasta.file(word ? "velho.doc" : "velho.xls");
        exptest::grava(alvo, std::string(50000, 'v'));
        ASSERT_TRUE(exporta(t, word, alvo));
        if (word)
            EXPECT_EQ(officefiles::readWord(alvo).rows.at(2).at(0).text, "2");
        else
            EXPECT_EQ(officefiles::readSheet(alvo)["A3"].value, "2");
    }
}

TEST_F(EscritoresOffice, AServerThatCannotBeReachedShowsItsMessageAndWritesNothing) {
    Tabela t(pasta, kVendas, "VENDAS");
    struct Caso {
        bool word;
        const char *progId, *mensagem, *arquivo;
    } casos[] = {
        {true, "Word.Application", "N\xe3o foi poss\xedvel executar o MS-WORD", "w.doc"},
        {false, "Excel.Application", "N\xe3o foi poss\xedvel executar o MS-EXCEL", "x.xls"},
    };
    for (const auto& c : casos) {
        usuario.mensagens.clear();
        automation::setServerAvailable(c.progId, false);
        std::string alvo = pasta.file(c.arquivo);
        exptest::grava(alvo, "anterior");
        EXPECT_FALSE(exporta(t, c.word, alvo));
        EXPECT_EQ(usuario.mensagens, V{c.mensagem});
        EXPECT_EQ(exptest::le(alvo), "anterior");
        EXPECT_FALSE(t.tabela.ControlsDisabled());
    }
}

TEST_F(EscritoresOffice, ARunningServerIsUsedAndToldToQuit) {
    Tabela t(pasta, kVendas, "VENDAS");
    t.escolhe({"ID"});
    for (const char* progId : {"Word.Application", "Excel.Application"}) {
        automation::runServer(progId);
        automation::recordCalls(progId, &log);
        log.clear();
        ASSERT_TRUE(exporta(t, progId[0] == 'W', pasta.file("r.out")));
        EXPECT_EQ(log.lines().front(), "GetActiveObject(\"" + std::string(progId) + "\")");
        EXPECT_EQ(log.lines().back(), "Quit()");
        EXPECT_THROW(automation::getActiveObject(progId), automation::EOleError)
            << "the instance is gone";
    }
}

TEST_F(EscritoresOffice, AFailedSaveEndsTheServerAndResumesTheControls) {
    Tabela t(pasta, kVendas, "VENDAS");
    t.escolhe({"ID"});
    for (bool word : {true, false}) {
        const char* progId = word ? "Word.Application" : "Excel.Application";
        automation::AutoObject running = automation::runServer(progId);
        automation::recordCalls(progId, &log);
        log.clear();
        EXPECT_THROW(exporta(t, word, pasta.file("nao/existe.out")), automation::EOleError);
        EXPECT_FALSE(t.tabela.ControlsDisabled());
        auto linhas = log.lines();
        EXPECT_EQ(linhas.back(), "Quit()");
        // The document or workbook the writer added is closed unsaved.
        EXPECT_EQ(linhas[linhas.size() - 2],
                  word ? "Documents.Add().Close(false)" : "Workbooks.Add().Close(false)");
        EXPECT_THROW(automation::getActiveObject(progId), automation::EOleError);
    }
}

TEST_F(EscritoresOffice, AStopEndsTheServerAndLeavesThePreviousFileAndNoTemporary) {
    // Large enough for the servers to report while they save.
    Tabela t(pasta,
             "create table MUITAS (ID integer, NOME varchar(30));"
             "set term ^;"
             "execute block as declare i integer = 0; begin"
             "  while (i < 5000) do begin"
             "    insert into MUITAS values (:i, 'nome ' || :i); i = i + 1; end end^"
             "set term ;^",
             "MUITAS");
    for (bool word : {true, false}) {
        const char* progId = word ? "Word.Application" : "Excel.Application";
        const fs::path saida = pasta.path() / progId;
        fs::create_directory(saida);
        const std::string antigo = (saida / (word ? "velho.docx" : "velho.xlsx")).string();
        exptest::grava(antigo, "anterior");
        // Stopped while the rows go to the server, and while it saves (the
        // count starts again from 0 then).
        for (bool salvando : {false, true}) {
            automation::AutoObject running = automation::runServer(progId);
            std::int64_t ultimo = 0;
            bool pediu = false;
            EXPECT_THROW(exporta(t, word, antigo,
                                 [&](std::int64_t p, std::int64_t) {
                                     if (salvando ? p < ultimo : p == 100) pediu = true;
                                     ultimo = p;
                                     return pediu ? exporta::Andamento::Para
                                                  : exporta::Andamento::Segue;
                                 }),
                         exporta::Cancelada)
                << progId << (salvando ? " saving" : " filling");
            EXPECT_TRUE(pediu) << progId;
            EXPECT_EQ(exptest::le(antigo), "anterior") << progId;
            EXPECT_EQ(std::distance(fs::directory_iterator(saida), fs::directory_iterator()), 1)
                << progId << ": no temporary file left";
            EXPECT_FALSE(t.tabela.ControlsDisabled()) << progId;
            EXPECT_THROW(automation::getActiveObject(progId), automation::EOleError)
                << progId << ": told to quit";
        }
    }
}
