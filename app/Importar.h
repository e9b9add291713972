#pragma once
// Bringing rows into the open table: "Colar linhas" (the clipboard's text)
// and "Importar arquivo..." (a CSV or TXT file). A preview window shows the
// rows as they will be written and every row that cannot be, before
// anything is written.
#include "import/Importacao.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
struct TAcoes;

namespace app {

/// How the source is read: a text's separator and qualifier, a workbook's sheet.
struct OpcoesLeitura {
    importa::FormatoTexto formato;
    int folha = 0;
};

/// An import read and checked, ready for the preview.
struct Previa {
    std::unique_ptr<importa::Importacao> importacao;
    importa::Verificacao verificacao;
};

/// The preview: the first rows as they will be written (one column per
/// column written), the row count, the notices of the mapping and every bad
/// row with its line and reason. "Importar" (the default button) is enabled
/// only without bad rows; with them, "Pular as linhas com problemas" writes
/// the others, never by default. For a text file the separator and
/// qualifier can be changed, for a workbook of several sheets the sheet,
/// and the file is read again.
class TFImportar : public QDialog {
    Q_OBJECT
public:
    /// `prepara` reads and checks the source as `opcoes` say; `opcoes` are
    /// the ones detected; `formatoEditavel` offers to change the text's
    /// format, `folhas` (when more than one) the sheet.
    TFImportar(std::function<Previa(const OpcoesLeitura&)> prepara, OpcoesLeitura opcoes,
               bool formatoEditavel, const std::vector<std::string>& folhas, QWidget* dono);

    Previa& previa() { return previa_; }
    /// The user chose to skip the bad rows.
    bool pular() const { return pular_; }

    QTableWidget* amostra() const { return amostra_; }
    QListWidget* problemas() const { return problemas_; }
    QLabel* resumo() const { return resumo_; }
    QPushButton* importar() const { return importar_; }
    QPushButton* pularRuins() const { return pularRuins_; }
    QComboBox* separador() const { return separador_; }
    QComboBox* qualificador() const { return qualificador_; }
    QComboBox* folha() const { return folha_; }

private:
    void recarrega();
    void mostra();

    std::function<Previa(const OpcoesLeitura&)> prepara_;
    Previa previa_;
    bool pular_ = false;
    QTableWidget* amostra_;
    QListWidget* problemas_;
    QLabel* resumo_;
    QPushButton* importar_;
    QPushButton* pularRuins_;
    QComboBox* separador_ = nullptr;
    QComboBox* qualificador_ = nullptr;
    QComboBox* folha_ = nullptr;
};

/// "Colar linhas": the clipboard's text as tab-separated rows into the open
/// table of `a`.
void colaLinhas(TAcoes& a);

/// "Importar arquivo...": asks for a .csv, .txt or .xlsx file and imports it.
void importaArquivo(TAcoes& a);

/// The import of `utf8` (text in rows) into the open table: preview, then,
/// when the user confirms, the writing through the wait window in the
/// table's transaction (committed at the end, rolled back on any failure or
/// cancel), the outcome said, and the table reopened with its filter.
/// `arquivo` lets the preview change the separator and qualifier.
void importaTexto(TAcoes& a, std::string utf8, bool arquivo);

/// The same for the workbook `caminho` (its first sheet, another chosen in
/// the preview).
void importaPlanilha(TAcoes& a, const std::string& caminho);

} // namespace app
