#pragma once
// A user who answers the program's boxes from a script and remembers every
// box shown.
#include "rtl/dialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace exptest {

class Gravador : public rtl::UserDialogs {
public:
    Gravador() : anterior_(rtl::setDialogs(this)) {}
    ~Gravador() override { rtl::setDialogs(anterior_); }

    std::vector<std::string> mensagens;
    std::vector<std::string> perguntas; ///< "caption|text"
    std::vector<std::string> erros;
    std::vector<FileDialog> salvar;

    /// Files chosen in the next save dialogs; an empty entry cancels.
    std::deque<std::string> arquivos;
    /// Answers to the next questions; none left means No.
    std::deque<bool> respostas;

    void message(const std::string& text) override { mensagens.push_back(text); }
    bool question(const std::string& caption, const std::string& text) override {
        perguntas.push_back(caption + "|" + text);
        if (respostas.empty()) return false;
        bool r = respostas.front();
        respostas.pop_front();
        return r;
    }
    void errorBox(const std::string& text) override { erros.push_back(text); }
    bool openFile(const FileDialog&, std::string&) override { return false; }
    bool saveFile(const FileDialog& d, std::string& file) override {
        salvar.push_back(d);
        if (arquivos.empty()) return false;
        file = arquivos.front();
        arquivos.pop_front();
        return !file.empty();
    }

private:
    rtl::UserDialogs* anterior_;
};

} // namespace exptest
