#pragma once
// The wait of the main window's work on the server: writing ("Replicar",
// "Limpar"), opening a table, sorting it by a title, filtering it and
// fetching the rest of it (Ctrl+End). The server's part runs on a thread of
// its own; when it lasts longer than a moment (a large sort, another user's
// lock, a distant server) a small modal window says so and offers to stop
// it. Meanwhile the main window keeps repainting and cannot be closed under
// the work.
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QPushButton;
class TFbCancellableCall;
class TFbCustomDataSet;
class TFbDatabase;
class TFbTable;

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
    /// When set, the text shown instead of "Aguardando o banco de dados...",
    /// asked again while the work runs (progress).
    std::function<QString()> andamento;

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
    /// As executa, for work made of short calls that must not be cut off
    /// halfway: "Cancelar" only sets the mark `trabalho` receives, which it
    /// looks at between its calls, and then it ends normally (executa then
    /// throws client error 10).
    void executaPassoAPasso(std::function<void(const std::atomic<bool>& pare)> trabalho);
    /// As executa (a call the server is running stops at once), handing
    /// `trabalho` the cancel mark to look at between its calls as well.
    void executaComMarca(std::function<void(const std::atomic<bool>& pare)> trabalho);

    /// What the wait window shows while the work runs (see TFEspera::andamento).
    std::function<QString()> andamento;

    /// The user cancelled the last work (Cancelar, Esc, or closing a window).
    bool cancelada() const { return cancelada_; }

private:
    class Guarda;
    void espera(TFbCancellableCall& chamada);
    TFbDatabase& conexao_;
    QPointer<QWidget> janela_;
    std::unique_ptr<Guarda> guarda_;
    QPointer<TFEspera> espera_;
    bool fecharDepois_ = false;
    bool cancelada_ = false;
};

/// Suspends the grid's row fetches from `t` for its lifetime
/// (DisableControls): while a server's part runs on the wait's thread
/// through the same connection and transaction, a fetch during a repaint
/// would call the server through them too.
class TBuscasSuspensas {
public:
    explicit TBuscasSuspensas(TFbCustomDataSet& t);
    ~TBuscasSuspensas();
    TBuscasSuspensas(const TBuscasSuspensas&) = delete;
    TBuscasSuspensas& operator=(const TBuscasSuspensas&) = delete;

private:
    TFbCustomDataSet& t_;
};

/// Opens `tabela` through `espera`, or runs its SELECT again when it is open
/// (the properties having changed: order, filter): the server's part
/// (TFbCustomDataSet::OpenAside) on the wait's thread while the grid keeps
/// showing the rows it has and asks for no more, then the new result in
/// place on this thread. An open table reopens on the row that was current
/// when that row is among the first `limiteBusca` rows (see
/// TFbTable::ReopenKeepingRow; a negative `limiteBusca` below -1: on the first
/// row). Returns false when the user cancelled; on a failure it throws. In
/// both cases the table is exactly as it was.
bool abreEsperando(TEspera& espera, TFbTable& tabela, int limiteBusca = -2);

} // namespace app
