#include "app/UTabelas.h"

#include "app/Aplicacao.h"
#include "app/Controles.h"

#include <QKeyEvent>
#include <QListWidget>

namespace {

QFont fonte(const char* familia, int px) {
    QFont f{QString::fromLatin1(familia)};
    f.setPixelSize(px);
    return f;
}

} // namespace

TFTabelas::TFTabelas(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("  Escolha a tabela"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(268, 337);
    setFont(fonte("Tahoma", 11));

    lbTabelas = new QListWidget(this);
    lbTabelas->setObjectName(QStringLiteral("lbTabelas"));
    lbTabelas->setGeometry(8, 8, 252, 281);
    lbTabelas->setFrameShape(QFrame::NoFrame);
    lbTabelas->setFont(fonte("Arial", 11));
    lbTabelas->setUniformItemSizes(true);
    lbTabelas->setSelectionMode(QAbstractItemView::SingleSelection);
    lbTabelas->viewport()->setCursor(Qt::PointingHandCursor);
    lbTabelas->installEventFilter(this);
    lbTabelas->viewport()->installEventFilter(this);

    b1 = new app::TSpeedButton(this);
    b1->setObjectName(QStringLiteral("b1"));
    b1->setGeometry(8, 300, 124, 26);
    b1->setText(QStringLiteral(" &Abrir"));
    b1->setIcon(app::glifo(QStringLiteral("abrir")));

    SpeedButton1 = new app::TSpeedButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setGeometry(136, 300, 124, 26);
    SpeedButton1->setText(QStringLiteral(" &Cancelar"));
    SpeedButton1->setIcon(app::glifo(QStringLiteral("cancelar")));

    app::liga(b1, &QAbstractButton::clicked, this, [this] { b1Click(); });
    app::liga(SpeedButton1, &QAbstractButton::clicked, this, [this] { SpeedButton1Click(); });
}

void TFTabelas::preenche(const std::vector<std::string>& nomes) {
    lbTabelas->clear();
    for (const auto& n : nomes) {
        auto* item = new QListWidgetItem(app::deNome(n), lbTabelas);
        // The name goes back to the server as the bytes it came in.
        item->setData(Qt::UserRole, QByteArray(n.data(), static_cast<qsizetype>(n.size())));
        item->setSizeHint(QSize(0, 14));
    }
    lbTabelas->clearSelection();
}

std::optional<std::string> TFTabelas::selecionada() const {
    const auto itens = lbTabelas->selectedItems();
    if (itens.isEmpty()) return std::nullopt;
    return itens.first()->data(Qt::UserRole).toByteArray().toStdString();
}

void TFTabelas::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous()) FormShow();
}

void TFTabelas::FormShow() {
    confirmou = false;
    lbTabelas->setFocus();
}

void TFTabelas::b1Click() {
    confirmou = true;
    close();
}

void TFTabelas::SpeedButton1Click() {
    close();
}

bool TFTabelas::eventFilter(QObject* obj, QEvent* e) {
    if (obj == lbTabelas && e->type() == QEvent::KeyPress) {
        const auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            app::executaProtegido([this] { b1Click(); });
            return true;
        }
    }
    // A double click anywhere in the list confirms, like the button does.
    if (obj == lbTabelas->viewport() && e->type() == QEvent::MouseButtonDblClick) {
        app::executaProtegido([this] { b1Click(); });
        return true;
    }
    return QDialog::eventFilter(obj, e);
}
