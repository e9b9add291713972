#pragma once
// The read-only grid over the table dataset: a model that follows the
// dataset through its observer interface and asks it for rows only as the
// view scrolls to them, and the view that shows it with a row indicator and
// vertical lines only, copies the selected cells for spreadsheets and sorts
// the table by a click on a column title.
#include <QAbstractTableModel>
#include <QHeaderView>
#include <QTableView>

#include <functional>
#include <memory>

class QAction;
class TFbCustomDataSet;
class TFbTable;

namespace app {

/// Table model over a dataset (not owned; must outlive the model). One row
/// per cached row, one column per field; cells show each field's display
/// text, titles the field names. Rows arrive through fetchMore in chunks.
class TGradeModelo : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TGradeModelo(TFbCustomDataSet& ds, QObject* parent = nullptr);
    ~TGradeModelo() override;

    /// Rows asked of the dataset per fetchMore.
    static constexpr int kPedaco = 200;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    TFbCustomDataSet& dataSet() const { return ds_; }

signals:
    /// The dataset's current row changed (0-based; -1 with none).
    void linhaAtualMudou(int linha);
    /// The dataset opened and the model now shows its fields.
    void aberto();

private:
    class Observador;
    void aoAbrir();
    void aoFechar();
    void aoMover();
    void aoBuscar(int newCount);
    void aoHabilitar();
    void recarrega();

    TFbCustomDataSet& ds_;
    std::unique_ptr<Observador> observador_;
    int linhas_ = 0;
    int colunas_ = 0;
    bool falhou_ = false; // a fetch failed: stop asking until the next open
};

/// The row indicator: an empty vertical header that marks the current row.
class TIndicador : public QHeaderView {
    Q_OBJECT
public:
    explicit TIndicador(QWidget* parent = nullptr);
    void setLinhaAtual(int linha);
    int linhaAtual() const { return linha_; }
    QSize sizeHint() const override { return {12, QHeaderView::sizeHint().height()}; }

protected:
    void paintSection(QPainter* p, const QRect& r, int logicalIndex) const override;

private:
    int linha_ = -1;
};

/// The grid: read-only, cell selection (Ctrl and Shift extend it), vertical
/// lines between columns, no lines between rows, titles with the field
/// names, the row indicator. The current cell moves the dataset's current
/// row and follows it.
///
/// Copying: Ctrl+C ("Copiar") puts the selected cells on the clipboard the
/// way spreadsheets paste them: one line per row that holds a selected cell,
/// one cell per column that holds one (empty where that row's cell is not
/// selected), cells joined by tabs and lines by "\n" (none after the last);
/// a cell holding a tab, a line break or a double quote goes in double
/// quotes with its double quotes doubled. Ctrl+Shift+C ("Copiar com
/// títulos") puts the column titles first. The context menu offers both.
/// Cells go as the model displays them.
///
/// Bringing rows in: "Colar linhas" (Ctrl+V) and "Importar arquivo..."
/// (Ctrl+I), in the context menu too, enabled over an open table that can
/// be written; they call aoColar and aoImportar.
///
/// Sorting: over a TFbTable, a click on a column title orders the table by
/// that column (then by its key, so equal values keep a fixed order), a
/// second click on it reverses the order and a third returns to the key
/// order. Memo and blob columns do not sort. The title's arrow shows the
/// order in force; the current row stays current when it is among the rows
/// the grid had already fetched, otherwise the first row is.
class TGrade : public QTableView {
    Q_OBJECT
public:
    explicit TGrade(QWidget* parent = nullptr);
    /// Shows `m` (not owned).
    void setModelo(TGradeModelo* m);
    TGradeModelo* modelo() const { return modelo_; }
    TIndicador* indicador() const { return indicador_; }

    /// The selected cells as Ctrl+C copies them (with the titles first when
    /// `comTitulos`); empty when nothing is selected.
    QString textoSelecionado(bool comTitulos) const;
    /// Puts textoSelecionado on the clipboard; with nothing selected the
    /// clipboard keeps what it held.
    void copia(bool comTitulos);
    QAction* acaoCopiar() const { return acaoCopiar_; }
    QAction* acaoCopiarComTitulos() const { return acaoCopiarTitulos_; }
    QAction* acaoColar() const { return acaoColar_; }
    QAction* acaoImportar() const { return acaoImportar_; }
    /// What "Colar linhas" and "Importar arquivo..." do (the main window's).
    std::function<void()> aoColar, aoImportar;

    /// What a click on the title of `coluna` does (see the class comment).
    void ordenaPor(int coluna);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    /// Ctrl+End first fetches every remaining row (through the wait window,
    /// whose "Cancelar" stops between two pieces), so it lands on the
    /// table's true last row rather than on the last row fetched so far.
    QModelIndex moveCursor(CursorAction acao, Qt::KeyboardModifiers mods) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    /// Ctrl+End's fetch of every remaining row, through the wait window.
    void buscaRestante(TFbCustomDataSet& ds);
    void ajustaColunas();
    TFbTable* tabela() const;
    void mostraOrdem();
    TGradeModelo* modelo_ = nullptr;
    TIndicador* indicador_;
    QAction* acaoCopiar_;
    QAction* acaoCopiarTitulos_;
    QAction* acaoColar_;
    QAction* acaoImportar_;
    /// An open table that can be written: the two import actions apply.
    bool recebeLinhas() const;
    bool seguindo_ = false;
};

} // namespace app
