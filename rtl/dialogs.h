#pragma once
// The one door through which the program talks to the user in boxes: plain
// messages, questions, the application-wide error box and file dialogs.
// The windows call dialogs(); the program installs a Qt implementation at
// start, and tests install one that records what was shown and answers from
// a script. Texts are Latin-1 bytes, as everywhere below the UI edge.
#include <string>
#include <vector>

namespace rtl {

class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    /// A plain message: the text, an OK button, captioned with the
    /// application title, no icon.
    virtual void message(const std::string& text) = 0;

    /// A question with Yes and No buttons, the question icon and `caption`.
    /// Returns true only for Yes.
    virtual bool question(const std::string& caption, const std::string& text) = 0;

    /// The application-wide error box: error icon, OK button, application
    /// title as caption. `text` is shown as given (the caller has already
    /// applied the full-stop rule, see errorBoxText).
    virtual void errorBox(const std::string& text) = 0;

    struct FileDialog {
        std::string title;
        std::vector<std::string> filters; ///< "Description (*.ext *.ext2)", in order
        int selectedFilter = 0;           ///< index into filters
        std::string initialDir;
        std::string initialFile;
        std::string defaultExt; ///< without the dot; appended when the name has none
    };
    /// An open-file dialog. Returns false when cancelled; otherwise `file`
    /// receives the chosen path.
    virtual bool openFile(const FileDialog& d, std::string& file) = 0;
    /// A save-file dialog, same contract as openFile.
    virtual bool saveFile(const FileDialog& d, std::string& file) = 0;
};

/// The installed implementation. Never null once the program or a test has
/// called setDialogs; calling it before that is a programming error.
UserDialogs& dialogs();

/// Installs `d` (not owned) and returns the previous one.
UserDialogs* setDialogs(UserDialogs* d);

/// The error box's text for an exception message: a full stop is appended
/// when the message is not empty and its last character's code is greater
/// than that of the full stop.
std::string errorBoxText(const std::string& message);

} // namespace rtl
