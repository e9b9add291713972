// Large values go through replication and export byte for byte: a text of
// 32,000 characters typed into "Informação à replicar", and a memo of 10 MB.
#include "app/Controles.h"
#include "app/UAcoes.h"
#include "app/UPrincipal.h"
#include "export/ui/ExportaTov.h"
#include "tests/support/fbtest.h"
#include "tests/ui/apoio.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using uitest::l1;

std::string le(const std::string& caminho) {
    std::ifstream in(caminho, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

/// `n` Latin-1 bytes cycling through letters, digits, blanks, accented
/// letters and punctuation that none of the writers escapes.
std::string texto(std::size_t n) {
    static const std::string pedaco = "Informa\xe7\xe3o \xe0 replicar; a\xe7\xfa"
                                      "car, caf\xe9 e p\xe3o 0123456789 ";
    std::string r;
    r.reserve(n);
    while (r.size() < n)
        r += pedaco;
    r.resize(n);
    return r;
}

class ValoresGrandes : public ::testing::Test {
protected:
    void SetUp() override {
        fbtest::createDatabase(banco, "create table GRANDE (ID integer not null primary key,"
                                      " TEXTO varchar(32000), OBS blob sub_type 1);"
                                      "insert into GRANDE (ID) values (1);"
                                      "insert into GRANDE (ID) values (2);");
        w.show();
        w.ed1->setText(QString::fromLatin1(banco));
        QTest::mouseClick(w.SpeedButton6, Qt::LeftButton);
        ASSERT_TRUE(w.conexao.Connected());
        w.AbreTabela("GRANDE");
        ASSERT_TRUE(w.tabela.Active());
        usuario.responde = true;
        usuario.mensagens.clear();
    }

    /// Every row's value of `campo`, read from a fresh opening of the table.
    std::vector<std::string> valores(const char* campo) {
        w.tabela.Close();
        w.tabela.Open();
        std::vector<std::string> r;
        for (w.tabela.First(); !w.tabela.Eof(); w.tabela.Next())
            r.push_back(w.tabela.FieldByName(campo).AsString());
        return r;
    }

    /// Exports TEXTO in the format that `escolhe` checks, to `arquivo`.
    void exporta(const std::string& arquivo, const std::function<void(TExportaTov&)>& escolhe) {
        usuario.arquivo = arquivo;
        uitest::quandoModal([&](QWidget* m) {
            auto* d = qobject_cast<TExportaTov*>(m);
            if (!d) return;
            auto achados = d->lbCampos->findItems("TEXTO", Qt::MatchExactly);
            if (achados.size() != 1) return;
            d->lbCampos->setCurrentItem(achados.front());
            d->SpeedButton3Click();
            escolhe(*d);
            d->FlatSpeedButton2Click();
        });
        QTest::mouseClick(w.SpeedButton7, Qt::LeftButton);
    }

    QApplication& qapp = uitest::aplicacao();
    fbtest::TempFolder pasta;
    std::string banco = pasta.file("grande.fdb");
    uitest::Usuario usuario;
    TFPrincipal w;
};

TEST_F(ValoresGrandes, A32000CharacterValueIsReplicatedAndExportedIntact) {
    const std::string v = texto(32000);
    w.cb1->setCurrentText("TEXTO");
    w.ed4->setText(QString::fromLatin1(v));
    ASSERT_EQ(w.ed4->text().size(), 32000) << "the edit takes the whole value";
    QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
    ASSERT_TRUE(usuario.mensagens.empty()) << testing::PrintToString(usuario.mensagens);
    EXPECT_EQ(valores("TEXTO"), (std::vector<std::string>{v, v}));

    exporta(pasta.file("grande.txt"), [](TExportaTov& d) { d.rbTxt->setChecked(true); });
    exporta(pasta.file("grande.html"), [](TExportaTov& d) { d.rbHtml->setChecked(true); });
    exporta(pasta.file("grande.xml"), [](TExportaTov& d) { d.rbXML->setChecked(true); });
    EXPECT_TRUE(usuario.erros.empty()) << testing::PrintToString(usuario.erros);

    const std::string txt = le(pasta.file("grande.txt"));
    EXPECT_EQ(txt, "'" + v + "'\r\n'" + v + "'\r\n");
    for (const char* nome : {"grande.html", "grande.xml"}) {
        SCOPED_TRACE(nome);
        const std::string conteudo = le(pasta.file(nome));
        const auto primeiro = conteudo.find(v);
        ASSERT_NE(primeiro, std::string::npos);
        EXPECT_NE(conteudo.find(v, primeiro + v.size()), std::string::npos) << "both rows";
    }
}

TEST_F(ValoresGrandes, AValueLongerThanAnEditsUsualLimitIsNotCutShort) {
    // Pasted rather than typed: nothing may be lost on the way to the column.
    const std::string v = texto(32000 + 8000);
    w.ed4->setText(QString::fromLatin1(v));
    EXPECT_EQ(w.ed4->text().size(), static_cast<qsizetype>(v.size()));
}

TEST_F(ValoresGrandes, ATenMegabyteMemoIsReplicatedIntact) {
    const std::string v = texto(10 * 1024 * 1024);
    // Memos are not offered in "Campo a ser replicado"; the replication
    // itself runs through the window's actions over its objects.
    TAcoes acoes(w.conexao, w.transacao, w.tabela, w.sql, &w);
    acoes.Replicar("OBS", v);
    ASSERT_TRUE(usuario.mensagens.empty()) << usuario.mensagens.front().substr(0, 300);
    const auto lidos = valores("OBS");
    ASSERT_EQ(lidos.size(), 2u);
    for (const auto& l : lidos) {
        EXPECT_EQ(l.size(), v.size());
        EXPECT_TRUE(l == v) << "the memo comes back byte for byte";
    }
}

} // namespace
