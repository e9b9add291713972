#include "app/Espera.h"

#include "app/Aplicacao.h"
#include "db/FbDatabase.h"
#include "db/FbTable.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <chrono>

namespace app {

namespace {

// How often the window looks whether the work has ended, and how long a
// cancel that found nothing to stop (the work was still on its way to the
// server) waits before it is sent again.
constexpr int kVerificaMs = 20;
constexpr int kReenviaMs = 250;

} // namespace

TFEspera::TFEspera(TFbCancellableCall& chamada, QWidget* dono)
    : QDialog(dono), chamada_(chamada), texto_(new QLabel(this)),
      cancelar_(new QPushButton(QStringLiteral("Cancelar"), this)) {
    setObjectName(QStringLiteral("FEspera"));
    setWindowTitle(tituloAplicacao());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    texto_->setText(QStringLiteral("Aguardando o banco de dados..."));
    texto_->setMinimumWidth(280);
    auto* barra = new QProgressBar(this);
    barra->setRange(0, 0); // moves by itself: the window is alive
    barra->setTextVisible(false);
    cancelar_->setObjectName(QStringLiteral("cancelar"));
    cancelar_->setAutoDefault(false);
    // Without the library's cancel the statement can only be waited for.
    cancelar_->setEnabled(TFbDatabase::CanCancelOperation());
    connect(cancelar_, &QPushButton::clicked, this, [this] { reject(); });

    auto* botoes = new QHBoxLayout;
    botoes->addStretch();
    botoes->addWidget(cancelar_);
    botoes->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(texto_);
    layout->addWidget(barra);
    layout->addLayout(botoes);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(&relogio_, &QTimer::timeout, this, [this] { verifica(); });
    relogio_.start(kVerificaMs);
}

void TFEspera::reject() {
    if (!TFbDatabase::CanCancelOperation()) return;
    if (!chamada_.CancelRequested()) {
        texto_->setText(QStringLiteral("Cancelando..."));
        cancelar_->setEnabled(false);
    }
    chamada_.Cancel();
    desdeCancelamento_.start();
}

void TFEspera::verifica() {
    if (andamento && !chamada_.CancelRequested()) texto_->setText(andamento());
    if (chamada_.Finished()) {
        relogio_.stop();
        accept();
    } else if (chamada_.CancelRequested() && desdeCancelamento_.isValid() &&
               desdeCancelamento_.elapsed() >= kReenviaMs) {
        chamada_.Cancel();
        desdeCancelamento_.start();
    }
}

// ---------------------------------------------------------------------------

/// Holds back the close of the guarded window; during the wait, the close
/// cancels the statement as "Cancelar" would.
class TEspera::Guarda : public QObject {
public:
    explicit Guarda(TEspera& dono) : dono_(dono) {}

protected:
    bool eventFilter(QObject* alvo, QEvent* e) override {
        if (e->type() != QEvent::Close) return QObject::eventFilter(alvo, e);
        e->ignore();
        dono_.fecharDepois_ = true;
        if (dono_.espera_) dono_.espera_->reject();
        return true;
    }

private:
    TEspera& dono_;
};

TEspera::TEspera(TFbDatabase& conexao, QWidget* janela) : conexao_(conexao), janela_(janela) {
    if (!janela) return;
    guarda_ = std::make_unique<Guarda>(*this);
    janela->installEventFilter(guarda_.get());
}

TEspera::~TEspera() {
    guarda_.reset();
    if (fecharDepois_ && janela_) {
        // Posted: the window's close tears the connection down, which must
        // wait until the action that is unwinding now has let go of it.
        QTimer::singleShot(0, janela_.data(), [j = janela_] {
            if (j) j->close();
        });
    }
}

void TEspera::executa(std::function<void()> trabalho) {
    TFbCancellableCall chamada(conexao_, std::move(trabalho));
    espera(chamada);
}

void TEspera::executaPassoAPasso(std::function<void(const std::atomic<bool>&)> trabalho) {
    TFbCancellableCall chamada(conexao_, std::move(trabalho), false);
    espera(chamada);
}

void TEspera::executaComMarca(std::function<void(const std::atomic<bool>&)> trabalho) {
    TFbCancellableCall chamada(conexao_, std::move(trabalho), true);
    espera(chamada);
}

void TEspera::espera(TFbCancellableCall& chamada) {
    if (!chamada.WaitFor(std::chrono::milliseconds(kMomentoMs))) {
        TFEspera janela(chamada, janela_);
        janela.andamento = andamento;
        espera_ = &janela;
        janela.exec();
        espera_ = nullptr;
    }
    // exec returns early only when the application is leaving its event
    // loops; the work must still end before its objects can be used again.
    while (!chamada.WaitFor(std::chrono::milliseconds(100)))
        chamada.Cancel();
    cancelada_ = chamada.CancelRequested();
    chamada.Get();
}

TBuscasSuspensas::TBuscasSuspensas(TFbCustomDataSet& t) : t_(t) {
    t_.DisableControls();
}

TBuscasSuspensas::~TBuscasSuspensas() {
    t_.EnableControls();
}

bool abreEsperando(TEspera& espera, TFbTable& tabela, int limiteBusca) {
    const bool reabre = tabela.Active();
    // Read here: the other thread must find the rows as the grid does.
    const std::string chave = reabre && limiteBusca >= -1 ? tabela.CurrentRowKey() : std::string();
    try {
        TBuscasSuspensas suspensas(tabela);
        espera.executa([&tabela] { tabela.OpenAside(); });
    } catch (...) {
        tabela.AbandonOpen();
        if (espera.cancelada()) return false;
        throw;
    }
    // Here, not on the other thread: the grid hears of the new rows now.
    if (reabre && limiteBusca >= -1)
        tabela.CompleteReopen(chave, limiteBusca);
    else
        tabela.CompleteOpen();
    return true;
}

} // namespace app
