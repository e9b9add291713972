// A file that cannot be written is told the user in Portuguese: what
// happened and what to do, the system's own text kept after it.
#include "rtl/fileerror.h"
#include "rtl/safefile.h"
#include "tests/support/fbtest.h"
#include "tests/support/tmpfs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(ErroDeArquivo, EachSystemErrorSaysWhatHappenedAndWhatToDo) {
    struct Caso {
        int erro;
        const char* diz;
    } casos[] = {
        {ENOSPC, "N\xe3o h\xe1 espa\xe7o livre no disco. Libere espa\xe7o"},
        {EDQUOT, "cota de espa\xe7o"},
        {EFBIG, "grande demais"},
        {EACCES, "N\xe3o h\xe1 permiss\xe3o para gravar"},
        {EPERM, "N\xe3o h\xe1 permiss\xe3o para gravar"},
        {EROFS, "somente leitura. Grave em outra pasta"},
        {ENOENT, "A pasta n\xe3o existe"},
        {ENOTDIR, "A pasta n\xe3o existe"},
        {EBUSY, "em uso por outro programa. Feche"},
        {ETXTBSY, "em uso por outro programa. Feche"},
        {EISDIR, "J\xe1 existe uma pasta com este nome"},
        {ENAMETOOLONG, "longo demais"},
        {EIO, "O disco falhou"},
        {ENOMEM, "Falta mem\xf3ria"},
        {ESTALE, "pasta de rede"},
        {0, "O sistema recusou a grava\xe7\xe3o. Tente de novo"},
        {EXDEV, "O sistema recusou a grava\xe7\xe3o. Tente de novo"},
    };
    for (const auto& c : casos) {
        const std::string texto = rtl::fileErrorAdvice(c.erro);
        EXPECT_NE(texto.find(c.diz), std::string::npos) << c.erro << ": " << texto;
        EXPECT_EQ(texto.back(), '.') << c.erro;
    }
    // The system's text stays in English whatever the user's locale.
    fbtest::ScopedProcessLocale brasil("pt_BR.UTF-8");
    EXPECT_EQ(rtl::fileErrorMessage("gravar", "/x/a.txt", ENOSPC),
              "N\xe3o foi poss\xedvel gravar o arquivo /x/a.txt. " + rtl::fileErrorAdvice(ENOSPC) +
                  "\nDetalhe t\xe9"
                  "cnico: No space left on device");
}

TEST(ErroDeArquivo, RealFailuresOfTheSafeFileSayWhatHappened) {
    fbtest::TempFolder pasta;
    fs::create_directory(pasta.path() / "disco");
    const std::string dir = (pasta.path() / "disco").string();
    fbtest::Tmpfs disco(dir, false, "size=16k");
    if (!disco.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    auto falha = [](const std::string& alvo) -> std::string {
        try {
            rtl::SafeFile f(alvo);
            for (int i = 0; i < 100; ++i)
                f.line(std::string(1000, 'z'));
            f.commit();
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "";
    };
    struct Caso {
        const char* nome;
        std::string alvo;
        const char* diz;
        bool somenteLeitura;
    } casos[] = {
        {"full device", dir + "/a.txt", "N\xe3o h\xe1 espa\xe7o livre", false},
        {"missing folder", pasta.file("nada/a.txt"), "A pasta n\xe3o existe", false},
        {"read-only device", dir + "/a.txt", "somente leitura", true},
    };
    for (const auto& c : casos) {
        if (c.somenteLeitura) {
            ASSERT_TRUE(disco.remount(true));
        }
        const std::string m = falha(c.alvo);
        EXPECT_EQ(m.rfind("N\xe3o foi poss\xedvel", 0), 0u) << c.nome << ": " << m;
        EXPECT_NE(m.find(c.alvo), std::string::npos) << c.nome << ": " << m;
        EXPECT_NE(m.find(c.diz), std::string::npos) << c.nome << ": " << m;
    }
    if (geteuid() != 0) {
        fs::create_directory(pasta.path() / "fechada");
        fs::permissions(pasta.path() / "fechada", fs::perms::owner_read | fs::perms::owner_exec);
        const std::string m = falha(pasta.file("fechada/a.txt"));
        fs::permissions(pasta.path() / "fechada", fs::perms::owner_all);
        EXPECT_NE(m.find("N\xe3o h\xe1 permiss\xe3o"), std::string::npos) << m;
    }
}
