#pragma once
// The filter builder: a modal window in which the user composes a filter
// condition from column names, operator cells and typed values, collected as
// sentences and translated into SQL on "Ok" (see TrocaTermo.h).
#include <QDialog>
#include <string>
#include <utility>
#include <vector>

class QGroupBox;
class QListWidget;
class QLineEdit;
class QTableWidget;
class QToolButton;
class QKeyEvent;

class TFFiltrar : public QDialog {
    Q_OBJECT
public:
    /// The window centres itself over `owner` when shown.
    explicit TFFiltrar(QWidget* owner = nullptr);

    // Results, read after the window closes. Both flags are false from the
    // moment it is shown; at most one is true when it closes.
    bool aplicar = false; ///< "Ok" gave a non-blank condition: apply `condicao`
    bool remover = false; ///< "Ok" with no sentences: remove the filter
    std::string condicao; ///< translated condition (SQL text), valid when `aplicar`
    /// The same condition as the user composed it (UTF-8), for showing.
    std::string condicaoExibida;
    /// The character set in which the text of the condition's literals goes
    /// to the server (TFbDatabase::TextCharSetId); NONE writes Latin-1.
    int conjuntoLiterais = 0;

    /// Appends column names (as the server gives them) to lbCampos, in the
    /// given order; the condition holds them as those bytes again.
    void adicionaCampos(const std::vector<std::string>& nomes);

    // Controls, named as the user knows the window.
    QGroupBox* gbLocais;
    QListWidget* lbCampos;
    QGroupBox* GroupBox1;
    QListWidget* lbSentenca;
    QToolButton* SpeedButton5;
    QToolButton* SpeedButton3;
    QToolButton* SpeedButton2;
    QToolButton* SpeedButton4;
    QGroupBox* GroupBox3;
    QLineEdit* edSentenca;
    QGroupBox* GroupBox2;
    QTableWidget* grid;
    QToolButton* SpeedButton7;
    QToolButton* b1;
    QToolButton* SpeedButton1;

    // Handlers.
    void FormShow();
    void PreencheOperadores();
    void SpeedButton3Click();
    void lbCamposDblClick();
    void SpeedButton7Click();
    void gridDblClick();
    void SpeedButton4Click();
    void edSentencaDblClick();
    void lbSentencaClick();
    void SpeedButton2Click();
    void SpeedButton5Click();
    void b1Click();
    void SpeedButton1Click();
    /// Runs before the focused control `foco` sees the key. Returns true when
    /// the key was used up (an Up or Down that moved a list's selection).
    bool FormKeyDown(int key, QWidget* foco);

    /// Row of the selected entry of `lista`, or -1 with nothing selected.
    static int selecionado(const QListWidget* lista);

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* alvo, QEvent* e) override;

private:
    bool ControlKeyDown(int key, QObject* alvo);
    // True while the program itself changes lbSentenca's selection, which is
    // not a choice of the user.
    bool mudandoSelecao_ = false;
    std::vector<std::pair<std::string, std::string>> nomes_; // shown (UTF-8), bytes
};
