#pragma once
// A working session as the window tests start it: a customer table with
// accents, dates, numbers and a memo, the main window connected to it, and
// the steps a user takes to open a table and read a cell.
#include "app/Grade.h"
#include "app/UPrincipal.h"
#include "app/UTabelas.h"
#include "tests/support/fbtest.h"
#include "tests/ui/apoio.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <string>

namespace uitest {

// Texts are Latin-1 bytes, as the program keeps them.
inline const char* const kClientes =
    "CREATE TABLE CLIENTES (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(40), "
    "CIDADE VARCHAR(30), UF CHAR(2), NASCIMENTO DATE, LIMITE NUMERIC(9,2), "
    "QTD_ITENS DOUBLE PRECISION, OBS BLOB SUB_TYPE TEXT);"
    "CREATE TABLE OUTRA (X INTEGER);"
    "COMMIT;"
    "INSERT INTO CLIENTES VALUES (1, 'Jos\xe9', 'S\xe3o Paulo', 'SP', "
    "'1980-03-05', 15000.5, 2.5, 'nota');"
    "INSERT INTO CLIENTES VALUES (2, 'Maria', 'Florian\xf3polis', 'SC', "
    "'1975-11-21', 8200, 1, NULL);"
    "INSERT INTO CLIENTES VALUES (3, '\xc2ngela', 'Joinville', 'SC', "
    "NULL, 300, 0.125, NULL);"
    "INSERT INTO CLIENTES VALUES (4, 'Jo\xe3o', 'Bel\xe9m', 'PA', "
    "'2001-12-25', -250.75, 0, NULL);";

/// The main window connected to a fresh database holding kClientes.
class Sessao : public ::testing::Test {
protected:
    void SetUp() override {
        fbtest::createDatabase(banco, kClientes);
        w.show();
        w.ed1->setText(QString::fromLatin1(banco));
        QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
        ASSERT_TRUE(w.conexao.Connected());
        usuario.mensagens.clear();
    }

    /// "Abrir tabelas", then the table chosen and "Abrir" pressed.
    void abre(const char* nome) {
        quandoModal([nome](QWidget* m) {
            auto* t = qobject_cast<TFTabelas*>(m);
            ASSERT_NE(t, nullptr);
            auto achados = t->lbTabelas->findItems(QString::fromLatin1(nome), Qt::MatchExactly);
            ASSERT_EQ(achados.size(), 1);
            t->lbTabelas->setCurrentItem(achados.front());
            QTest::mouseClick(t->b1, Qt::LeftButton);
        });
        QTest::mouseClick(w.b1, Qt::LeftButton);
        ASSERT_TRUE(w.tabela.Active());
    }

    /// The grid's text of `campo` in row `linha` (0-based), as Latin-1.
    std::string celula(int linha, const char* campo) {
        auto* m = w.ds1();
        for (int c = 0; c < m->columnCount(); ++c)
            if (m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() == campo)
                return app::latin1(m->data(m->index(linha, c), Qt::DisplayRole).toString());
        ADD_FAILURE() << "no column " << campo;
        return {};
    }

    QApplication& qapp = aplicacao(); // before any widget
    rtl::ScopedFormatSettings regional{rtl::brazilianSettings()};
    fbtest::TempFolder pasta;
    std::string banco = pasta.file("sessao.fdb");
    Usuario usuario;
    TFPrincipal w;
};

} // namespace uitest
