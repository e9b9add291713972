#pragma once
// Pictures of the program's windows for the documentation and for checking
// the layout by eye: drives the main window to the wanted window, fills it
// the way a user would, and saves a picture of it. Kept out of the program
// itself: only the screenshot tool and the tests link it.
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;
class TFPrincipal;

namespace captura {

/// Names of the windows that can be pictured: "principal" (the main window
/// with its table), "filtrada" (the main window after a filter was
/// applied), "tabelas", "filtro", "exportacao", "arquivo" (the file
/// picker), "mensagem", "pergunta", "erro".
QStringList janelasFotografaveis();

/// Result of one picture.
struct TFoto {
    bool salva = false; ///< the picture was written
    QString titulo;     ///< caption of the window pictured
    QString erro;       ///< why nothing was saved, when not saved
};

/// Brings up `janela` from `w` (connected, with a table open for every
/// window but "mensagem"), saves a picture of it in `arquivo` and closes
/// it again. The message boxes go through the dialogs installed at the time
/// (they must be real windows to be pictured).
TFoto fotografa(TFPrincipal& w, const QString& janela, const QString& arquivo);

/// Runs `abre`, which shows a modal window; once the window is up, `acao`
/// runs on it, and the window is closed if `acao` left it open, so `abre`
/// returns. A window that does not come within `limiteMs` is not waited for.
void agirNoModal(const std::function<void()>& abre, const std::function<void(QWidget*)>& acao,
                 int limiteMs);

/// Runs `abre`, which shows a modal window; once the window is up, `prepara`
/// fills it, a picture is saved in `arquivo` and the window is closed, so
/// `abre` returns.
TFoto fotografaModal(const std::function<void()>& abre,
                     const std::function<void(QWidget*)>& prepara, const QString& arquivo);

} // namespace captura
