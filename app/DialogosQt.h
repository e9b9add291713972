#pragma once
// The program's message boxes and file dialogs, drawn by Qt. Installed with
// rtl::setDialogs at start; tests install their own recorder instead.
#include "rtl/dialogs.h"

#include <QString>
#include <QStringList>

namespace app {

/// Texts are Latin-1 bytes; folder and file names (initialDir, initialFile
/// and the chosen file) are the file system's bytes (QFile::encodeName).
class TDialogosQt : public rtl::UserDialogs {
public:
    void message(const std::string& text) override;
    bool question(const std::string& caption, const std::string& text) override;
    void errorBox(const std::string& text) override;
    bool openFile(const FileDialog& d, std::string& file) override;
    bool saveFile(const FileDialog& d, std::string& file) override;
};

/// A message's bytes as text. Messages are Latin-1, but some carry pieces
/// from outside the program in UTF-8 (a file name, the system's error
/// text in a Portuguese locale): a well-formed UTF-8 sequence is read as
/// UTF-8, every other byte as Latin-1.
QString textoDeMensagem(const std::string& text);

/// A Latin-1 message as Qt shows it: a carriage return, alone or before a
/// line feed, becomes one line break.
QString textoDaCaixa(const std::string& text);

} // namespace app
