// The program's windows as a user looks at them: every caption whole and in
// its place, message boxes that answer in Portuguese, and one whole working
// session from connecting to a written text file.
#include "app/Controles.h"
#include "app/DialogosQt.h"
#include "app/Grade.h"
#include "app/UPrincipal.h"
#include "app/UTabelas.h"
#include "export/ui/ExportaTov.h"
#include "filter/ui/UFiltrar.h"
#include "tests/support/fbtest.h"
#include "tests/ui/apoio.h"
#include "tests/ui/leiaute.h"
#include "tests/ui/sessao.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using uitest::l1;

using Janelas = uitest::Sessao;

void semFalhas(const std::vector<std::string>& falhas) {
    for (const auto& f : falhas)
        ADD_FAILURE() << f;
}

} // namespace

TEST_F(Janelas, TheMainWindowAndTheChooserShowEveryCaptionWholeInItsPlace) {
    abre("CLIENTES");
    semFalhas(leiaute::confere(&w));
    // The footer links sit side by side on one line, above the status bar.
    EXPECT_LE(w.JvLinkLabel1->geometry().right(), w.jvlnklbl1->x());
    EXPECT_LE(w.lb6->geometry().right(), w.JvLinkLabel1->x());
    EXPECT_LE(w.jvlnklbl1->geometry().bottom(), w.sb1->y());
    EXPECT_LE(w.dbGrid->geometry().bottom(), w.lbFiltro->y()) << "the filter shows under the grid";

    bool visto = false;
    uitest::quandoModal([&visto](QWidget* m) {
        visto = true;
        semFalhas(leiaute::confere(m));
    });
    QTest::mouseClick(w.b1, Qt::LeftButton);
    EXPECT_TRUE(visto);
}

TEST_F(Janelas, MessageBoxesAnswerInPortuguese) {
    app::TDialogosQt qt;
    struct Visto {
        QString titulo;
        QStringList botoes;
        QMessageBox::Icon icone = QMessageBox::NoIcon;
    };
    auto olha = [](Visto& v, const QString& aperta) {
        uitest::quandoModal([&v, aperta](QWidget* m) {
            auto* box = qobject_cast<QMessageBox*>(m);
            ASSERT_NE(box, nullptr);
            v.titulo = box->windowTitle();
            v.icone = box->icon();
            for (QAbstractButton* b : box->buttons())
                v.botoes << b->text();
            for (QAbstractButton* b : box->buttons())
                if (b->text() == aperta) b->click();
        });
    };

    Visto pergunta;
    olha(pergunta, QStringLiteral("&Sim"));
    EXPECT_TRUE(qt.question("Limpeza", "Confirma limpar a tabela \"X\"?")) << "Sim is yes";
    EXPECT_EQ(pergunta.titulo, "Limpeza");
    EXPECT_EQ(pergunta.icone, QMessageBox::Question);
    pergunta.botoes.sort();
    EXPECT_EQ(pergunta.botoes, QStringList({QStringLiteral("&N\u00e3o"), QStringLiteral("&Sim")}));

    Visto nao;
    olha(nao, QStringLiteral("&N\u00e3o"));
    EXPECT_FALSE(qt.question("Limpeza", "Confirma?"));

    Visto mensagem;
    olha(mensagem, QStringLiteral("OK"));
    qt.message("Conectado!!!");
    EXPECT_EQ(mensagem.titulo, app::tituloAplicacao());
    EXPECT_EQ(mensagem.icone, QMessageBox::NoIcon);
    EXPECT_EQ(mensagem.botoes, QStringList({QStringLiteral("OK")}));

    Visto erro;
    olha(erro, QStringLiteral("OK"));
    qt.errorBox("Falhou.");
    EXPECT_EQ(erro.titulo, app::tituloAplicacao());
    EXPECT_EQ(erro.icone, QMessageBox::Critical);

    // Qt's own dialogs speak Portuguese whatever the system locale.
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"),
              QStringLiteral("Procurar em:"));
}

TEST_F(Janelas, TheFilePickerListsItsEntriesByTheirDisplayTexts) {
    app::TDialogosQt qt;
    QStringList entradas, botoes;
    QString selecionada, titulo, pasta;
    uitest::quandoModal([&](QWidget* m) {
        auto* d = qobject_cast<QFileDialog*>(m);
        ASSERT_NE(d, nullptr);
        titulo = d->windowTitle();
        pasta = d->directory().absolutePath();
        auto* tipos = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(tipos, nullptr);
        for (int i = 0; i < tipos->count(); ++i)
            entradas << tipos->itemText(i);
        selecionada = tipos->currentText();
        for (QAbstractButton* b : d->findChildren<QAbstractButton*>())
            if (b->isVisible() && !b->text().isEmpty()) botoes << b->text();
        d->reject();
    });
    rtl::UserDialogs* antes = rtl::setDialogs(&qt);
    QTest::mouseClick(w.SpeedButton5, Qt::LeftButton);
    rtl::setDialogs(antes);
    EXPECT_EQ(titulo, QStringLiteral("Base de dados de trabalho"));
    EXPECT_EQ(entradas, QStringList({QStringLiteral("Arquivo Firebird (FDB)"),
                                     QStringLiteral("Arquivo Interbase (GDB)"),
                                     QStringLiteral("Firebird & Interbase")}));
    EXPECT_EQ(selecionada, QStringLiteral("Firebird & Interbase"));
    EXPECT_TRUE(botoes.contains(QStringLiteral("&Abrir")) &&
                botoes.contains(QStringLiteral("Cancelar")))
        << "Qt's own buttons in Portuguese: " << botoes.join(u'|').toStdString();
    EXPECT_EQ(pasta, QCoreApplication::applicationDirPath());
    EXPECT_EQ(w.ed1->text(), QString::fromLatin1(banco)) << "cancelling changes nothing";
}

TEST_F(Janelas, ADatabaseInAFolderNamedWithAccentsIsFoundAndConnects) {
    // The folder's name on disk is UTF-8, as the desktop's folder is.
    const std::string pastaAcentos = pasta.file("\xc3\x81rea de Trabalho");
    std::filesystem::create_directory(pastaAcentos);
    const std::string outro = pastaAcentos + "/c\xc3\xb3pia.fdb";
    fbtest::createDatabase(outro, "CREATE TABLE T (X INTEGER);");

    // Picked in the file dialog, the name shows as the user reads it.
    usuario.arquivo = outro;
    QTest::mouseClick(w.SpeedButton5, Qt::LeftButton);
    EXPECT_EQ(w.ed1->text(), QString::fromUtf8(outro.c_str()));

    // Typed by hand, it connects just the same.
    w.ed1->clear();
    w.ed1->insert(QString::fromUtf8(outro.c_str()));
    QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
    EXPECT_EQ(usuario.mensagens, std::vector<std::string>{"Conectado!!!"});
    EXPECT_TRUE(w.conexao.Connected());
    EXPECT_EQ(w.conexao.DatabaseName(), outro);
}

TEST_F(Janelas, TheSaveDialogAnswersWithTheFileSystemsNameOfTheFile) {
    app::TDialogosQt qt;
    const QString nome = QString::fromUtf8(pasta.file("relat\xc3\xb3rio.txt").c_str());
    uitest::quandoModal([&nome](QWidget* m) {
        auto* d = qobject_cast<QFileDialog*>(m);
        ASSERT_NE(d, nullptr);
        d->selectFile(nome);
        static_cast<QDialog*>(d)->accept();
    });
    rtl::UserDialogs::FileDialog salvar;
    salvar.initialDir = pasta.path().string();
    std::string escolhido;
    ASSERT_TRUE(qt.saveFile(salvar, escolhido));
    EXPECT_EQ(escolhido, pasta.file("relat\xc3\xb3rio.txt"));
}

TEST_F(Janelas, SavingOverAnExistingFileIsAskedOnlyByTheProgram) {
    const std::string existente = pasta.file("existente.txt");
    std::ofstream(existente) << "antigo";
    app::TDialogosQt qt;
    QStringList caixas;
    QTimer vigia;
    vigia.setInterval(5);
    QObject::connect(&vigia, &QTimer::timeout, [&caixas] {
        if (auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            caixas << b->text();
            b->reject();
        }
    });
    uitest::quandoModal([&](QWidget* m) {
        auto* d = qobject_cast<QFileDialog*>(m);
        ASSERT_NE(d, nullptr);
        d->selectFile(QString::fromLatin1(existente));
        vigia.start();
        static_cast<QDialog*>(d)->accept();
    });
    rtl::UserDialogs::FileDialog salvar;
    salvar.initialDir = pasta.path().string();
    std::string escolhido;
    const bool ok = qt.saveFile(salvar, escolhido);
    vigia.stop();
    EXPECT_TRUE(ok);
    EXPECT_EQ(escolhido, existente);
    EXPECT_TRUE(caixas.isEmpty()) << caixas.join(QStringLiteral(" | ")).toStdString();
}

TEST(TextoDeMensagem, LatinOneTextsAndUtf8PiecesFromOutsideBothReadRight) {
    struct Caso {
        const char* bytes;
        const char* texto; // UTF-8
    } casos[] = {
        {"Informa\xe7\xe3o ou campo inv\xe1lido para replica\xe7\xe3o.",
         "Informação ou campo inválido para replicação."},
        {"N\xe3o foi poss\xedvel criar o arquivo /tmp/relat\xc3\xb3rio.txt: "
         "Permiss\xc3\xa3o negada",
         "Não foi possível criar o arquivo /tmp/relatório.txt: Permissão negada"},
        {"\xc2ngela e Jo\xe3o", "Ângela e João"},
        {"\xc3", "Ã"},
        {"a\xe9\x80"
         "b",
         "aé\u0080b"},
        {"", ""},
    };
    for (const auto& c : casos)
        EXPECT_EQ(app::textoDeMensagem(c.bytes), QString::fromUtf8(c.texto)) << c.texto;
}

TEST_F(Janelas, AnExportThatCannotWriteNamesTheFileAsTheUserWroteIt) {
    abre("CLIENTES");
    // A folder that does not exist, named with accents as the disk names it.
    usuario.arquivo = pasta.file("n\xc3\xa3o existe/relat\xc3\xb3rio.txt");
    uitest::quandoModal([](QWidget* m) {
        auto* e = qobject_cast<TExportaTov*>(m);
        ASSERT_NE(e, nullptr);
        QTest::mouseClick(e->SpeedButton5, Qt::LeftButton);
        QTest::mouseClick(e->b1, Qt::LeftButton);
    });
    QTest::mouseClick(w.SpeedButton7, Qt::LeftButton);
    ASSERT_EQ(usuario.erros.size(), 1u);
    const QString texto = app::textoDaCaixa(usuario.erros[0]);
    EXPECT_TRUE(texto.contains(QString::fromUtf8("não existe/relatório.txt")))
        << texto.toStdString();
    EXPECT_TRUE(texto.startsWith(QString::fromUtf8("Não foi possível"))) << texto.toStdString();
    EXPECT_TRUE(usuario.mensagens.empty()) << "nothing was written, nothing is announced";
}

TEST_F(Janelas, AUserFiltersReplicatesAndExportsAText) {
    abre("CLIENTES");
    EXPECT_EQ(celula(0, "NASCIMENTO"), "05/03/1980");
    EXPECT_EQ(celula(0, "LIMITE"), "15.000,50");
    EXPECT_EQ(celula(0, "QTD_ITENS"), "2,5");
    EXPECT_EQ(celula(3, "LIMITE"), "-250,75");

    // Filtrar: the column UF, the operator " = ", the value typed, Enter, Ok.
    uitest::quandoModal([](QWidget* m) {
        auto* f = qobject_cast<TFFiltrar*>(m);
        ASSERT_NE(f, nullptr);
        f->lbCampos->setCurrentItem(
            f->lbCampos->findItems(QStringLiteral("UF"), Qt::MatchExactly).front());
        QTest::mouseClick(f->SpeedButton3, Qt::LeftButton);
        f->grid->setCurrentCell(2, 0);
        QTest::mouseClick(f->SpeedButton7, Qt::LeftButton);
        QTest::keyClicks(f->edSentenca, QStringLiteral("'SC'"));
        QTest::keyClick(f->edSentenca, Qt::Key_Return);
        QTest::mouseClick(f->b1, Qt::LeftButton);
    });
    QTest::mouseClick(w.SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(w.lbFiltro->text(), QStringLiteral("UF = 'SC'"));
    ASSERT_EQ(w.ds1()->rowCount(), 2);

    // Replicar: one city into the filtered rows.
    w.cb1->setCurrentIndex(w.cb1->findText(QStringLiteral("CIDADE")));
    w.ed4->setText(QString::fromLatin1("Florian\xf3polis"));
    usuario.responde = true;
    QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
    ASSERT_EQ(usuario.perguntas.size(), 1u);
    EXPECT_EQ(usuario.perguntas[0], l1("Replicação|Replicar a informação \"") + "Florian\xf3polis" +
                                        "\" para o campo \"CIDADE\"?");
    EXPECT_TRUE(usuario.mensagens.empty());
    EXPECT_EQ(w.lbFiltro->text(), QString()) << "the table is shown unfiltered again";
    ASSERT_EQ(w.ds1()->rowCount(), 4);

    // Exportar: NOME and CIDADE, chosen in the other order, to a text file.
    const std::string txt = pasta.file("clientes.txt");
    usuario.arquivo = txt;
    uitest::quandoModal([](QWidget* m) {
        auto* e = qobject_cast<TExportaTov*>(m);
        ASSERT_NE(e, nullptr);
        for (const char* nome : {"NOME", "CIDADE"}) {
            e->lbCampos->setCurrentItem(
                e->lbCampos->findItems(QString::fromLatin1(nome), Qt::MatchExactly).front());
            QTest::mouseClick(e->SpeedButton3, Qt::LeftButton);
        }
        QTest::mouseClick(e->b1, Qt::LeftButton);
    });
    QTest::mouseClick(w.SpeedButton7, Qt::LeftButton);
    EXPECT_EQ(usuario.mensagens, std::vector<std::string>{l1("Exportação completada.")});
    EXPECT_TRUE(usuario.erros.empty());

    std::ifstream in(txt, std::ios::binary);
    const std::string conteudo((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(conteudo, "'Jos\xe9','S\xe3o Paulo'\r\n"
                        "'Maria','Florian\xf3polis'\r\n"
                        "'\xc2ngela','Florian\xf3polis'\r\n"
                        "'Jo\xe3o','Bel\xe9m'\r\n");
    // Every column is back in the grid after the export.
    EXPECT_EQ(celula(2, "UF"), "SC");
}

TEST_F(Janelas, ATableAndColumnsNamedInLowerCaseAndWithBlanksAreReplicatedAndCleared) {
    w.conexao.ExecuteImmediate(
        "CREATE TABLE \"minusculas\" (\"id\" INTEGER, \"nome com espaco\" VARCHAR(20))");
    w.conexao.ExecuteImmediate("INSERT INTO \"minusculas\" VALUES (1, 'A')");
    w.conexao.ExecuteImmediate("INSERT INTO \"minusculas\" VALUES (2, 'B')");
    abre("minusculas");
    usuario.responde = true;
    for (const char* campo : {"id", "nome com espaco"}) {
        w.cb1->setCurrentIndex(w.cb1->findText(QString::fromLatin1(campo)));
        w.ed4->setText(QStringLiteral("7"));
        QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
        EXPECT_TRUE(usuario.mensagens.empty()) << usuario.mensagens.front();
        ASSERT_EQ(w.ds1()->rowCount(), 2);
        EXPECT_EQ(celula(0, campo), "7");
        EXPECT_EQ(celula(1, campo), "7");
    }
    QTest::mouseClick(w.SpeedButton3, Qt::LeftButton);
    EXPECT_EQ(usuario.perguntas.back(), "Limpeza|Confirma limpar a tabela \"minusculas\"?");
    EXPECT_TRUE(usuario.mensagens.empty()) << usuario.mensagens.front();
    EXPECT_TRUE(w.tabela.Active());
    EXPECT_EQ(w.ds1()->rowCount(), 0);
}
