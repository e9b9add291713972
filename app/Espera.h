#pragma once
// The wait of the main window's writing actions. Their statement runs on a
// thread of its own; when it lasts longer than a moment (typically another
// user holds a lock on the rows) a small modal window says so and offers to
// stop it on the server. Meanwhile the main window keeps repainting and
// cannot be closed under the statement.
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class TFbCancellableCall;
class TFbDatabase;

namespace app {

/// The modal wait window: "Aguardando o banco de dados..." over a busy bar,
/// and "Cancelar"; Esc and the close button cancel too. It closes itself
/// once the work has ended, never before.
class TFEspera : public QDialog {
    Q_OBJECT
public:
    TFEspera(TFbCancellableCall& chamada, QWidget* dono);

    QLabel* texto() const { return texto_; }
    QPushButton* cancelar() const { return cancelar_; }

    /// Cancels the work (once more when already cancelling) and stays open
    /// until it has ended.
    void reject() override;

private:
    void verifica();

    TFbCancellableCall& chamada_;
    QLabel* texto_;
    QPushButton* cancelar_;
    QTimer relogio_;
    QElapsedTimer desdeCancelamento_;
};

/// For the length of one writing action of `janela`: runs its statement
/// through the wait window, and keeps `janela` open meanwhile. A close asked
/// while the action runs is held back (and, during the wait, cancels the
/// statement), then carried out once the action is over.
class TEspera {
public:
    /// How long a statement runs before the wait window shows.
    static constexpr int kMomentoMs = 300;

    /// `janela` may be null (no window to guard; the wait window has no owner).
    TEspera(TFbDatabase& conexao, QWidget* janela);
    /// Carries out a close held back meanwhile (after the caller's frame).
    ~TEspera();
    TEspera(const TEspera&) = delete;
    TEspera& operator=(const TEspera&) = delete;

    /// Runs `trabalho` on a thread of its own and returns when it has ended,
    /// showing the wait window if it lasts. `trabalho` may use only the
    /// statement, its transaction and `conexao`; the caller must keep every
    /// other path to them (the grid's fetches) shut until this returns.
    /// Rethrows what `trabalho` threw; cancelled work throws too (the
    /// server's "operation was cancelled", or client error 10).
    void executa(std::function<void()> trabalho);

    /// The user cancelled the last work (Cancelar, Esc, or closing a window).
    bool cancelada() const { return cancelada_; }

private:
    class Guarda;
    TFbDatabase& conexao_;
    QPointer<QWidget> janela_;
    std::unique_ptr<Guarda> guarda_;
    QPointer<TFEspera> espera_;
    bool fecharDepois_ = false;
    bool cancelada_ = false;
};

} // namespace app
