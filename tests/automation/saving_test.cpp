// Both built-in servers save through the program's one safe file: a saved
// document gets the permissions of any new file, and a save that fails
// halfway (a full device) or is stopped keeps the previous file and leaves
// nothing else; its failures are told in Portuguese.
#include "automation/Automation.h"
#include "automation/ServerKit.h"
#include "automation/Servers.h"
#include "tests/support/fbtest.h"
#include "tests/support/tmpfs.h"

#include "rtl/settings.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <xlsxwriter.h>
#include <zip.h>

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

TEST_F(Salvar, AFullDeviceIsToldInPortugueseWithTheLibrarysOwnTextKept) {
    for (const Servidor& s : kServidores) {
        const std::string dir = (pasta.path() / s.arquivo).string() + ".d";
        fs::create_directory(dir);
        fbtest::Tmpfs cheio(dir, false, "size=16k");
        if (!cheio.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here";
        AutoObject app = preenche(s, 2000);
        try {
            ativo(s, app).call("SaveAs", {dir + "/" + s.arquivo});
            ADD_FAILURE() << s.progId << " saved on a full device";
        } catch (const EOleError& e) {
            const std::string m = e.what();
            EXPECT_EQ(
                m.rfind("N\xe3o foi poss\xedvel gravar o arquivo " + dir + "/" + s.arquivo, 0), 0u)
                << m;
            EXPECT_NE(m.find("N\xe3o h\xe1 espa\xe7o livre no disco. Libere espa\xe7o"),
                      std::string::npos)
                << m;
            EXPECT_NE(m.find("\nDetalhe t\xe9"
                             "cnico: "),
                      std::string::npos)
                << m;
            EXPECT_NE(m.find("No space left on device"), std::string::npos) << m;
        }
    }
}

TEST_F(Salvar, ALargeSaveReportsItsProgressAndStopsWhenAskedLeavingNothing) {
    for (const Servidor& s : kServidores) {
        AutoObject app = preenche(s, 10000);
        const std::string alvo = pasta.file(s.arquivo);
        std::ofstream(alvo, std::ios::binary) << "antigo";

        // Left alone: reports that move forward, the packaging last.
        std::vector<std::pair<std::int64_t, std::int64_t>> passos;
        {
            ScopedCallProgress acompanha([&](std::int64_t feito, std::int64_t total) {
                passos.emplace_back(feito, total);
                return true;
            });
            ativo(s, app).call("SaveAs", {pasta.file("inteiro")});
        }
        ASSERT_GE(passos.size(), 3u) << s.progId;
        for (std::size_t i = 1; i < passos.size(); ++i) {
            EXPECT_GE(passos[i].first, passos[i - 1].first) << s.progId << " step " << i;
            EXPECT_TRUE(passos[i].second < 0 || passos[i].first <= passos[i].second) << s.progId;
        }
        fs::remove(pasta.file("inteiro"));

        // Stopped at its first report, or at the first of its last phase
        // (the package being compressed or assembled).
        const std::int64_t linhas = 10000;
        for (bool noFim : {false, true}) {
            bool pediu = false;
            ScopedCallProgress acompanha([&](std::int64_t feito, std::int64_t total) {
                if (!noFim || total < 0 || feito > linhas) pediu = true;
                return !pediu;
            });
            EXPECT_THROW(ativo(s, app).call("SaveAs", {alvo}), ECancelled)
                << s.progId << (noFim ? " at the end" : " at the start");
            EXPECT_TRUE(pediu) << s.progId;
            EXPECT_EQ(le(alvo), "antigo") << s.progId;
            EXPECT_EQ(std::distance(fs::directory_iterator(pasta.path()), fs::directory_iterator()),
                      1)
                << s.progId << ": no temporary file left";
        }
        fs::remove(alvo);
    }
}

TEST(ErrosDeGravacao, TheLibrariesCodesAreToldInPortugueseWithTheirOwnTextAfter) {
    const std::string alvo = "/dados/vendas.docx";
    struct Caso {
        std::string mensagem;
        const char* diz;
        const char* detalhe;
    } casos[] = {
        {kit::zipSaveError(alvo, ZIP_ER_WRITE, ENOSPC, "Write error: No space left on device"),
         "N\xe3o h\xe1 espa\xe7o livre no disco.", "Write error: No space left on device"},
        {kit::zipSaveError(alvo, ZIP_ER_SEEK, 0, "Seek error"), "A grava\xe7\xe3o no disco falhou.",
         "Seek error"},
        {kit::zipSaveError(alvo, ZIP_ER_TMPOPEN, EACCES, "Failure to create temporary file"),
         "N\xe3o h\xe1 permiss\xe3o para gravar", "Failure to create temporary file"},
        {kit::zipSaveError(alvo, ZIP_ER_MEMORY, 0, "Malloc failure"), "Falta mem\xf3ria.",
         "Malloc failure"},
        {kit::zipSaveError(alvo, ZIP_ER_ZLIB, 0, "Zlib error"), "erro interno", "Zlib error"},
        {kit::xlsxSaveError(alvo, LXW_ERROR_ZIP_FILE_OPERATION, ENOSPC,
                            "Zip generic error ZIP_ERRNO while creating the xlsx file."),
         "N\xe3o h\xe1 espa\xe7o livre no disco.",
         "Zip generic error ZIP_ERRNO while creating the xlsx file: No space left on device"},
        {kit::xlsxSaveError(alvo, LXW_ERROR_CREATING_XLSX_FILE, EROFS,
                            "Error creating output xlsx file. Usually a permissions error."),
         "somente leitura", "Usually a permissions error: Read-only file system"},
        {kit::xlsxSaveError(alvo, LXW_ERROR_ZIP_CLOSE, 0, "Zip error on closing the xlsx file."),
         "A grava\xe7\xe3o no disco falhou.", "Zip error on closing the xlsx file."},
        {kit::xlsxSaveError(alvo, LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED, 0, "String exceeds"),
         "32.767 caracteres", "String exceeds"},
        {kit::xlsxSaveError(alvo, LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE, 0, "out of range"),
         "1.048.576 linhas", "out of range"},
        {kit::xlsxSaveError(alvo, LXW_ERROR_MEMORY_MALLOC_FAILED, 0, "Memory error"),
         "Falta mem\xf3ria.", "Memory error"},
    };
    for (const auto& c : casos) {
        EXPECT_EQ(c.mensagem.rfind("N\xe3o foi poss\xedvel gravar o arquivo " + alvo + ". ", 0), 0u)
            << c.mensagem;
        EXPECT_NE(c.mensagem.find(c.diz), std::string::npos) << c.mensagem;
        const std::string fim = std::string("\nDetalhe t\xe9") + "cnico: ";
        ASSERT_NE(c.mensagem.find(fim), std::string::npos) << c.mensagem;
        EXPECT_NE(c.mensagem.find(c.detalhe, c.mensagem.find(fim)), std::string::npos)
            << c.mensagem;
    }
}
