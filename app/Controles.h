#pragma once
// Small controls the windows share: the flat glyph button, the clickable
// link label, the panelled status bar and the bundled glyph images.
#include <QAbstractButton>
#include <QIcon>
#include <QLabel>
#include <QVector>
#include <QWidget>

namespace app {

/// A bundled glyph ("pasta", "conectar", "tabelas", "filtrar", "replicar",
/// "limpar", "sair", "exportar", "abrir", "cancelar") with its normal and its
/// greyed disabled image. An unknown name gives a null icon.
QIcon glifo(const QString& nome);

/// Flat button that never takes the focus: raised under the mouse, sunken
/// while pressed, a glyph beside the caption, a hand cursor. A "&" in the
/// caption sets its Alt accelerator.
class TSpeedButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TSpeedButton(QWidget* parent = nullptr);

    /// Distance of the glyph from the left edge; -1 centres glyph and
    /// caption together.
    void setMargin(int m);
    int margin() const { return margin_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    bool event(QEvent* e) override;

private:
    int margin_ = -1;
};

/// A label that acts as a link: hand cursor, and `clicked` on a left click.
class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkLabel(const QString& text, QWidget* parent = nullptr);
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

/// Status bar made of sunken text panels of fixed widths; the last panel
/// takes what remains of the bar. A panel shows its text in the bar's font,
/// or in a smaller size of it when the text would otherwise be cut.
class TStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent = nullptr);
    /// Adds a panel of `width` pixels with the given alignment.
    void addPanel(int width, Qt::Alignment align, const QString& text);
    int panelCount() const { return static_cast<int>(panels_.size()); }
    /// Panel `i` (0-based); throws std::out_of_range for a bad index.
    QString panelText(int i) const;
    void setPanelText(int i, const QString& text);

protected:
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent* e) override;

private:
    void arranja();
    void encaixa(int i);
    QLabel* painel(int i) const;
    QVector<QLabel*> panels_;
    QVector<int> widths_;
};

} // namespace app
