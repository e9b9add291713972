#include "app/Grade.h"

#include "app/Aplicacao.h"
#include "db/FbCustomDataSet.h"

#include <QPainter>
#include <QPolygon>
#include <QStyledItemDelegate>

#include <algorithm>

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

/// Characters a column is sized for, by the kind and size of its field.
int caracteresDe(const TField& f) {
    switch (f.DataType()) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
        return std::clamp(f.Size(), 4, 40);
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
            return QVariant::fromValue(Qt::Alignment(
                (numerico(f.DataType()) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
        if (role != Qt::DisplayRole) return {};
        TFbRowPeek linha(ds_, index.row());
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
    return deLatin1(ds_.Fields(section).FieldName());
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

TGrade::TGrade(QWidget* parent) : QTableView(parent), indicador_(new TIndicador(this)) {
    setVerticalHeader(indicador_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(true);
    setShowGrid(false);
    setWordWrap(false);
    setItemDelegate(new TDelegadoLinhas(this));
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void TGrade::setModelo(TGradeModelo* m) {
    modelo_ = m;
    setModel(m);
    if (!m) return;
    const int altura = fontMetrics().height() + 4;
    indicador_->setMinimumSectionSize(1);
    indicador_->setDefaultSectionSize(altura);
    connect(m, &TGradeModelo::aberto, this, [this] { ajustaColunas(); });
    connect(m, &TGradeModelo::linhaAtualMudou, this, [this](int linha) {
        indicador_->setLinhaAtual(linha);
        if (linha < 0 || !modelo_ || linha >= modelo_->rowCount()) return;
        seguindo_ = true;
        const int coluna = std::max(currentIndex().column(), 0);
        setCurrentIndex(modelo_->index(linha, coluna));
        seguindo_ = false;
    });
    ajustaColunas();
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
                               titulo.horizontalAdvance(deLatin1(f.FieldName())) + 12);
        setColumnWidth(c, std::min(w, 260));
    }
}

QModelIndex TGrade::moveCursor(CursorAction acao, Qt::KeyboardModifiers mods) {
    if (acao == MoveEnd && (mods & Qt::ControlModifier) && modelo_) {
        TFbCustomDataSet& ds = modelo_->dataSet();
        if (ds.Active() && !ds.AllFetched()) {
            executaProtegido([&ds] {
                // The rest of a large table takes a while to come.
                TFbBusyScope ocupado;
                ds.Last();
            });
        }
    }
    return QTableView::moveCursor(acao, mods);
}

void TGrade::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    indicador_->setLinhaAtual(current.isValid() ? current.row() : -1);
    if (seguindo_ || !modelo_ || !current.isValid()) return;
    TFbCustomDataSet& ds = modelo_->dataSet();
    if (ds.Active() && ds.RecNo() != current.row() + 1)
        executaProtegido([&ds, &current] { ds.SetRecNo(current.row() + 1); });
}

} // namespace app
