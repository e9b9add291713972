// The output file of every writer: nothing reaches the target until the
// last line is in, and a failure leaves the previous file as it was.
#include "export/ExpArquivo.h"
#include "tests/export/montagem.h"
#include "tests/support/fbtest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using exporta::TArquivoSeguro;

namespace {

std::string le(const std::string& caminho) {
    std::ifstream f(caminho, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void grava(const std::string& caminho, const std::string& texto) {
    std::ofstream(caminho, std::ios::binary) << texto;
}

int arquivosEm(const fs::path& pasta) {
    int n = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(pasta))
        ++n;
    return n;
}

} // namespace

TEST(ArquivoSeguro, LinesEndWithCrLfAndBytesPassUnchanged) {
    fbtest::TempFolder pasta;
    std::string alvo = pasta.file("saida.txt");
    {
        TArquivoSeguro a(alvo);
        a.linha("Jo\xe3o;A\xe7\xfa"
                "car");
        a.linha("");
        a.escreve("sem fim");
        a.conclui();
    }
    EXPECT_EQ(le(alvo), "Jo\xe3o;A\xe7\xfa"
                        "car\r\n\r\nsem fim");
    EXPECT_EQ(arquivosEm(pasta.path()), 1);
}

TEST(ArquivoSeguro, TargetKeepsItsOldContentUntilTheEnd) {
    fbtest::TempFolder pasta;
    std::string alvo = pasta.file("dados.txt");
    grava(alvo, "antigo");
    TArquivoSeguro a(alvo);
    // far more than the buffer, so part of it is already on disk
    std::string linha(1000, 'x');
    for (int i = 0; i < 2000; ++i)
        a.linha(linha);
    EXPECT_EQ(le(alvo), "antigo");
    a.conclui();
    EXPECT_EQ(le(alvo).size(), 2000u * 1002u);
    EXPECT_EQ(arquivosEm(pasta.path()), 1);
}

TEST(ArquivoSeguro, AnAbandonedFileLeavesTheOldOneAndNoLeftovers) {
    fbtest::TempFolder pasta;
    std::string alvo = pasta.file("dados.txt");
    grava(alvo, "antigo");
    {
        TArquivoSeguro a(alvo);
        a.linha(std::string(600000, 'y'));
        // an error in the middle of an export: never concluded
    }
    EXPECT_EQ(le(alvo), "antigo");
    EXPECT_EQ(arquivosEm(pasta.path()), 1);
}

TEST(ArquivoSeguro, AMissingFolderFailsBeforeAnythingIsWritten) {
    fbtest::TempFolder pasta;
    EXPECT_THROW(TArquivoSeguro(pasta.file("nao/existe.txt")), std::runtime_error);
}

TEST(ArquivoSeguro, AReadOnlyFolderFailsAndKeepsTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    fbtest::TempFolder pasta;
    std::string alvo = pasta.file("dados.txt");
    grava(alvo, "antigo");
    fs::permissions(pasta.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(TArquivoSeguro{alvo}, std::runtime_error);
    fs::permissions(pasta.path(), fs::perms::owner_all);
    EXPECT_EQ(le(alvo), "antigo");
}

TEST(ArquivoSeguro, NewFileGetsOrdinaryPermissions) {
    fbtest::TempFolder pasta;
    std::string alvo = pasta.file("novo.txt");
    mode_t mascara = umask(022);
    {
        TArquivoSeguro a(alvo);
        a.linha("x");
        a.conclui();
    }
    umask(mascara);
    struct stat st {};
    ASSERT_EQ(stat(alvo.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(ArquivoSeguro, AFullDeviceFailsAndKeepsTheOldFile) {
    fbtest::TempFolder pasta;
    fs::create_directory(pasta.path() / "cheio");
    std::string dir = (pasta.path() / "cheio").string();
    exptest::Montagem m(dir, false);
    if (!m.montado()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    std::string alvo = dir + "/dados.txt";
    grava(alvo, "antigo");
    EXPECT_THROW(
        {
            TArquivoSeguro a(alvo);
            for (int i = 0; i < 200; ++i)
                a.linha(std::string(1000, 'z'));
            a.conclui();
        },
        std::runtime_error);
    EXPECT_EQ(le(alvo), "antigo");
    EXPECT_EQ(arquivosEm(dir), 1);
}

TEST(ArquivoSeguro, AReadOnlyDeviceFailsAndKeepsTheOldFile) {
    fbtest::TempFolder pasta;
    fs::create_directory(pasta.path() / "ro");
    std::string dir = (pasta.path() / "ro").string();
    exptest::Montagem m(dir, false);
    if (!m.montado()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    std::string alvo = dir + "/dados.txt";
    grava(alvo, "antigo");
    ASSERT_TRUE(m.remonta(true));
    EXPECT_THROW(TArquivoSeguro{alvo}, std::runtime_error);
    EXPECT_EQ(le(alvo), "antigo");
}
