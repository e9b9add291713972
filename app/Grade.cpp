#include "app/Grade.h"

#include "app/Aplicacao.h"
#include "app/Espera.h"
#include "db/FbCustomDataSet.h"
#include "db/FbTable.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QItemSelection>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPolygon>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

namespace app {

namespace {

bool numerico(TFieldType t) {
    switch (t) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint:
    case ftAutoInc:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
        return true;
    default:
        return false;
    }
}

/// Numbers stand to the right, Firebird 4's exact ones (kept as their text)
/// among them.
bool aDireita(const TField& f) {
    return numerico(f.DataType()) || f.ExactKind() == TFbExactKind::Decimal ||
           f.ExactKind() == TFbExactKind::DecFloat;
}

/// Characters a column is sized for, by the kind and size of its field.
int caracteresDe(const TField& f) {
    switch (f.DataType()) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
        // Size is in bytes; a character of a multi-byte set takes several.
        return std::clamp(f.Size() / FbCharSetBytesPerChar(f.CharSetId()), 4, 40);
    case ftSmallint:
        return 6;
    case ftInteger:
    case ftWord:
    case ftAutoInc:
        return 11;
    case ftLargeint:
        return 20;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
        return 16;
    case ftDate:
        return 10;
    case ftTime:
        return 8;
    case ftDateTime:
        return 19;
    default:
        return 8;
    }
}

/// Large objects have no order the server could sort by.
bool ordenavel(TFieldType t) {
    return t != ftBlob && t != ftMemo && t != ftFmtMemo && t != ftGraphic;
}

/// The first field of a ";"-separated field list.
std::string primeiroCampo(const std::string& lista) {
    return lista.substr(0, lista.find(';'));
}

/// Appends one cell the way spreadsheets read a pasted cell back: quoted
/// only when a tab, a line break or a quote would otherwise split or eat it.
void acrescentaCelula(QString& out, const QString& celula) {
    const bool aspas = celula.contains(QLatin1Char('\t')) || celula.contains(QLatin1Char('\n')) ||
                       celula.contains(QLatin1Char('\r')) || celula.contains(QLatin1Char('"'));
    if (!aspas) {
        out += celula;
        return;
    }
    out += QLatin1Char('"');
    for (QChar c : celula) {
        out += c;
        if (c == QLatin1Char('"')) out += c;
    }
    out += QLatin1Char('"');
}

/// Paints a cell and the vertical line on its right: the grid has no
/// horizontal lines between rows.
class TDelegadoLinhas : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& opt,
               const QModelIndex& idx) const override {
        QStyledItemDelegate::paint(p, opt, idx);
        p->save();
        p->setPen(opt.palette.color(QPalette::Mid));
        p->drawLine(opt.rect.topRight(), opt.rect.bottomRight());
        p->restore();
    }
};

} // namespace

// ---------------------------------------------------------------------------

/// Hears the dataset and hands each event to the model.
class TGradeModelo::Observador : public TFbDataSetObserver {
public:
    Observador(TGradeModelo& m) : m_(m) { m_.ds_.AddObserver(this); }
    ~Observador() override { m_.ds_.RemoveObserver(this); }
    void DataSetOpened(TFbCustomDataSet&) override { m_.aoAbrir(); }
    void DataSetClosing(TFbCustomDataSet&) override { m_.aoFechar(); }
    void DataSetClosed(TFbCustomDataSet&) override { m_.aoFechar(); }
    void RowMoved(TFbCustomDataSet&) override { m_.aoMover(); }
    void RowsFetched(TFbCustomDataSet&, int, int newCount) override { m_.aoBuscar(newCount); }
    void ControlsEnabled(TFbCustomDataSet&) override { m_.aoHabilitar(); }

private:
    TGradeModelo& m_;
};

TGradeModelo::TGradeModelo(TFbCustomDataSet& ds, QObject* parent)
    : QAbstractTableModel(parent), ds_(ds), observador_(std::make_unique<Observador>(*this)) {
    if (ds_.Active()) aoAbrir();
}

TGradeModelo::~TGradeModelo() = default;

int TGradeModelo::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : linhas_;
}

int TGradeModelo::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : colunas_;
}

QVariant TGradeModelo::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= linhas_ || index.column() >= colunas_) return {};
    if (!ds_.Active() || index.row() >= ds_.RecordCount() || index.column() >= ds_.FieldCount())
        return {};
    try {
        const TField& f = ds_.Fields(index.column());
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(
                Qt::Alignment((aDireita(f) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
        if (role != Qt::DisplayRole) return {};
        TFbRowPeek linha(ds_, index.row());
        // Strings are the database's text; every other kind shows the
        // program's own (Latin-1) text: numbers, dates, "(MEMO)".
        if (f.DataType() == ftString) return deTexto(f.DisplayText(), f.CharSetId());
        return deLatin1(f.DisplayText());
    } catch (...) {
        // Painting must never throw; a cell that cannot be read stays blank.
        return {};
    }
}

QVariant TGradeModelo::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (o == Qt::Vertical) return QString();
    if (section < 0 || section >= colunas_ || section >= ds_.FieldCount()) return {};
    return deNome(ds_.Fields(section).FieldName());
}

Qt::ItemFlags TGradeModelo::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

bool TGradeModelo::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !falhou_ && colunas_ > 0 && ds_.Active() && !ds_.AllFetched() &&
           !ds_.ControlsDisabled();
}

void TGradeModelo::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    try {
        ds_.FetchMore(kPedaco);
    } catch (...) {
        falhou_ = true;
        mostraErroGeral(std::current_exception());
    }
    // Normally RowsFetched already told us; this keeps the count right even
    // if the dataset stayed silent.
    if (ds_.Active() && ds_.RecordCount() > linhas_) aoBuscar(ds_.RecordCount());
}

void TGradeModelo::recarrega() {
    beginResetModel();
    falhou_ = false;
    if (ds_.Active()) {
        colunas_ = ds_.FieldCount();
        linhas_ = ds_.RecordCount();
    } else {
        colunas_ = linhas_ = 0;
    }
    endResetModel();
}

void TGradeModelo::aoAbrir() {
    recarrega();
    emit aberto();
    emit linhaAtualMudou(ds_.RecNo() - 1);
}

void TGradeModelo::aoFechar() {
    if (colunas_ == 0 && linhas_ == 0) return;
    beginResetModel();
    colunas_ = linhas_ = 0;
    endResetModel();
    emit linhaAtualMudou(-1);
}

void TGradeModelo::aoMover() {
    emit linhaAtualMudou(ds_.RecNo() - 1);
}

void TGradeModelo::aoBuscar(int newCount) {
    // Rows fetched during the open itself arrive with DataSetOpened.
    if (colunas_ == 0 || newCount <= linhas_) return;
    beginInsertRows({}, linhas_, newCount - 1);
    linhas_ = newCount;
    endInsertRows();
}

void TGradeModelo::aoHabilitar() {
    if (!ds_.Active()) {
        aoFechar();
        return;
    }
    // Rows, count and current row may all have changed meanwhile; keep the
    // column widths the user chose.
    if (ds_.FieldCount() != colunas_) {
        recarrega();
        emit aberto();
    } else if (ds_.RecordCount() != linhas_) {
        if (ds_.RecordCount() > linhas_) {
            aoBuscar(ds_.RecordCount());
        } else {
            recarrega();
        }
    }
    emit dataChanged(index(0, 0), index(std::max(linhas_ - 1, 0), std::max(colunas_ - 1, 0)));
    emit linhaAtualMudou(ds_.RecNo() - 1);
}

// ---------------------------------------------------------------------------

TIndicador::TIndicador(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setHighlightSections(false);
}

void TIndicador::setLinhaAtual(int linha) {
    if (linha == linha_) return;
    linha_ = linha;
    viewport()->update();
}

void TIndicador::paintSection(QPainter* p, const QRect& r, int logicalIndex) const {
    QHeaderView::paintSection(p, r, logicalIndex);
    if (logicalIndex != linha_) return;
    p->save();
    // The base class may leave an emptied clip behind.
    p->setClipRect(r);
    p->setRenderHint(QPainter::Antialiasing);
    p->setPen(Qt::NoPen);
    p->setBrush(palette().color(QPalette::WindowText));
    const int h = std::min(r.height() - 4, 8);
    const int x = r.left() + (r.width() - h / 2) / 2;
    const int y = r.top() + (r.height() - h) / 2;
    p->drawPolygon(QPolygon({QPoint(x, y), QPoint(x + h / 2, y + h / 2), QPoint(x, y + h)}));

    p->restore();
}

// ---------------------------------------------------------------------------

TGrade::TGrade(QWidget* parent)
    : QTableView(parent), indicador_(new TIndicador(this)),
      acaoCopiar_(new QAction(QStringLiteral("Copiar"), this)),
      acaoCopiarTitulos_(new QAction(QStringLiteral("Copiar com títulos"), this)),
      acaoColar_(new QAction(QStringLiteral("Colar linhas"), this)),
      acaoImportar_(new QAction(QStringLiteral("Importar arquivo..."), this)) {
    setVerticalHeader(indicador_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setTabKeyNavigation(true);
    setShowGrid(false);
    setWordWrap(false);
    setItemDelegate(new TDelegadoLinhas(this));
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A click on a title sorts; it must not also select the whole column,
    // which would cover only the rows fetched so far anyway.
    horizontalHeader()->setSectionsClickable(true);
    disconnect(horizontalHeader(), &QHeaderView::sectionPressed, this, nullptr);
    disconnect(horizontalHeader(), &QHeaderView::sectionEntered, this, nullptr);
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int coluna) { executaProtegido([this, coluna] { ordenaPor(coluna); }); });

    acaoCopiar_->setShortcut(QKeySequence::Copy);
    acaoCopiarTitulos_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    for (QAction* a : {acaoCopiar_, acaoCopiarTitulos_}) {
        a->setShortcutContext(Qt::WidgetShortcut);
        addAction(a);
    }
    connect(acaoCopiar_, &QAction::triggered, this,
            [this] { executaProtegido([this] { copia(false); }); });
    connect(acaoCopiarTitulos_, &QAction::triggered, this,
            [this] { executaProtegido([this] { copia(true); }); });

    acaoColar_->setShortcut(QKeySequence::Paste);
    acaoImportar_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    for (QAction* a : {acaoColar_, acaoImportar_}) {
        a->setShortcutContext(Qt::WidgetShortcut);
        addAction(a);
    }
    connect(acaoColar_, &QAction::triggered, this, [this] {
        executaProtegido([this] {
            if (aoColar && recebeLinhas()) aoColar();
        });
    });
    connect(acaoImportar_, &QAction::triggered, this, [this] {
        executaProtegido([this] {
            if (aoImportar && recebeLinhas()) aoImportar();
        });
    });
}

bool TGrade::recebeLinhas() const {
    const TFbTable* t = tabela();
    return t && t->Active() && !t->ReadOnly();
}

void TGrade::setModelo(TGradeModelo* m) {
    modelo_ = m;
    setModel(m);
    if (!m) return;
    const int altura = fontMetrics().height() + 4;
    indicador_->setMinimumSectionSize(1);
    indicador_->setDefaultSectionSize(altura);
    connect(m, &TGradeModelo::aberto, this, [this] {
        ajustaColunas();
        mostraOrdem();
    });
    connect(m, &TGradeModelo::linhaAtualMudou, this, [this](int linha) {
        indicador_->setLinhaAtual(linha);
        if (linha < 0 || !modelo_ || linha >= modelo_->rowCount()) return;
        // The echo of a move the view made itself: setting the cell again
        // would reset a selection the user is extending with Ctrl or Shift.
        if (currentIndex().row() == linha) return;
        seguindo_ = true;
        const int coluna = std::max(currentIndex().column(), 0);
        setCurrentIndex(modelo_->index(linha, coluna));
        seguindo_ = false;
    });
    ajustaColunas();
    mostraOrdem();
}

void TGrade::ajustaColunas() {
    if (!modelo_) return;
    TFbCustomDataSet& ds = modelo_->dataSet();
    if (!ds.Active()) return;
    const QFontMetrics celula(font());
    const QFontMetrics titulo(horizontalHeader()->font());
    const int digito = celula.horizontalAdvance(QLatin1Char('0'));
    for (int c = 0; c < ds.FieldCount() && c < modelo_->columnCount(); ++c) {
        const TField& f = ds.Fields(c);
        const int w = std::max(caracteresDe(f) * digito + 8,
                               titulo.horizontalAdvance(deNome(f.FieldName())) + 12);
        setColumnWidth(c, std::min(w, 260));
    }
}

QModelIndex TGrade::moveCursor(CursorAction acao, Qt::KeyboardModifiers mods) {
    if (acao == MoveEnd && (mods & Qt::ControlModifier) && modelo_) {
        TFbCustomDataSet& ds = modelo_->dataSet();
        if (ds.Active() && !ds.AllFetched() && ds.Database())
            executaProtegido([this, &ds] { buscaRestante(ds); });
    }
    return QTableView::moveCursor(acao, mods);
}

void TGrade::buscaRestante(TFbCustomDataSet& ds) {
    // The rest of a large table takes a while to come: it comes on the
    // wait's thread, in pieces, and "Cancelar" stops it between two pieces,
    // so the cursor goes on serving the grid. Meanwhile the cache grows
    // under the grid, which therefore neither paints nor fetches.
    TFbBusyScope ocupado;
    TEspera espera(*ds.Database(), window());
    const int antes = ds.RecordCount();
    bool cancelada = false;
    {
        TBuscasSuspensas suspensas(ds);
        setUpdatesEnabled(false);
        struct Reabilita {
            QWidget* w;
            ~Reabilita() { w->setUpdatesEnabled(true); }
        } reabilita{this};
        try {
            espera.executaPassoAPasso([&ds](const std::atomic<bool>& pare) {
                while (!pare && !ds.AllFetched())
                    ds.FetchMore(TGradeModelo::kPedaco * 5);
            });
        } catch (...) {
            cancelada = espera.cancelada();
            if (!cancelada) throw;
        }
    }
    // The rows arrive here, on the grid's thread. Cancelled, the grid shows
    // what it showed, the rows fetched until then added below.
    ds.NotifyRowsFetched(antes);
    if (!cancelada) ds.Last();
}

void TGrade::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    indicador_->setLinhaAtual(current.isValid() ? current.row() : -1);
    if (seguindo_ || !modelo_ || !current.isValid()) return;
    TFbCustomDataSet& ds = modelo_->dataSet();
    if (ds.Active() && ds.RecNo() != current.row() + 1)
        executaProtegido([&ds, &current] { ds.SetRecNo(current.row() + 1); });
}

// ---------------------------------------------------------------------------

QString TGrade::textoSelecionado(bool comTitulos) const {
    if (!modelo_ || !selectionModel()) return {};
    struct Faixa {
        int topo, base, esquerda, direita;
    };
    std::vector<Faixa> faixas;
    const int colunas = modelo_->columnCount();
    for (const QItemSelectionRange& r : selectionModel()->selection())
        if (r.isValid() && r.left() < colunas)
            faixas.push_back({r.top(), r.bottom(), r.left(), std::min(r.right(), colunas - 1)});
    if (faixas.empty()) return {};

    std::vector<char> usada(static_cast<std::size_t>(colunas), 0);
    for (const Faixa& f : faixas)
        std::fill(usada.begin() + f.esquerda, usada.begin() + f.direita + 1, 1);
    std::vector<int> copiadas;
    for (int c = 0; c < colunas; ++c)
        if (usada[static_cast<std::size_t>(c)]) copiadas.push_back(c);

    QString texto;
    bool primeiraLinha = true;
    auto novaLinha = [&] {
        if (!primeiraLinha) texto += QLatin1Char('\n');
        primeiraLinha = false;
    };
    if (comTitulos) {
        novaLinha();
        for (std::size_t i = 0; i < copiadas.size(); ++i) {
            if (i > 0) texto += QLatin1Char('\t');
            acrescentaCelula(
                texto,
                modelo_->headerData(copiadas[i], Qt::Horizontal, Qt::DisplayRole).toString());
        }
    }

    // One sweep down the rows, visiting only rows some range covers and
    // asking each row only about the ranges over it, so a long block costs
    // its cells and nothing more: no index list, no fetching.
    std::sort(faixas.begin(), faixas.end(),
              [](const Faixa& a, const Faixa& b) { return a.topo < b.topo; });
    std::vector<const Faixa*> ativas;
    std::vector<char> marcada(static_cast<std::size_t>(colunas), 0);
    std::size_t proxima = 0;
    int linha = faixas.front().topo;
    for (;;) {
        std::erase_if(ativas, [linha](const Faixa* f) { return f->base < linha; });
        if (ativas.empty()) {
            if (proxima == faixas.size()) break;
            linha = std::max(linha, faixas[proxima].topo);
        }
        while (proxima < faixas.size() && faixas[proxima].topo <= linha) {
            if (faixas[proxima].base >= linha) ativas.push_back(&faixas[proxima]);
            ++proxima;
        }
        if (ativas.empty()) continue;
        std::fill(marcada.begin(), marcada.end(), 0);
        for (const Faixa* f : ativas)
            std::fill(marcada.begin() + f->esquerda, marcada.begin() + f->direita + 1, 1);
        novaLinha();
        for (std::size_t i = 0; i < copiadas.size(); ++i) {
            if (i > 0) texto += QLatin1Char('\t');
            if (marcada[static_cast<std::size_t>(copiadas[i])])
                acrescentaCelula(
                    texto,
                    modelo_->data(modelo_->index(linha, copiadas[i]), Qt::DisplayRole).toString());
        }
        ++linha;
    }
    return texto;
}

void TGrade::copia(bool comTitulos) {
    if (!selectionModel() || !selectionModel()->hasSelection()) return;
    QGuiApplication::clipboard()->setText(textoSelecionado(comTitulos));
}

void TGrade::keyPressEvent(QKeyEvent* e) {
    // The shortcuts of the two actions normally take these keys first; the
    // view's own Ctrl+C would copy the current cell alone.
    if (e == QKeySequence::Copy) {
        executaProtegido([this] { copia(false); });
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_C &&
        (e->modifiers() & ~Qt::KeypadModifier) == (Qt::ControlModifier | Qt::ShiftModifier)) {
        executaProtegido([this] { copia(true); });
        e->accept();
        return;
    }
    if (e == QKeySequence::Paste) {
        acaoColar_->trigger();
        e->accept();
        return;
    }
    QTableView::keyPressEvent(e);
}

void TGrade::contextMenuEvent(QContextMenuEvent* e) {
    const bool algo = selectionModel() && selectionModel()->hasSelection();
    acaoCopiar_->setEnabled(algo);
    acaoCopiarTitulos_->setEnabled(algo);
    QMenu menu(this);
    menu.addAction(acaoCopiar_);
    menu.addAction(acaoCopiarTitulos_);
    const bool recebe = recebeLinhas();
    acaoColar_->setEnabled(recebe);
    acaoImportar_->setEnabled(recebe);
    menu.addSeparator();
    menu.addAction(acaoColar_);
    menu.addAction(acaoImportar_);
    menu.exec(e->globalPos());
    acaoCopiar_->setEnabled(true);
    acaoCopiarTitulos_->setEnabled(true);
    acaoColar_->setEnabled(true);
    acaoImportar_->setEnabled(true);
    e->accept();
}

// ---------------------------------------------------------------------------

TFbTable* TGrade::tabela() const {
    return modelo_ ? dynamic_cast<TFbTable*>(&modelo_->dataSet()) : nullptr;
}

void TGrade::mostraOrdem() {
    TFbTable* t = tabela();
    int coluna = -1;
    if (t && t->Active() && !t->IndexFieldNames().empty()) {
        // Exact names: dialect 3 may hold both "Nome" and NOME.
        const std::string nome = primeiroCampo(t->IndexFieldNames());
        for (int c = 0; c < t->FieldCount() && coluna < 0; ++c)
            if (t->Fields(c).FieldName() == nome) coluna = c;
    }
    horizontalHeader()->setSortIndicator(coluna, t && t->IndexDescending() ? Qt::DescendingOrder
                                                                           : Qt::AscendingOrder);
}

void TGrade::ordenaPor(int coluna) {
    TFbTable* t = tabela();
    // The header moved its arrow on its own before telling us of the click.
    mostraOrdem();
    if (!t || !t->Active() || coluna < 0 || coluna >= t->FieldCount()) return;
    const TField& f = t->Fields(coluna);
    const std::string nome = f.FieldName();
    // A name holding ";" cannot go into a field list.
    if (!ordenavel(f.DataType()) || nome.find(';') != std::string::npos) return;

    const std::string camposAntes = t->IndexFieldNames();
    const bool descendenteAntes = t->IndexDescending();
    std::string campos;
    bool descendente = false;
    if (primeiroCampo(camposAntes) != nome) {
        campos = nome;
        // The key after the column keeps rows of equal values in a fixed
        // order, so the second click gives exactly the reverse.
        std::string chave = t->PrimaryKeyFields();
        for (std::size_t i = 0; i <= chave.size();) {
            std::size_t fim = std::min(chave.find(';', i), chave.size());
            std::string parte = chave.substr(i, fim - i);
            if (!parte.empty() && parte != nome) campos += ";" + parte;
            i = fim + 1;
        }
    } else if (!descendenteAntes) {
        campos = camposAntes;
        descendente = true;
    } // else: back to the key order

    // What the user had arranged survives the reopening, which remakes the
    // columns.
    std::vector<int> larguras;
    for (int c = 0; c < horizontalHeader()->count(); ++c)
        larguras.push_back(columnWidth(c));
    const int colunaAtual = std::max(currentIndex().column(), 0);
    const int rolagem = horizontalScrollBar()->value();
    // Looking for the current row further than the grid had fetched could
    // mean reading the whole table for it.
    const int limite = std::max(t->RecordCount(), TGradeModelo::kPedaco);

    t->SetIndexFieldNames(campos);
    t->SetIndexDescending(descendente);
    // The sort runs on the wait's thread; a cancel or a failure leaves the
    // table, its order and the grid exactly as they were.
    bool feita = false;
    std::exception_ptr erro;
    try {
        TEspera espera(*t->Database(), window());
        feita = abreEsperando(espera, *t, limite);
    } catch (...) {
        erro = std::current_exception();
    }
    if (!feita) {
        t->SetIndexFieldNames(camposAntes);
        t->SetIndexDescending(descendenteAntes);
        mostraOrdem();
        if (erro) std::rethrow_exception(erro);
        return;
    }

    if (static_cast<int>(larguras.size()) == horizontalHeader()->count())
        for (int c = 0; c < static_cast<int>(larguras.size()); ++c)
            setColumnWidth(c, larguras[static_cast<std::size_t>(c)]);
    horizontalScrollBar()->setValue(rolagem);
    if (t->Active() && t->RecNo() > 0 && colunaAtual < modelo_->columnCount()) {
        seguindo_ = true;
        setCurrentIndex(modelo_->index(t->RecNo() - 1, colunaAtual));
        seguindo_ = false;
    }
    mostraOrdem();
}

} // namespace app
