// A title click on a table behind a slow link: the wait window comes up,
// "Cancelar" stops the sort, and the grid is exactly as it was before the
// click (rows, current cell, order and its arrow).
#include "app/Controles.h"
#include "app/Espera.h"
#include "app/Grade.h"
#include "app/UPrincipal.h"
#include "tests/support/fbtest.h"
#include "tests/support/relay.h"
#include "tests/ui/apoio.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(OrdemCancelada, CancelarLeavesTheGridAsItWas) {
    FBTEST_REQUIRE_SERVER();
    QApplication& qapp = uitest::aplicacao();
    (void)qapp;
    fbtest::TempFolder pasta;
    const std::string banco = pasta.file("o.fdb");
    fbtest::createDatabase(banco, "create table ITENS (ID integer not null primary key, "
                                  "NOME varchar(20));"
                                  "insert into ITENS values (1, 'c');"
                                  "insert into ITENS values (2, 'b');"
                                  "insert into ITENS values (3, 'a');");
    fbtest::Relay relay("127.0.0.1", 3050);
    uitest::Usuario usuario;
    TFPrincipal w;
    w.show();
    w.ed1->setText(QString::fromLatin1(relay.name(banco)));
    QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
    ASSERT_TRUE(w.conexao.Connected()) << testing::PrintToString(usuario.mensagens);
    w.AbreTabela("ITENS");
    ASSERT_TRUE(w.tabela.Active());
    w.dbGrid->setCurrentIndex(w.ds1()->index(1, 1));

    const auto foto = [&] {
        std::vector<std::string> f;
        for (int r = 0; r < w.ds1()->rowCount(); ++r)
            f.push_back(w.ds1()->index(r, 1).data().toString().toStdString());
        f.push_back("atual " + std::to_string(w.dbGrid->currentIndex().row()) + "," +
                    std::to_string(w.dbGrid->currentIndex().column()) + " registro " +
                    std::to_string(w.tabela.RecNo()));
        f.push_back("ordem " + w.tabela.IndexFieldNames() + " seta " +
                    std::to_string(w.dbGrid->horizontalHeader()->sortIndicatorSection()));
        return f;
    };
    const auto antes = foto();

    // From now on every exchange takes 0.8 s: the sort outlasts the moment
    // after which the wait window shows.
    relay.setDelay(std::chrono::milliseconds(400));
    bool cancelou = false;
    uitest::quandoModal([&](QWidget* m) {
        if (auto* e = qobject_cast<app::TFEspera*>(m)) {
            QTest::mouseClick(e->cancelar(), Qt::LeftButton);
            cancelou = true;
        }
    });
    w.dbGrid->ordenaPor(1);
    relay.setDelay(std::chrono::milliseconds(0));

    EXPECT_TRUE(cancelou) << "the wait window offered Cancelar";
    EXPECT_EQ(foto(), antes);
    EXPECT_TRUE(usuario.erros.empty()) << testing::PrintToString(usuario.erros);
    // The table goes on working: the same click, not cancelled, sorts.
    w.dbGrid->ordenaPor(1);
    EXPECT_EQ(w.tabela.IndexFieldNames(), "NOME;ID");
    EXPECT_EQ(w.ds1()->index(0, 1).data().toString(), "a");
}

} // namespace
