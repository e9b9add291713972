#include "app/DialogosQt.h"

#include "app/Aplicacao.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace app {

namespace {

QWidget* dono() {
    if (QWidget* w = QApplication::activeModalWidget()) return w;
    return QApplication::activeWindow();
}

int caixa(QMessageBox::Icon icone, const QString& titulo, const std::string& texto,
          QMessageBox::StandardButtons botoes) {
    QMessageBox box(icone, titulo, textoDaCaixa(texto), botoes, dono());
    box.setTextFormat(Qt::PlainText);
    // The buttons speak Portuguese like every other text of the program,
    // whether or not Qt's own translations are installed.
    for (auto [botao, rotulo] :
         {std::pair{QMessageBox::Yes, "&Sim"}, std::pair{QMessageBox::No, "&N\xe3o"},
          std::pair{QMessageBox::Ok, "OK"}})
        if (QAbstractButton* b = box.button(botao)) b->setText(QString::fromLatin1(rotulo));
    return box.exec();
}

bool arquivo(const rtl::UserDialogs::FileDialog& d, std::string& file,
             QFileDialog::AcceptMode modo) {
    // Folder and file names are the file system's own bytes, not Latin-1
    // texts: a folder named with accents must be found again.
    QFileDialog dlg(dono(), deLatin1(d.title), QFile::decodeName(d.initialDir.c_str()));
    // Qt's own dialog everywhere, so filters and the suffix behave alike.
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setAcceptMode(modo);
    // The program asks about overwriting in its own words; a second,
    // English-worded question from the dialog would only repeat it.
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    dlg.setFileMode(modo == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                    : QFileDialog::AnyFile);
    QStringList filtros;
    for (const auto& f : d.filters)
        filtros << deLatin1(f);
    if (!filtros.isEmpty()) {
        // The entries read as their display texts; the patterns stay inside.
        dlg.setOption(QFileDialog::HideNameFilterDetails, true);
        dlg.setNameFilters(filtros);
        if (d.selectedFilter >= 0 && d.selectedFilter < filtros.size())
            dlg.selectNameFilter(filtros[d.selectedFilter]);
    }
    if (!d.defaultExt.empty()) dlg.setDefaultSuffix(deLatin1(d.defaultExt));
    if (!d.initialFile.empty()) dlg.selectFile(QFile::decodeName(d.initialFile.c_str()));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
    file = QFile::encodeName(dlg.selectedFiles().first()).toStdString();
    return true;
}

} // namespace

namespace {

/// Length of the well-formed UTF-8 sequence of two to four bytes starting
/// at `i`, or 0 when there is none.
std::size_t sequenciaUtf8(const std::string& t, std::size_t i) {
    const auto b = [&t](std::size_t k) { return static_cast<unsigned char>(t[k]); };
    const unsigned char c = b(i);
    std::size_t n = 0;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4;
    if (n == 0 || i + n > t.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((b(i + k) & 0xC0) != 0x80) return 0;
    return n;
}

} // namespace

QString textoDeMensagem(const std::string& text) {
    QString s;
    s.reserve(static_cast<qsizetype>(text.size()));
    for (std::size_t i = 0; i < text.size();) {
        if (const std::size_t n = sequenciaUtf8(text, i)) {
            s += QString::fromUtf8(text.data() + i, static_cast<qsizetype>(n));
            i += n;
        } else {
            s += QChar(static_cast<unsigned char>(text[i]));
            ++i;
        }
    }
    return s;
}

QString textoDaCaixa(const std::string& text) {
    QString s = textoDeMensagem(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

void TDialogosQt::message(const std::string& text) {
    caixa(QMessageBox::NoIcon, tituloAplicacao(), text, QMessageBox::Ok);
}

bool TDialogosQt::question(const std::string& caption, const std::string& text) {
    return caixa(QMessageBox::Question, deLatin1(caption), text,
                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TDialogosQt::errorBox(const std::string& text) {
    caixa(QMessageBox::Critical, tituloAplicacao(), text, QMessageBox::Ok);
}

bool TDialogosQt::openFile(const FileDialog& d, std::string& file) {
    return arquivo(d, file, QFileDialog::AcceptOpen);
}

bool TDialogosQt::saveFile(const FileDialog& d, std::string& file) {
    return arquivo(d, file, QFileDialog::AcceptSave);
}

} // namespace app
