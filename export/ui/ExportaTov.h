#pragma once
// The export dialog: the user picks the fields, the format, the separators
// and the target file, and the chosen writer runs from here.
#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QRadioButton;
class QToolButton;
class TExpTov;
class TFbCustomDataSet;
namespace exporta {
class Fonte;
class Progresso;
} // namespace exporta

/// Created by TExpTov::Executar for one showing; `owner` outlives it.
class TExportaTov : public QDialog {
    Q_OBJECT
public:
    TExportaTov(TExpTov* owner, QWidget* parent = nullptr);
    ~TExportaTov() override;

    /// Fills the list of available fields from FDataSet: the visible fields
    /// that are not blobs or memos, alphabetically; also sets the display
    /// formats of dates, times and decimal numbers.
    void carregaCampos();
    /// Fills the list of available fields with `nomes` (no dataset needed).
    void carregaNomes(const std::vector<std::string>& nomes);

    /// Each field's visible flag saved, then only the fields of lbExp visible.
    void PreparaCampos();
    /// Every field's visible flag as PreparaCampos found it.
    void RestauraCampos();

    // Controls, named as the form names them.
    QGroupBox* GroupBox1;
    QLabel* lb5;
    QListWidget* lbCampos;
    QLabel* Label2;
    QListWidget* lbExp;
    QToolButton* SpeedButton3;
    QToolButton* SpeedButton1;
    QToolButton* SpeedButton5;
    QToolButton* SpeedButton4;
    QLabel* Label1;
    QGroupBox* GroupBox2;
    QRadioButton* rbTxt;
    QRadioButton* rbDoc;
    QRadioButton* rbHtml;
    QRadioButton* rbXML;
    QRadioButton* rbExcel;
    QGroupBox* GroupBox3;
    QLabel* Label3;
    QLineEdit* edSepC;
    QLabel* Label4;
    QLineEdit* edSepT;
    QToolButton* b1;
    QToolButton* SpeedButton2;
    QProgressBar* barra;
    QAction* exportar1;
    QAction* cancelar1;
    QAction* fechar1;
    QAction* fechar21;

    TFbCustomDataSet* FDataSet = nullptr;
    /// Every exportable field name, alphabetically.
    std::vector<std::string> FCampos;
    /// Visible flags by field position, as they were before an export.
    std::vector<bool> FVisiveis;

    /// True while an export runs (the dialog keeps handling events then).
    bool exportando() const { return exportando_; }

public slots:
    void SpeedButton3Click();     ///< add selected
    void SpeedButton1Click();     ///< remove selected
    void SpeedButton5Click();     ///< add all
    void SpeedButton4Click();     ///< remove all
    void FlatSpeedButton2Click(); ///< export
    void FlatSpeedButton4Click(); ///< close; while exporting, stop the export
    void bFechaClick();           ///< close; while exporting, stop the export
    /// Closes the dialog; while an export runs, stops it instead (Esc, the
    /// window's close button).
    void reject() override;

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override;
    void showEvent(QShowEvent* evento) override;

private:
    void FormActivate();
    /// Runs the checked writer on `arquivo`; true when it wrote the file.
    /// Throws exporta::Cancelada when the user stopped it.
    bool executaEscritor(const std::string& arquivo);
    /// Sheets the last Excel export wrote.
    int planilhas_ = 1;
    /// Runs the writer of the checked format over `fonte`.
    bool executa(const std::string& arquivo, exporta::Fonte& fonte,
                 const exporta::Progresso& progresso);
    /// The bar for `posicao` of `maximo` steps; busy when `maximo` < 0.
    void mostraAndamento(std::int64_t posicao, std::int64_t maximo);
    void insereOrdenado(const std::string& nome);
    std::vector<std::string> nomesDe(QListWidget* lista) const;

    TExpTov* owner_;
    bool ordenado_ = false;
    bool exportando_ = false;
    bool cancelado_ = false;
};
