#pragma once
// The table chooser: a small modal window listing the user tables of the
// connected database. Created for one use and destroyed right after.
#include <QDialog>

#include <optional>
#include <string>
#include <vector>

class QListWidget;

namespace app {
class TSpeedButton;
}

class TFTabelas : public QDialog {
    Q_OBJECT
public:
    explicit TFTabelas(QWidget* parent = nullptr);

    /// Fills the list with `nomes` (Latin-1), in the given order, none selected.
    void preenche(const std::vector<std::string>& nomes);
    /// The selected name, if an entry is selected.
    std::optional<std::string> selecionada() const;

    /// False while shown; true once the user confirmed.
    bool confirmou = false;

    QListWidget* lbTabelas;
    app::TSpeedButton* b1;
    app::TSpeedButton* SpeedButton1;

    void b1Click();
    void SpeedButton1Click();

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* obj, QEvent* e) override;

private:
    void FormShow();
};
