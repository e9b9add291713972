#include "app/Controles.h"

#include <QEvent>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <QStyle>
#include <qdrawutil.h>

#include <stdexcept>

// Resources of a static library must be pulled in by name.
static void iniciaGlifos() {
    Q_INIT_RESOURCE(glifos);
}

namespace app {

QIcon glifo(const QString& nome) {
    static const bool iniciado = (iniciaGlifos(), true);
    (void)iniciado;
    QImage normal(QStringLiteral(":/glifos/") + nome);
    if (normal.isNull()) return {};
    normal = normal.convertToFormat(QImage::Format_ARGB32);
    // The disabled state: the same drawing, grey and faded.
    QImage apagado = normal;
    for (int y = 0; y < apagado.height(); ++y) {
        auto* linha = reinterpret_cast<QRgb*>(apagado.scanLine(y));
        for (int x = 0; x < apagado.width(); ++x) {
            const QRgb c = linha[x];
            const int g = 128 + qGray(c) / 3;
            linha[x] = qRgba(g, g, g, qAlpha(c) * 2 / 3);
        }
    }
    QIcon icone;
    icone.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
    icone.addPixmap(QPixmap::fromImage(apagado), QIcon::Disabled);
    return icone;
}

// ---------------------------------------------------------------------------

TSpeedButton::TSpeedButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setIconSize(QSize(16, 16));
}

void TSpeedButton::setMargin(int m) {
    margin_ = m;
    update();
}

QSize TSpeedButton::sizeHint() const {
    const QSize t = fontMetrics().size(Qt::TextShowMnemonic, text());
    return {t.width() + iconSize().width() + 16, qMax(t.height(), iconSize().height()) + 8};
}

bool TSpeedButton::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverLeave:
        update();
        break;
    default:
        break;
    }
    return QAbstractButton::event(e);
}

void TSpeedButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    if (isEnabled() && isDown())
        qDrawShadePanel(&p, r, palette(), true, 1);
    else if (isEnabled() && underMouse())
        qDrawShadePanel(&p, r, palette(), false, 1);

    const bool ativo = isEnabled();
    const QPixmap g = icon().isNull() ? QPixmap()
                                      : icon().pixmap(iconSize(), devicePixelRatio(),
                                                      ativo ? QIcon::Normal : QIcon::Disabled);
    const QString t = text();
    const QSize ts = t.isEmpty() ? QSize() : fontMetrics().size(Qt::TextShowMnemonic, t);
    const int gw = g.isNull() ? 0 : iconSize().width();
    const int espaco = (gw && !t.isEmpty()) ? 4 : 0;
    const int deslocado = (ativo && isDown()) ? 1 : 0;

    int xg;
    int xt;
    if (margin_ < 0) {
        xg = (r.width() - (gw + espaco + ts.width())) / 2;
        xt = xg + gw + espaco;
    } else {
        // Glyph at the margin, caption centred in the room that is left.
        xg = margin_;
        const int resto = r.width() - (xg + gw);
        xt = xg + gw + qMax(espaco, (resto - ts.width()) / 2);
    }
    if (!g.isNull())
        p.drawPixmap(xg + deslocado, (r.height() - iconSize().height()) / 2 + deslocado, g);
    if (!t.isEmpty()) {
        const QRect rt(xt + deslocado, deslocado, ts.width() + 1, r.height());
        style()->drawItemText(&p, rt, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                              palette(), ativo, t, QPalette::ButtonText);
    }
}

// ---------------------------------------------------------------------------

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit clicked();
}

// ---------------------------------------------------------------------------

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {}

void TStatusBar::addPanel(int width, Qt::Alignment align, const QString& text) {
    auto* l = new QLabel(text, this);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(align | Qt::AlignVCenter);
    l->setTextFormat(Qt::PlainText);
    l->show();
    panels_.push_back(l);
    widths_.push_back(width);
    arranja();
}

QLabel* TStatusBar::painel(int i) const {
    if (i < 0 || i >= panels_.size()) throw std::out_of_range("status bar panel index");
    return panels_[i];
}

QString TStatusBar::panelText(int i) const {
    return painel(i)->text();
}

void TStatusBar::setPanelText(int i, const QString& text) {
    painel(i)->setText(text);
    encaixa(i);
}

void TStatusBar::resizeEvent(QResizeEvent*) {
    arranja();
}

void TStatusBar::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::FontChange)
        for (int i = 0; i < panels_.size(); ++i)
            encaixa(i);
}

void TStatusBar::encaixa(int i) {
    QLabel* l = panels_[i];
    QFont f = font();
    int px = f.pixelSize() > 0 ? f.pixelSize() : QFontInfo(f).pixelSize();
    // The room QLabel leaves for the text: its frame and, beside a left- or
    // right-aligned text, an indent of half an "x".
    auto cabe = [&] {
        const QFontMetrics fm(f);
        const int recuo =
            (l->alignment() & Qt::AlignHCenter) ? 0 : fm.horizontalAdvance(QLatin1Char('x')) / 2;
        return fm.horizontalAdvance(l->text()) + 2 * l->frameWidth() + recuo <= l->width();
    };
    // The widths are fixed and the font is whatever the system put in place
    // of the one asked for: a long text gets a smaller size, never a cut.
    while (!cabe() && px > 7)
        f.setPixelSize(--px);
    l->setFont(f);
}

void TStatusBar::arranja() {
    int x = 0;
    for (int i = 0; i < panels_.size(); ++i) {
        const bool ultimo = i == panels_.size() - 1;
        const int w = ultimo ? qMax(widths_[i], width() - x) : widths_[i];
        panels_[i]->setGeometry(x, 2, w - 2, height() - 2);
        encaixa(i);
        x += w;
    }
}

} // namespace app
