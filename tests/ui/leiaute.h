#pragma once
// What a user sees of a window's layout, as a list of complaints: a control
// that sticks out of its frame, two controls on top of each other, a
// caption cut short. Pure Qt, so the filter and export window tests use it
// too.
#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

#include <string>
#include <vector>

namespace leiaute {

inline std::string nomeDe(const QWidget* w) {
    const QString n = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                : w->objectName();
    QString texto;
    if (auto* l = qobject_cast<const QLabel*>(w)) texto = l->text();
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) texto = b->text();
    if (auto* g = qobject_cast<const QGroupBox*>(w)) texto = g->title();
    return (n + QStringLiteral(" \"") + texto + QStringLiteral("\"")).toStdString();
}

/// Whether the caption of `w` shows whole in the room it has.
inline bool legivel(const QWidget* w) {
    if (auto* l = qobject_cast<const QLabel*>(w)) {
        if (l->text().isEmpty()) return true;
        if (l->wordWrap()) return l->heightForWidth(l->width()) <= l->height();
        const QSize s = l->fontMetrics().size(0, l->text());
        return s.width() <= l->width() && s.height() <= l->height();
    }
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) {
        if (b->text().isEmpty()) return true;
        // Glyph, a small gap and the caption, with a little room to spare.
        int precisa = b->fontMetrics().size(Qt::TextShowMnemonic, b->text()).width() + 4;
        if (!b->icon().isNull()) precisa += b->iconSize().width() + 4;
        return precisa <= b->width();
    }
    if (auto* g = qobject_cast<const QGroupBox*>(w))
        return g->fontMetrics().horizontalAdvance(g->title()) + 16 <= g->width();
    return true;
}

/// Whether the label shows its caption whole on a single line.
inline bool umaLinha(const QLabel* l) {
    const QFontMetrics fm = l->fontMetrics();
    return fm.horizontalAdvance(l->text()) <= l->contentsRect().width() &&
           l->contentsRect().height() < 2 * fm.lineSpacing() &&
           (!l->wordWrap() || l->heightForWidth(l->width()) < 2 * fm.lineSpacing());
}

/// Complaints about the controls of `pai` and, inside every group box, of
/// the group's controls: out of the container, overlapping a sibling, or a
/// caption that does not fit. Widgets that Qt builds inside lists, grids and
/// edits are not looked at. The window must have been shown.
inline std::vector<std::string> confere(const QWidget* pai) {
    std::vector<std::string> falhas;
    std::vector<const QWidget*> filhos;
    for (const QObject* o : pai->children()) {
        auto* w = qobject_cast<const QWidget*>(o);
        if (!w || !w->isVisibleTo(pai) || w->isWindow()) continue;
        filhos.push_back(w);
    }
    for (std::size_t i = 0; i < filhos.size(); ++i) {
        const QWidget* w = filhos[i];
        if (!pai->rect().contains(w->geometry()))
            falhas.push_back(nomeDe(w) + " sai de " + nomeDe(pai));
        if (!legivel(w)) falhas.push_back(nomeDe(w) + " tem o texto cortado");
        for (std::size_t j = i + 1; j < filhos.size(); ++j)
            if (w->geometry().intersects(filhos[j]->geometry()))
                falhas.push_back(nomeDe(w) + " cobre " + nomeDe(filhos[j]));
        if (qobject_cast<const QGroupBox*>(w)) {
            auto dentro = confere(w);
            falhas.insert(falhas.end(), dentro.begin(), dentro.end());
        }
    }
    return falhas;
}

} // namespace leiaute
