#include "export/ui/ExportaTov.h"

#include "export/ExpDataSet.h"
#include "export/ExpExcel.h"
#include "export/ExpTabela.h"
#include "export/ExpWord.h"
#include "export/ui/ExpTov.h"

#include "db/FbCustomDataSet.h"
#include "db/FbError.h"
#include "rtl/charset.h"
#include "rtl/dialogs.h"
#include "rtl/strutil.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPointer>
#include <QProgressBar>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <utility>

namespace {

QString q(const char* latin1) {
    return QString::fromLatin1(latin1);
}
std::string l1(const QString& s) {
    QByteArray b = s.toLatin1();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

// A field's item shows its name read as UTF-8 (rtl::nameToUtf8) and keeps
// the name's own bytes, which are what finds the field again.
QListWidgetItem* itemDe(const std::string& nome) {
    auto* item = new QListWidgetItem(QString::fromStdString(rtl::nameToUtf8(nome)));
    item->setData(Qt::UserRole, QByteArray(nome.data(), static_cast<qsizetype>(nome.size())));
    return item;
}
std::string nomeDe(const QListWidgetItem* item) {
    const QByteArray b = item->data(Qt::UserRole).toByteArray();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

QToolButton* botao(QWidget* pai, int x, int y, int w, int h, const char* texto, const char* dica) {
    auto* b = new QToolButton(pai);
    b->setGeometry(x, y, w, h);
    b->setAutoRaise(true);
    b->setText(q(texto));
    if (dica) b->setToolTip(q(dica));
    return b;
}

QLabel* rotulo(QWidget* pai, int x, int y, const char* texto) {
    auto* l = new QLabel(q(texto), pai);
    l->move(x, y);
    l->adjustSize();
    return l;
}

/// Shrinks the font of `l` until its one line fits in `largura` pixels.
void cabeEm(QLabel* l, int largura) {
    QFont f = l->font();
    while (QFontMetrics(f).horizontalAdvance(l->text()) > largura && f.pointSizeF() > 5.0)
        f.setPointSizeF(f.pointSizeF() - 0.5);
    l->setFont(f);
    l->adjustSize();
}

QListWidget* lista(QWidget* pai, int x, int y, int w, int h) {
    auto* l = new QListWidget(pai);
    l->setGeometry(x, y, w, h);
    l->setFrameShape(QFrame::NoFrame);
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    return l;
}

QLineEdit* edit(QWidget* pai, int x, int y, const char* texto) {
    auto* e = new QLineEdit(q(texto), pai);
    e->setGeometry(x, y, 72, 22);
    QFont f = e->font();
    f.setBold(true);
    e->setFont(f);
    QPalette p = e->palette();
    p.setColor(QPalette::Text, Qt::blue);
    e->setPalette(p);
    return e;
}

QAction* atalho(QWidget* pai, const char* texto, const QKeySequence& tecla) {
    auto* a = new QAction(q(texto), pai);
    a->setShortcut(tecla);
    a->setShortcutContext(Qt::WindowShortcut);
    pai->addAction(a);
    return a;
}

bool ofertavel(TFieldType t) {
    return t != ftBlob && t != ftMemo && t != ftGraphic && t != ftFmtMemo;
}

/// Keeps the selection rule of both lists: after a removal at `pos`, the
/// item now standing there, or the last one.
void selecionaApos(QListWidget* l, int pos) {
    if (l->count() == 0) return;
    l->setCurrentRow(pos < l->count() ? pos : l->count() - 1);
}

} // namespace

TExportaTov::TExportaTov(TExpTov* owner, QWidget* parent) : QDialog(parent), owner_(owner) {
    FDataSet = owner ? owner->DataSet : nullptr;
    setWindowTitle(q("Exporta\xe7\xe3o de arquivos"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(535, 439);
    setFont(QFont(QStringLiteral("Verdana"), 8));
    // FormCreate: the button-face colour as background.
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    GroupBox1 = new QGroupBox(q("   [ Campos para exporta\xe7\xe3o ]   "), this);
    GroupBox1->setGeometry(8, 7, 520, 278);
    lb5 = rotulo(GroupBox1, 18, 24, "Campos dispon\xedveis");
    lbCampos = lista(GroupBox1, 18, 38, 214, 221);
    Label2 = rotulo(GroupBox1, 286, 24, "Campos para exporta\xe7\xe3o");
    lbExp = lista(GroupBox1, 286, 38, 214, 221);
    SpeedButton3 = botao(GroupBox1, 239, 76, 41, 26, ">", "Adicionar posicionado");
    SpeedButton1 = botao(GroupBox1, 239, 108, 41, 26, "<", "Retirar posicionado");
    SpeedButton5 = botao(GroupBox1, 239, 153, 41, 26, ">>", "Adicionar todos");
    SpeedButton4 = botao(GroupBox1, 239, 185, 41, 26, "<<", "Retirar todos");
    Label1 = rotulo(GroupBox1, 299, 261, "Ser\xe1 respeitada a ordem dos campos no DataSet");
    {
        QFont f = Label1->font();
        f.setItalic(true);
        f.setPointSize(7);
        Label1->setFont(f);
        // The note ends inside the frame, whatever font stands in for Verdana.
        cabeEm(Label1, GroupBox1->width() - Label1->x() - 6);
    }

    GroupBox2 = new QGroupBox(q("   [ Formato de exporta\xe7\xe3o ]   "), this);
    GroupBox2->setGeometry(8, 294, 209, 113);
    rbTxt = new QRadioButton(q("Texto (.txt)"), GroupBox2);
    rbTxt->move(18, 28);
    rbDoc = new QRadioButton(q("Word (.docx)"), GroupBox2);
    rbDoc->move(18, 55);
    rbHtml = new QRadioButton(q("Web (.html)"), GroupBox2);
    rbHtml->move(116, 28);
    rbXML = new QRadioButton(q("XML (.xml)"), GroupBox2);
    rbXML->move(116, 55);
    rbExcel = new QRadioButton(q("Excel (.xlsx)"), GroupBox2);
    rbExcel->move(18, 82);
    rbTxt->setChecked(true);

    GroupBox3 = new QGroupBox(q("   [ Configura\xe7\xf5"
                                "es ]   "),
                              this);
    GroupBox3->setGeometry(223, 294, 176, 113);
    // Side by side, the captions would have to wrap over the narrow edits;
    // one pair under the other, each caption reads on one line.
    Label3 = rotulo(GroupBox3, 12, 20, "Separador de campos");
    edSepC = edit(GroupBox3, 12, Label3->geometry().bottom() + 3, ",");
    Label4 = rotulo(GroupBox3, 12, edSepC->geometry().bottom() + 5, "Separador de texto");
    edSepT = edit(GroupBox3, 12, Label4->geometry().bottom() + 3, "''");

    b1 = botao(this, 405, 329, 123, 46, " &Exportar", nullptr);
    SpeedButton2 = botao(this, 405, 381, 123, 26, " &Cancelar", nullptr);
    for (auto [b, glifo] : {std::pair{b1, QStyle::SP_DialogSaveButton},
                            std::pair{SpeedButton2, QStyle::SP_DialogCancelButton}}) {
        b->setIcon(style()->standardIcon(glifo));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    barra = new QProgressBar(this);
    barra->setGeometry(8, 413, 520, 20);
    barra->setRange(0, 100);
    barra->setValue(0);
    // A plain bar, without a percentage written over it.
    barra->setTextVisible(false);

    exportar1 = atalho(this, "exportar", QKeySequence(Qt::Key_F2));
    cancelar1 = atalho(this, "cancelar", QKeySequence(Qt::Key_F4));
    fechar1 = atalho(this, "fechar", QKeySequence(Qt::CTRL | Qt::Key_X));
    fechar21 = atalho(this, "fechar 2", QKeySequence(Qt::Key_Escape));

    connect(SpeedButton3, &QToolButton::clicked, this, &TExportaTov::SpeedButton3Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TExportaTov::SpeedButton1Click);
    connect(SpeedButton5, &QToolButton::clicked, this, &TExportaTov::SpeedButton5Click);
    connect(SpeedButton4, &QToolButton::clicked, this, &TExportaTov::SpeedButton4Click);
    connect(b1, &QToolButton::clicked, this, &TExportaTov::FlatSpeedButton2Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TExportaTov::FlatSpeedButton4Click);
    connect(exportar1, &QAction::triggered, this, &TExportaTov::FlatSpeedButton2Click);
    connect(cancelar1, &QAction::triggered, this, &TExportaTov::FlatSpeedButton4Click);
    connect(fechar1, &QAction::triggered, this, &TExportaTov::bFechaClick);
    connect(fechar21, &QAction::triggered, this, &TExportaTov::bFechaClick);
    connect(lbCampos, &QListWidget::itemDoubleClicked, this, &TExportaTov::SpeedButton3Click);
    connect(lbExp, &QListWidget::itemDoubleClicked, this, &TExportaTov::SpeedButton1Click);
    for (QWidget* w : {static_cast<QWidget*>(lbCampos), static_cast<QWidget*>(lbExp),
                       static_cast<QWidget*>(edSepC), static_cast<QWidget*>(edSepT)})
        w->installEventFilter(this);
}

TExportaTov::~TExportaTov() = default;

bool TExportaTov::eventFilter(QObject* objeto, QEvent* evento) {
    if (evento->type() == QEvent::ShortcutOverride) {
        // The edits would take Ctrl+X (cut) and Esc for themselves; the
        // dialog's shortcuts come first.
        auto* k = static_cast<QKeyEvent*>(evento);
        if (k->matches(QKeySequence::Cut) || k->key() == Qt::Key_Escape) {
            evento->ignore();
            return true;
        }
    } else if (evento->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(evento);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            // Enter in a list does what a double-click does.
            if (objeto == lbCampos) {
                SpeedButton3Click();
                return true;
            }
            if (objeto == lbExp) {
                SpeedButton1Click();
                return true;
            }
        }
    }
    return QDialog::eventFilter(objeto, evento);
}

void TExportaTov::showEvent(QShowEvent* evento) {
    QDialog::showEvent(evento);
    FormActivate();
}

void TExportaTov::FormActivate() {
    barra->setValue(0);
}

void TExportaTov::carregaNomes(const std::vector<std::string>& nomes) {
    lbCampos->clear();
    FCampos.clear();
    ordenado_ = false;
    for (const auto& n : nomes)
        lbCampos->addItem(itemDe(n));
    if (lbCampos->count() > 0) {
        ordenado_ = true;
        std::vector<std::string> v = nomes;
        std::stable_sort(v.begin(), v.end(), [](const std::string& a, const std::string& b) {
            return rtl::compareText(a, b) < 0;
        });
        lbCampos->clear();
        for (const auto& n : v)
            lbCampos->addItem(itemDe(n));
        FCampos = std::move(v);
    }
}

void TExportaTov::insereOrdenado(const std::string& nome) {
    if (!ordenado_) {
        lbCampos->addItem(itemDe(nome));
        return;
    }
    int i = 0;
    while (i < lbCampos->count() && rtl::compareText(nomeDe(lbCampos->item(i)), nome) <= 0)
        ++i;
    lbCampos->insertItem(i, itemDe(nome));
}

std::vector<std::string> TExportaTov::nomesDe(QListWidget* l) const {
    std::vector<std::string> r;
    for (int i = 0; i < l->count(); ++i)
        r.push_back(nomeDe(l->item(i)));
    return r;
}

void TExportaTov::SpeedButton3Click() {
    int pos = lbCampos->currentRow();
    if (lbCampos->count() == 0 || pos < 0 || !lbCampos->item(pos)->isSelected()) return;
    QListWidgetItem* item = lbCampos->takeItem(pos);
    lbExp->addItem(itemDe(nomeDe(item)));
    delete item;
    selecionaApos(lbCampos, pos);
}

void TExportaTov::SpeedButton1Click() {
    int pos = lbExp->currentRow();
    if (lbExp->count() == 0 || pos < 0 || !lbExp->item(pos)->isSelected()) return;
    QListWidgetItem* item = lbExp->takeItem(pos);
    insereOrdenado(nomeDe(item));
    delete item;
    selecionaApos(lbExp, pos);
}

void TExportaTov::SpeedButton5Click() {
    if (lbCampos->count() == 0) return;
    lbExp->clear();
    for (const auto& n : FCampos)
        lbExp->addItem(itemDe(n));
    lbCampos->clear();
}

void TExportaTov::SpeedButton4Click() {
    if (lbExp->count() == 0) return;
    lbCampos->clear();
    for (const auto& n : FCampos)
        lbCampos->addItem(itemDe(n));
    lbExp->clear();
}

void TExportaTov::FlatSpeedButton4Click() {
    reject();
}

void TExportaTov::bFechaClick() {
    reject();
}

void TExportaTov::reject() {
    // The export runs inside this dialog's handler: closing now would pull
    // the dialog from under it. The export stops at its next row instead.
    if (exportando_) {
        cancelado_ = true;
        return;
    }
    QDialog::reject();
}

void TExportaTov::FlatSpeedButton2Click() {
    // F2 while an export runs (the button itself is disabled then).
    if (exportando_) return;
    rtl::UserDialogs& dlg = rtl::dialogs();
    if (lbExp->count() == 0) {
        dlg.message("Informe pelo menos um campo para expota\xe7\xe3o.");
        return;
    }
    rtl::UserDialogs::FileDialog SaveDialog1;
    SaveDialog1.defaultExt = rbTxt->isChecked()     ? "txt"
                             : rbDoc->isChecked()   ? "docx"
                             : rbHtml->isChecked()  ? "html"
                             : rbExcel->isChecked() ? "xlsx"
                                                    : "xml";
    std::string arquivo;
    if (dlg.saveFile(SaveDialog1, arquivo)) {
        // Office Open XML content under a ".doc" or ".xls" name makes Office
        // warn and file managers pick the wrong program.
        if (rbDoc->isChecked()) arquivo = exporta::comExtensao(arquivo, "docx", "doc");
        if (rbExcel->isChecked()) arquivo = exporta::comExtensao(arquivo, "xlsx", "xls");
        std::error_code ec;
        bool segue =
            !std::filesystem::exists(arquivo, ec) ||
            dlg.question("Aten\xe7\xe3o", "J\xe1 existe um arquivo com este nome. Sobrescrever?");
        if (segue) {
            bool escrito = false, cancelado = false;
            planilhas_ = 1;
            try {
                escrito = executaEscritor(arquivo);
            } catch (const exporta::Cancelada&) {
                cancelado = true;
            } catch (const EFbError& e) {
                // A lost connection concerns the whole program, whose error
                // handling says so and closes it; the file is left as it was.
                if (e.ConnectionLost()) throw;
                dlg.errorBox(rtl::errorBoxText(e.what()));
            } catch (const std::exception& e) {
                dlg.errorBox(rtl::errorBoxText(e.what()));
            } catch (...) {
                dlg.errorBox(rtl::errorBoxText("Erro desconhecido"));
            }
            // Only a file that was really written is announced; a cancelled
            // export is told as such, so the user knows it stopped and that
            // nothing was written.
            if (escrito && planilhas_ > 1)
                dlg.message("Exporta\xe7\xe3o completada em " + std::to_string(planilhas_) +
                            " planilhas.");
            else if (escrito)
                dlg.message("Exporta\xe7\xe3o completada.");
            if (cancelado) dlg.message(exporta::Cancelada().what());
        }
    }
    barra->setValue(0);
}

void TExportaTov::carregaCampos() {
    std::vector<std::string> nomes;
    if (FDataSet) {
        for (int i = 0; i < FDataSet->FieldCount(); ++i) {
            TField& f = FDataSet->Fields(i);
            if (!f.Visible()) continue;
            const std::string formato = DefaultDisplayFormat(f.DataType(), f.FieldName());
            if (!formato.empty()) f.SetDisplayFormat(formato);
            if (ofertavel(f.DataType())) nomes.push_back(f.FieldName());
        }
    }
    carregaNomes(nomes);
}

void TExportaTov::PreparaCampos() {
    const int n = FDataSet->FieldCount();
    FVisiveis.assign(static_cast<std::size_t>(n), false);
    for (int i = 0; i < n; ++i)
        FVisiveis[static_cast<std::size_t>(i)] = FDataSet->Fields(i).Visible();
    for (int i = 0; i < n; ++i)
        FDataSet->Fields(i).SetVisible(false);
    for (int i = 0; i < lbExp->count(); ++i)
        FDataSet->FieldByName(nomeDe(lbExp->item(i))).SetVisible(true);
}

void TExportaTov::RestauraCampos() {
    const int n = std::min(FDataSet->FieldCount(), static_cast<int>(FVisiveis.size()));
    for (int i = 0; i < n; ++i)
        FDataSet->Fields(i).SetVisible(FVisiveis[static_cast<std::size_t>(i)]);
}

void TExportaTov::mostraAndamento(std::int64_t posicao, std::int64_t maximo) {
    if (maximo < 0) {
        if (barra->maximum() != 0) barra->setRange(0, 0);
        return;
    }
    const int m =
        static_cast<int>(std::min<std::int64_t>(std::max<std::int64_t>(maximo, 1), INT_MAX));
    if (barra->maximum() != m) barra->setRange(0, m);
    barra->setValue(static_cast<int>(std::clamp<std::int64_t>(posicao, 0, m)));
}

bool TExportaTov::executaEscritor(const std::string& arquivo) {
    // While the export runs the dialog keeps handling events, so that it
    // repaints and "Cancelar" or Esc can stop it; nothing else may change
    // under it. The flags and the control updates come back on every path,
    // also when the writer fails or is stopped halfway.
    struct Restaura {
        TExportaTov& d;
        bool preparado = false;
        bool desabilitado = false;
        QPointer<QWidget> foco = QApplication::focusWidget();
        explicit Restaura(TExportaTov& dialogo) : d(dialogo) {
            d.exportando_ = true;
            d.cancelado_ = false;
            for (QWidget* w :
                 {static_cast<QWidget*>(d.GroupBox1), static_cast<QWidget*>(d.GroupBox2),
                  static_cast<QWidget*>(d.GroupBox3), static_cast<QWidget*>(d.b1)})
                w->setEnabled(false);
            d.exportar1->setEnabled(false);
            QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        }
        ~Restaura() {
            if (preparado) d.RestauraCampos();
            if (desabilitado) {
                try {
                    d.FDataSet->EnableControls();
                } catch (...) {
                }
            }
            QGuiApplication::restoreOverrideCursor();
            for (QWidget* w :
                 {static_cast<QWidget*>(d.GroupBox1), static_cast<QWidget*>(d.GroupBox2),
                  static_cast<QWidget*>(d.GroupBox3), static_cast<QWidget*>(d.b1)})
                w->setEnabled(true);
            d.exportar1->setEnabled(true);
            if (foco) foco->setFocus();
            if (d.barra->maximum() == 0) d.barra->setRange(0, 1); // out of the busy state
            d.exportando_ = false;
        }
        Restaura(const Restaura&) = delete;
        Restaura& operator=(const Restaura&) = delete;
    } restaura{*this};

    // The writers report every row; repainting and reading the user's input
    // cost far more than a row, so they happen a few dozen times a second.
    QElapsedTimer relogio;
    relogio.start();
    exporta::Progresso progresso = [this, &relogio](std::int64_t pos, std::int64_t max) {
        if (relogio.elapsed() >= 40 || pos == max) {
            mostraAndamento(pos, max);
            QCoreApplication::processEvents();
            relogio.restart();
        }
        return cancelado_ ? exporta::Andamento::Para : exporta::Andamento::Segue;
    };

    // The save dialog and the question are gone: what they covered is drawn
    // again before the work starts.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    // Suspended so that the grid underneath stays as it is while the dialog
    // handles events.
    FDataSet->DisableControls();
    restaura.desabilitado = true;

    // A table's rows are read again on a cursor of their own, once, forward
    // only: the grid keeps its rows and position, and memory does not grow
    // with the table. The total comes from the server beforehand.
    if (auto* tabela = dynamic_cast<TFbTable*>(FDataSet)) {
        exporta::Pedido pedido;
        pedido.campos = nomesDe(lbExp);
        pedido.formato = rbTxt->isChecked()     ? exporta::Formato::Texto
                         : rbDoc->isChecked()   ? exporta::Formato::Word
                         : rbHtml->isChecked()  ? exporta::Formato::Html
                         : rbExcel->isChecked() ? exporta::Formato::Excel
                                                : exporta::Formato::Xml;
        pedido.arquivo = arquivo;
        pedido.separadorCampos = l1(edSepC->text());
        pedido.separadorTexto = l1(edSepT->text());
        if (owner_) {
            pedido.aoFormatarCelula = owner_->OnFormatCell;
            pedido.remetente = owner_;
        }
        return exporta::exportaTabela(*tabela, pedido, progresso, &planilhas_);
    }

    // Any other dataset is walked in place, every row fetched first so that
    // the record count is complete; in pieces, which keeps the dialog
    // responsive and lets a stop be seen.
    restaura.preparado = true;
    PreparaCampos();
    constexpr int kLote = 1000;
    while (!FDataSet->AllFetched()) {
        FDataSet->FetchMore(kLote);
        progresso(FDataSet->RecordCount(), -1);
    }
    FDataSet->Last();
    FDataSet->First();
    mostraAndamento(0, FDataSet->RecordCount());

    exporta::FonteDataSet fonte(*FDataSet);
    return executa(arquivo, fonte, progresso);
}

bool TExportaTov::executa(const std::string& arquivo, exporta::Fonte& fonte,
                          const exporta::Progresso& progresso) {
    if (rbTxt->isChecked())
        return exporta::ExpText(arquivo, fonte, l1(edSepC->text()), l1(edSepT->text()), progresso);
    if (rbDoc->isChecked()) return exporta::ExpWord(arquivo, fonte, progresso);
    if (rbHtml->isChecked())
        return owner_ ? owner_->ExpHtml(arquivo, fonte, progresso)
                      : exporta::ExpHtml(arquivo, fonte, {}, nullptr, progresso);
    if (rbExcel->isChecked()) return exporta::ExpExcel(arquivo, fonte, progresso, &planilhas_);
    return exporta::ExpXml(arquivo, fonte, progresso);
}
