#include "tools/screenshot/Captura.h"

#include "app/Aplicacao.h"
#include "app/Grade.h"
#include "app/UPrincipal.h"
#include "export/ui/ExportaTov.h"
#include "filter/ui/UFiltrar.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTimer>

namespace captura {

namespace {

/// Lets pending paints and layouts run.
void assenta() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

/// Selects the entry named `nome`, or the entry at `reserva` when the list
/// has no such name (another table than the demonstration's). False when
/// there is nothing to select.
bool escolhe(QListWidget* lista, const char* nome, int reserva) {
    const auto achados = lista->findItems(QString::fromLatin1(nome), Qt::MatchExactly);
    int linha = achados.isEmpty() ? reserva : lista->row(achados.first());
    if (lista->count() == 0) return false;
    linha = qBound(0, linha, lista->count() - 1);
    lista->setCurrentRow(linha, QItemSelectionModel::ClearAndSelect);
    return true;
}

/// Composes, by the window's own buttons, the sentences LIMITE >= 500 and
/// " E UF = 'SC'", and leaves a third one half typed in the edit.
void compoeFiltro(TFFiltrar& f) {
    auto operador = [&f](int linha, int coluna) {
        f.grid->setCurrentCell(linha, coluna);
        f.SpeedButton7Click();
    };
    auto campo = [&f](const char* nome, int reserva) {
        if (escolhe(f.lbCampos, nome, reserva)) f.SpeedButton3Click();
    };
    campo("LIMITE", 0);
    operador(3, 0); // " >= "
    f.edSentenca->insert(QStringLiteral("500"));
    f.SpeedButton4Click();
    operador(2, 1); // " E "
    campo("UF", 1);
    operador(2, 0); // " = "
    f.edSentenca->insert(QStringLiteral("'SC'"));
    f.SpeedButton4Click();
    operador(3, 1); // " OU "
    campo("NOME", 2);
    operador(0, 2); // " COM "
    f.edSentenca->insert(QStringLiteral("'Jo%'"));
}

/// Moves three fields to the list of fields to export and leaves one of
/// them selected.
void escolheCampos(TExportaTov& e) {
    for (const char* nome : {"NOME", "CIDADE", "LIMITE"})
        if (escolhe(e.lbCampos, nome, 0)) e.SpeedButton3Click();
    if (e.lbExp->count() > 0) e.lbExp->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
}

TFoto salva(QWidget* janela, const QString& arquivo) {
    TFoto foto;
    assenta();
    foto.titulo = janela->windowTitle();
    foto.salva = janela->grab().save(arquivo);
    if (!foto.salva) foto.erro = QStringLiteral("a imagem não pôde ser gravada");
    return foto;
}

} // namespace

QStringList janelasFotografaveis() {
    return {QStringLiteral("principal"), QStringLiteral("filtrada"),   QStringLiteral("tabelas"),
            QStringLiteral("filtro"),    QStringLiteral("exportacao"), QStringLiteral("arquivo"),
            QStringLiteral("mensagem"),  QStringLiteral("pergunta"),   QStringLiteral("erro")};
}

void agirNoModal(const std::function<void()>& abre, const std::function<void(QWidget*)>& acao,
                 int limiteMs) {
    QElapsedTimer relogio;
    relogio.start();
    QTimer vigia;
    vigia.setInterval(20);
    QObject::connect(&vigia, &QTimer::timeout, [&] {
        QWidget* m = QApplication::activeModalWidget();
        if (!m || !m->isVisible()) return;
        vigia.stop();
        if (acao) acao(m);
        if (QApplication::activeModalWidget() != m || !m->isVisible()) return;
        // A box whose only way out is a button still closes.
        if (auto* d = qobject_cast<QDialog*>(m))
            d->reject();
        else
            m->close();
    });
    // A modal window that never comes must not leave the timer behind.
    QTimer::singleShot(limiteMs, &vigia, [&vigia] { vigia.stop(); });
    vigia.start();
    abre();
    vigia.stop();
}

TFoto fotografaModal(const std::function<void()>& abre,
                     const std::function<void(QWidget*)>& prepara, const QString& arquivo) {
    TFoto foto;
    foto.erro = QStringLiteral("nenhuma janela modal apareceu");
    agirNoModal(
        abre,
        [&](QWidget* m) {
            if (prepara) prepara(m);
            foto = salva(m, arquivo);
        },
        10000);
    return foto;
}

TFoto fotografa(TFPrincipal& w, const QString& janela, const QString& arquivo) {
    if (janela.isEmpty() || janela == QLatin1String("principal")) {
        w.dbGrid->repaint();
        return salva(&w, arquivo);
    }
    if (janela == QLatin1String("filtrada")) {
        agirNoModal([&w] { app::executaProtegido([&w] { w.SpeedButton1Click(); }); },
                    [](QWidget* m) {
                        if (auto* f = qobject_cast<TFFiltrar*>(m)) {
                            compoeFiltro(*f);
                            f->edSentenca->clear();
                            f->b1Click();
                        }
                    },
                    10000);
        return salva(&w, arquivo);
    }
    if (janela == QLatin1String("tabelas"))
        return fotografaModal([&w] { app::executaProtegido([&w] { w.b1Click(); }); },
                              [](QWidget* m) {
                                  if (auto* l = m->findChild<QListWidget*>()) escolhe(l, "", 1);
                              },
                              arquivo);
    if (janela == QLatin1String("filtro"))
        return fotografaModal([&w] { app::executaProtegido([&w] { w.SpeedButton1Click(); }); },
                              [](QWidget* m) {
                                  if (auto* f = qobject_cast<TFFiltrar*>(m)) compoeFiltro(*f);
                              },
                              arquivo);
    if (janela == QLatin1String("exportacao"))
        return fotografaModal([&w] { app::executaProtegido([&w] { w.SpeedButton7Click(); }); },
                              [](QWidget* m) {
                                  if (auto* e = qobject_cast<TExportaTov*>(m)) escolheCampos(*e);
                              },
                              arquivo);
    if (janela == QLatin1String("arquivo"))
        return fotografaModal([&w] { app::executaProtegido([&w] { w.SpeedButton5Click(); }); }, {},
                              arquivo);
    if (janela == QLatin1String("mensagem"))
        return fotografaModal([&w] { app::executaProtegido([&w] { w.SpeedButton6Click(); }); }, {},
                              arquivo);
    if (janela == QLatin1String("pergunta")) {
        w.ed4->setText(QStringLiteral("Florianópolis"));
        return fotografaModal([&w] { app::executaProtegido([&w] { w.SpeedButton2Click(); }); }, {},
                              arquivo);
    }
    if (janela == QLatin1String("erro"))
        return fotografaModal(
            [&w] { app::executaProtegido([&w] { w.AbreTabela("TABELA_QUE_NAO_EXISTE"); }); }, {},
            arquivo);
    TFoto foto;
    foto.erro = QStringLiteral("janela desconhecida: ") + janela;
    return foto;
}

} // namespace captura
