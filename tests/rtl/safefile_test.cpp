// The file every writer and Office server saves through: nothing reaches
// the target until the last line is in, and a failure leaves the previous
// file as it was.
#include "rtl/safefile.h"
#include "tests/support/fbtest.h"
#include "tests/support/tmpfs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using rtl::SafeFile;

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

TEST(SafeFile, LinesEndWithCrLfAndBytesPassUnchanged) {
    fbtest::TempFolder pasta;
    std::string alvo = pasta.file("saida.txt");
    {
        SafeFile a(alvo);
        a.line("Jo\xe3o;A\xe7\xfa"
               "car");
        a.line("");
        a.write("sem fim");
        a.commit();
    }
    EXPECT_EQ(le(alvo), "Jo\xe3o;A\xe7\xfa"
                        "car\r\n\r\nsem fim");
    EXPECT_EQ(arquivosEm(pasta.path()), 1);
}

TEST(SafeFile, TargetKeepsItsOldContentUntilTheEnd) {
    fbtest::TempFolder pasta;
    std::string alvo = pasta.file("dados.txt");
    grava(alvo, "antigo");
    SafeFile a(alvo);
    // far more than the buffer, so part of it is already on disk
    std::string linha(1000, 'x');
    for (int i = 0; i < 2000; ++i)
        a.line(linha);
    EXPECT_EQ(le(alvo), "antigo");
    a.commit();
    EXPECT_EQ(le(alvo).size(), 2000u * 1002u);
    EXPECT_EQ(arquivosEm(pasta.path()), 1);
}

TEST(SafeFile, AnAbandonedFileLeavesTheOldOneAndNoLeftovers) {
    fbtest::TempFolder pasta;
    std::string alvo = pasta.file("dados.txt");
    grava(alvo, "antigo");
    {
        SafeFile a(alvo);
        a.line(std::string(600000, 'y'));
        // an error in the middle of an export: never concluded
    }
    EXPECT_EQ(le(alvo), "antigo");
    EXPECT_EQ(arquivosEm(pasta.path()), 1);
}

TEST(SafeFile, AMissingFolderFailsBeforeAnythingIsWritten) {
    fbtest::TempFolder pasta;
    EXPECT_THROW(SafeFile(pasta.file("nao/existe.txt")), std::runtime_error);
}

TEST(SafeFile, AReadOnlyFolderFailsAndKeepsTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    fbtest::TempFolder pasta;
    std::string alvo = pasta.file("dados.txt");
    grava(alvo, "antigo");
    fs::permissions(pasta.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(SafeFile{alvo}, std::runtime_error);
    fs::permissions(pasta.path(), fs::perms::owner_all);
    EXPECT_EQ(le(alvo), "antigo");
}

TEST(SafeFile, NewFileGetsOrdinaryPermissions) {
    fbtest::TempFolder pasta;
    std::string alvo = pasta.file("novo.txt");
    mode_t mascara = umask(022);
    {
        SafeFile a(alvo);
        a.line("x");
        a.commit();
    }
    umask(mascara);
    struct stat st {};
    ASSERT_EQ(stat(alvo.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(SafeFile, WhatALibraryPutUnderThePathByARenameOfItsOwnIsCommitted) {
    fbtest::TempFolder pasta;
    std::string alvo = pasta.file("doc.docx");
    grava(alvo, "antigo");
    mode_t mascara = umask(022);
    {
        SafeFile a(alvo);
        std::string proprio = pasta.file(".doc.docx.lib");
        grava(proprio, "novo");
        ASSERT_EQ(::chmod(proprio.c_str(), 0600), 0);
        ASSERT_EQ(::rename(proprio.c_str(), a.path().c_str()), 0);
        a.commit();
    }
    umask(mascara);
    EXPECT_EQ(le(alvo), "novo");
    struct stat st {};
    ASSERT_EQ(stat(alvo.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(arquivosEm(pasta.path()), 1);
}

TEST(SafeFile, AFullDeviceFailsAndKeepsTheOldFile) {
    fbtest::TempFolder pasta;
    fs::create_directory(pasta.path() / "cheio");
    std::string dir = (pasta.path() / "cheio").string();
    fbtest::Tmpfs m(dir, false);
    if (!m.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    std::string alvo = dir + "/dados.txt";
    grava(alvo, "antigo");
    EXPECT_THROW(
        {
            SafeFile a(alvo);
            for (int i = 0; i < 200; ++i)
                a.line(std::string(1000, 'z'));
            a.commit();
        },
        std::runtime_error);
    EXPECT_EQ(le(alvo), "antigo");
    EXPECT_EQ(arquivosEm(dir), 1);
}

TEST(SafeFile, AReadOnlyDeviceFailsAndKeepsTheOldFile) {
    fbtest::TempFolder pasta;
    fs::create_directory(pasta.path() / "ro");
    std::string dir = (pasta.path() / "ro").string();
    fbtest::Tmpfs m(dir, false);
    if (!m.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    std::string alvo = dir + "/dados.txt";
    grava(alvo, "antigo");
    ASSERT_TRUE(m.remount(true));
    EXPECT_THROW(SafeFile{alvo}, std::runtime_error);
    EXPECT_EQ(le(alvo), "antigo");
}
