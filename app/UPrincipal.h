#pragma once
// The main window: the connection fields, the action buttons, the value to
// replicate, the grid of the open table and the status bar. It owns the
// connection, the transaction, the table, the statement and the export
// component, which live exactly as long as the window.
#include "app/UAcoes.h"
#include "db/FbCustomDataSet.h"
#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"
#include "export/ui/ExpTov.h"
#include "rtl/dialogs.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace app {
class TGrade;
class TGradeModelo;
class TLinkLabel;
class TSpeedButton;
class TStatusBar;
} // namespace app

/// Applies the display formats of the field setup to the open fields of
/// `ds`: "dd/mm/yyyy" on dates, "hh:nn:ss" on times, and on float, currency
/// and BCD fields "###,###,###,##0.####" when the upper-cased name holds
/// "QTD", else "###,###,###,##0.00". Other fields are left alone.
void AplicaFormatos(TFbCustomDataSet& ds);

class TFPrincipal : public QWidget {
public:
    /// Creates the database objects (client error 1 when no client library
    /// can be loaded) and the controls.
    explicit TFPrincipal(QWidget* parent = nullptr);
    ~TFPrincipal() override;

    // Database objects, created with the window.
    TFbDatabase conexao;
    TFbTransaction transacao;
    TFbTable tabela;
    TFbSQL sql;
    TExpTov ExpTov1;
    /// Column names a filter can use, in column order (filled by ConfiguraCampos).
    std::vector<std::string> campos;
    rtl::UserDialogs::FileDialog odAbre;

    // Controls.
    QGroupBox* gbLocais;
    QLabel* lb1;
    QLineEdit* ed1;
    app::TSpeedButton* SpeedButton5;
    QLabel* lb2;
    QLineEdit* ed2;
    QLabel* lb3;
    QLineEdit* ed3;
    app::TSpeedButton* SpeedButton6;
    QGroupBox* gbBotoes;
    app::TSpeedButton* b1;
    app::TSpeedButton* SpeedButton1;
    app::TSpeedButton* SpeedButton2;
    app::TSpeedButton* SpeedButton3;
    app::TSpeedButton* SpeedButton4;
    QGroupBox* GroupBox1;
    QLabel* lb5;
    QComboBox* cb1;
    QLabel* lb4;
    QLineEdit* ed4;
    app::TSpeedButton* SpeedButton7;
    QGroupBox* GroupBox2;
    app::TGrade* dbGrid;
    QLabel* lbFiltro;
    QLabel* lb6;
    app::TLinkLabel* JvLinkLabel1;
    app::TLinkLabel* jvlnklbl1;
    app::TStatusBar* sb1;

    /// The grid's model over `tabela` (the data source).
    app::TGradeModelo* ds1() const { return ds1_.get(); }

    // Handlers, as the buttons run them.
    void FormShow();
    void FormClose();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void b1Click();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton7Click();
    void JvLinkLabel1Click();
    void jvlnklbl1Click();
    void ConfiguraCampos();

    /// What "Abrir tabelas" does once a table is chosen: closes `tabela`,
    /// clears the filter and the order a title click chose, opens `nome`
    /// through the wait window (app::abreEsperando), sets up the fields and
    /// names the table in the status bar. An open failure propagates after
    /// the field setup; an open the user cancelled leaves no table open.
    void AbreTabela(const std::string& nome);

    /// What a failure that lost the connection to the server leaves: the
    /// connection closed (without waiting for a server that is gone), the
    /// grid empty, the status bar saying so, and a message that says it in
    /// Portuguese, that "Conectar banco" connects again, and, after
    /// "Detalhe técnico:", the client library's `detalhe`. Nothing is tried
    /// again behind the user's back.
    void ConexaoPerdida(const std::string& detalhe);

    /// Status bar panel texts (0: table, 1: connection, 2: fixed label).
    QString painel(int i) const;
    void setPainel(int i, const QString& texto);

    static const char* const kEmail;
    static const char* const kSite;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    class Formatador;
    std::unique_ptr<Formatador> formatador_;
    std::unique_ptr<TAcoes> acoes_;
    std::unique_ptr<app::TGradeModelo> ds1_;
};
