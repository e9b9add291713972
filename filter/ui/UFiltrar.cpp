#include "filter/ui/UFiltrar.h"

#include "filter/TrocaTermo.h"
#include "rtl/charset.h"
#include "rtl/dialogs.h"

#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QShowEvent>
#include <QStyle>
#include <QTableWidget>
#include <QToolButton>
#include <algorithm>

namespace {

QString L1(const char* texto) {
    return QString::fromLatin1(texto);
}

QFont fonte(const char* familia, int pixels, bool negrito = false) {
    QFont f(QString::fromLatin1(familia));
    f.setPixelSize(pixels);
    f.setBold(negrito);
    return f;
}

QGroupBox* grupo(QWidget* pai, const char* titulo, int x, int y, int w, int h) {
    auto* g = new QGroupBox(L1(titulo), pai);
    g->setGeometry(x, y, w, h);
    g->setFont(fonte("Arial", 13, true));
    return g;
}

QToolButton* botao(QWidget* pai, const char* titulo, QStyle::StandardPixmap glifo, int x, int y,
                   int w, int h) {
    auto* b = new QToolButton(pai);
    if (titulo) b->setText(L1(titulo));
    b->setIcon(pai->style()->standardIcon(glifo));
    b->setToolButtonStyle(titulo ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
    b->setAutoRaise(true);
    b->setCursor(Qt::PointingHandCursor);
    // Like the speed buttons the user knows, they never take the focus away
    // from the list or edit being worked in.
    b->setFocusPolicy(Qt::NoFocus);
    b->setGeometry(x, y, w, h);
    b->setFont(fonte("Tahoma", 11));
    return b;
}

QListWidget* lista(QWidget* pai, const QFont& f, int alturaItem, int x, int y, int w, int h) {
    auto* l = new QListWidget(pai);
    l->setFrameShape(QFrame::NoFrame);
    l->setFont(f);
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    l->setStyleSheet(QStringLiteral("QListWidget::item { height: %1px; }").arg(alturaItem));
    l->setGeometry(x, y, w, h);
    return l;
}

bool ehEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Trimming counts every character with code 32 or less as blank.
bool vazioAparado(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) > 32) return false;
    return true;
}

constexpr int kColunas = 5;
constexpr int kLinhas = 4;
constexpr int kLarguraCelula = 48;
constexpr int kAlturaCelula = 22;

// The operator cells; the fifth column holds the date parts that the other
// columns have no room for.
const char* const kOperadores[kLinhas][kColunas] = {
    {" > ", " <= ", " COM ", " SEG ", " MES "},
    {" < ", " <> ", " ( ", " D_HJ ", " ANO "},
    {" = ", " E ", " ) ", " H_HJ ", " HOR "},
    {" >= ", " OU ", " DIA ", "", " MIN "},
};

} // namespace

TFFiltrar::TFFiltrar(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("FFiltrar"));
    setWindowTitle(L1("  Filtrar registros"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(689, 458);
    setFont(fonte("Tahoma", 11));

    gbLocais = grupo(this, "   [ Campos dispon\xedveis  ]   ", 8, 8, 290, 442);
    lbCampos = lista(gbLocais, fonte("Arial", 11), 14, 11, 24, 265, 404);

    GroupBox1 = grupo(this,
                      "   [ Senten\xe7"
                      "a  ]   ",
                      304, 8, 374, 201);
    lbSentenca = lista(GroupBox1, fonte("Arial", 13, true), 16, 11, 24, 320, 164);
    SpeedButton5 = botao(GroupBox1, nullptr, QStyle::SP_TrashIcon, 334, 24, 34, 26);

    SpeedButton3 = botao(this, " C&ampo", QStyle::SP_ArrowRight, 304, 214, 96, 26);
    SpeedButton2 = botao(this,
                         " E&xclui senten\xe7"
                         "a",
                         QStyle::SP_DialogDiscardButton, 413, 214, 130, 26);
    SpeedButton4 = botao(this,
                         "A&diciona senten\xe7"
                         "a",
                         QStyle::SP_ArrowUp, 549, 214, 130, 26);

    GroupBox3 = grupo(this, "   [ Informa\xe7\xe3o ]   ", 304, 250, 374, 61);
    edSentenca = new QLineEdit(GroupBox3);
    edSentenca->setGeometry(12, 22, 349, 30);
    edSentenca->setFont(fonte("Arial", 19));
    {
        QPalette p = edSentenca->palette();
        p.setColor(QPalette::Text, Qt::blue);
        edSentenca->setPalette(p);
    }

    GroupBox2 = grupo(this, "   [ Operadores ]   ", 304, 317, 271, 133);
    grid = new QTableWidget(kLinhas, kColunas, GroupBox2);
    grid->setGeometry(12, 26, 245, 91);
    grid->setFont(fonte("Verdana", 11, true));
    grid->setFrameShape(QFrame::NoFrame);
    grid->setShowGrid(false);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setMinimumSectionSize(1);
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->horizontalHeader()->setDefaultSectionSize(kLarguraCelula);
    grid->verticalHeader()->setDefaultSectionSize(kAlturaCelula);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setTabKeyNavigation(false);
    {
        QPalette p = grid->palette();
        p.setColor(QPalette::Text, Qt::blue);
        grid->setPalette(p);
    }
    for (int r = 0; r < kLinhas; ++r)
        for (int c = 0; c < kColunas; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            item->setForeground(Qt::blue);
            grid->setItem(r, c, item);
        }
    grid->setCurrentCell(0, 0);

    SpeedButton7 = botao(this, "O&perador", QStyle::SP_ArrowUp, 581, 325, 96, 26);
    b1 = botao(this, " &Ok", QStyle::SP_DialogOkButton, 581, 392, 96, 26);
    SpeedButton1 = botao(this, " &Cancelar", QStyle::SP_DialogCancelButton, 581, 424, 96, 26);

    setTabOrder(lbCampos, edSentenca);
    setTabOrder(edSentenca, grid);
    setTabOrder(grid, lbSentenca);

    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
    connect(SpeedButton7, &QToolButton::clicked, this, [this] { SpeedButton7Click(); });
    connect(SpeedButton4, &QToolButton::clicked, this, [this] { SpeedButton4Click(); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(SpeedButton5, &QToolButton::clicked, this, [this] { SpeedButton5Click(); });
    connect(b1, &QToolButton::clicked, this, [this] { b1Click(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(lbSentenca, &QListWidget::itemSelectionChanged, this, [this] {
        if (!mudandoSelecao_) lbSentencaClick();
    });
    connect(lbSentenca, &QListWidget::itemClicked, this, [this] { lbSentencaClick(); });

    // The window sees every key before the focused control, and double
    // clicks anywhere in a list or the grid count, not only on an entry.
    for (QWidget* w : {static_cast<QWidget*>(lbCampos), static_cast<QWidget*>(lbSentenca),
                       static_cast<QWidget*>(edSentenca), static_cast<QWidget*>(grid)})
        w->installEventFilter(this);
    lbCampos->viewport()->installEventFilter(this);
    grid->viewport()->installEventFilter(this);
}

void TFFiltrar::adicionaCampos(const std::vector<std::string>& nomes) {
    for (const std::string& n : nomes) {
        std::string mostrado = rtl::nameToUtf8(n);
        lbCampos->addItem(
            QString::fromUtf8(mostrado.data(), static_cast<qsizetype>(mostrado.size())));
        nomes_.emplace_back(std::move(mostrado), n);
    }
}

int TFFiltrar::selecionado(const QListWidget* lista) {
    const QList<QListWidgetItem*> itens = lista->selectedItems();
    return itens.isEmpty() ? -1 : lista->row(itens.first());
}

void TFFiltrar::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous()) FormShow();
}

void TFFiltrar::FormShow() {
    aplicar = false;
    remover = false;
    PreencheOperadores();
    edSentenca->clear();
    edSentenca->setFocus();
}

void TFFiltrar::PreencheOperadores() {
    for (int r = 0; r < kLinhas; ++r)
        for (int c = 0; c < kColunas; ++c)
            grid->item(r, c)->setText(L1(kOperadores[r][c]));
}

void TFFiltrar::SpeedButton3Click() {
    const int r = selecionado(lbCampos);
    if (lbCampos->count() == 0 || r < 0) return;
    edSentenca->setText(edSentenca->text() + lbCampos->item(r)->text());
}

void TFFiltrar::lbCamposDblClick() {
    SpeedButton3Click();
}

void TFFiltrar::SpeedButton7Click() {
    if (const QTableWidgetItem* celula = grid->currentItem())
        edSentenca->setText(edSentenca->text() + celula->text());
    edSentenca->setFocus();
    edSentenca->deselect();
    edSentenca->setCursorPosition(static_cast<int>(edSentenca->text().size()));
}

void TFFiltrar::gridDblClick() {
    SpeedButton7Click();
}

void TFFiltrar::SpeedButton4Click() {
    const QString texto = edSentenca->text();
    if (!vazioAparado(texto.toLatin1().toStdString())) lbSentenca->addItem(texto);
    edSentenca->clear();
    edSentenca->setFocus();
}

void TFFiltrar::edSentencaDblClick() {
    SpeedButton4Click();
}

void TFFiltrar::lbSentencaClick() {
    const int r = selecionado(lbSentenca);
    if (r >= 0) edSentenca->setText(lbSentenca->item(r)->text());
}

void TFFiltrar::SpeedButton2Click() {
    const int r = selecionado(lbSentenca);
    if (lbSentenca->count() == 0 || r < 0) return;
    mudandoSelecao_ = true;
    delete lbSentenca->takeItem(r);
    if (lbSentenca->count() > 0) {
        lbSentenca->setCurrentRow(std::min(r, lbSentenca->count() - 1),
                                  QItemSelectionModel::ClearAndSelect);
    } else {
        lbSentenca->clearSelection();
        lbSentenca->setCurrentRow(-1);
    }
    mudandoSelecao_ = false;
}

void TFFiltrar::SpeedButton5Click() {
    mudandoSelecao_ = true;
    lbSentenca->clear();
    mudandoSelecao_ = false;
}

void TFFiltrar::b1Click() {
    if (lbSentenca->count() == 0) {
        aplicar = false;
        remover = true;
        accept();
        return;
    }
    std::string traduzido;
    for (int i = 0; i < lbSentenca->count(); ++i)
        traduzido += TraduzSentenca(lbSentenca->item(i)->text().toUtf8().toStdString());
    std::string resultado;
    if (!CodificaCondicao(traduzido, conjuntoLiterais, nomes_, resultado)) {
        // A value the database's text cannot hold could never be found.
        rtl::dialogs().message("Senten\xe7"
                               "a incorreta.");
        return;
    }
    if (vazioAparado(resultado)) {
        aplicar = false;
    } else {
        condicao = resultado;
        condicaoExibida = traduzido;
        aplicar = true;
    }
    accept();
}

void TFFiltrar::SpeedButton1Click() {
    aplicar = false;
    reject();
}

bool TFFiltrar::FormKeyDown(int key, QWidget* foco) {
    // One key press moves the selection by one entry: the key is used up
    // here instead of being passed on to the list's own arrow handling.
    auto podeMover = [](QListWidget* l, int limite) {
        return l->count() > 0 && selecionado(l) != (limite < 0 ? l->count() - 1 : limite);
    };
    auto mover = [this](QListWidget* l, int passo) {
        const int r = selecionado(l);
        const int novo = r < 0 ? (passo > 0 ? 0 : -1) : r + passo;
        if (novo >= 0) l->setCurrentRow(novo, QItemSelectionModel::ClearAndSelect);
        // A keyboard move in the sentences is the user's choice and shows
        // the sentence in the edit.
        if (l == lbSentenca) lbSentencaClick();
    };
    if (key == Qt::Key_Down || key == Qt::Key_Up) {
        const int passo = key == Qt::Key_Down ? 1 : -1;
        const int limite = key == Qt::Key_Down ? -1 : 0;
        for (QListWidget* l : {lbCampos, lbSentenca}) {
            if (foco == l && podeMover(l, limite)) {
                mover(l, passo);
                return true;
            }
        }
        return false;
    }
    if (key == Qt::Key_Delete && foco == lbSentenca) SpeedButton2Click();
    return false;
}

bool TFFiltrar::ControlKeyDown(int key, QObject* alvo) {
    if (!ehEnter(key)) return false;
    if (alvo == lbCampos)
        lbCamposDblClick();
    else if (alvo == grid)
        gridDblClick();
    else if (alvo == edSentenca)
        edSentencaDblClick();
    else
        return false;
    return true;
}

bool TFFiltrar::eventFilter(QObject* alvo, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (FormKeyDown(key, qobject_cast<QWidget*>(alvo))) return true;
        return ControlKeyDown(key, alvo);
    }
    if (e->type() == QEvent::MouseButtonDblClick) {
        if (alvo == lbCampos->viewport())
            lbCamposDblClick();
        else if (alvo == grid->viewport())
            gridDblClick();
        else if (alvo == edSentenca) {
            edSentencaDblClick();
            return true;
        }
    }
    return QDialog::eventFilter(alvo, e);
}
