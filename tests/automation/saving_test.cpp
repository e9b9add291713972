// Both built-in servers save through the program's one safe file: a saved
// document gets the permissions of any new file, and a save that fails
// halfway (a full device) keeps the previous file and leaves nothing else.
#include "automation/Automation.h"
#include "automation/Servers.h"
#include "tests/support/fbtest.h"
#include "tests/support/tmpfs.h"

#include "rtl/settings.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <sys/stat.h>

using namespace automation;
namespace fs = std::filesystem;

namespace {

struct Servidor {
    const char* progId;
    const char* arquivo;
};
const Servidor kServidores[] = {{"Word.Application", "t.docx"}, {"Excel.Application", "t.xlsx"}};

/// A document of `n` cells of random letters, which hardly compress; the
/// server is left with it open and active.
AutoObject preenche(const Servidor& s, int n) {
    AutoObject app = createOleObject(s.progId);
    std::mt19937 gerador(7);
    auto texto = [&] {
        std::string t(24, ' ');
        for (char& c : t)
            c = static_cast<char>('a' + gerador() % 26);
        return t;
    };
    if (s.progId[0] == 'W') {
        app.get("Documents").call("Add");
        AutoObject doc = app.get("ActiveDocument");
        doc.get("Tables").call("Add", {doc.get("Range"), n, 1});
        for (int r = 1; r <= n; ++r)
            doc.get("Tables")
                .get("Item", {1})
                .get("Cell", {r, 1})
                .get("Range")
                .call("InsertAfter", {texto()});
    } else {
        app.get("Workbooks").call("Add");
        for (int r = 1; r <= n; ++r)
            app.set("Cells", {r, 1}, texto());
    }
    return app;
}

std::string le(const std::string& caminho) {
    std::ifstream f(caminho, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

struct Salvar : ::testing::Test {
    fbtest::TempFolder pasta;
    rtl::ScopedFormatSettings regional{rtl::brazilianSettings()};
    void SetUp() override { resetServers(); }
    void TearDown() override { resetServers(); }

    static AutoObject ativo(const Servidor& s, const AutoObject& app) {
        return app.get(s.progId[0] == 'W' ? "ActiveDocument" : "ActiveWorkBook");
    }
};

} // namespace

TEST_F(Salvar, ASavedDocumentGetsTheOrdinaryPermissionsOfANewFile) {
    for (const Servidor& s : kServidores) {
        AutoObject app = preenche(s, 3);
        const std::string alvo = pasta.file(s.arquivo);
        mode_t mascara = umask(027);
        ativo(s, app).call("SaveAs", {alvo});
        umask(mascara);
        struct stat st {};
        ASSERT_EQ(stat(alvo.c_str(), &st), 0) << s.progId;
        EXPECT_EQ(st.st_mode & 0777, 0640u) << s.progId;
    }
}

TEST_F(Salvar, AFullDeviceFailsTheSaveAndKeepsThePreviousFile) {
    for (const Servidor& s : kServidores) {
        const std::string dir = (pasta.path() / s.arquivo).string() + ".d";
        fs::create_directory(dir);
        fbtest::Tmpfs cheio(dir, false, "size=16k");
        if (!cheio.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here";
        const std::string alvo = dir + "/" + s.arquivo;
        std::ofstream(alvo, std::ios::binary) << "antigo";

        AutoObject app = preenche(s, 2000);
        EXPECT_THROW(ativo(s, app).call("SaveAs", {alvo}), EOleError) << s.progId;
        EXPECT_EQ(le(alvo), "antigo") << s.progId;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
            << s.progId;
    }
}
