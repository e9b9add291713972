#include "rtl/dialogs.h"

#include <gtest/gtest.h>

TEST(ErrorBoxText, AddsAFullStopOnlyAfterCharactersAboveIt) {
    EXPECT_EQ(rtl::errorBoxText("Tabela inexistente"), "Tabela inexistente.");
    EXPECT_EQ(rtl::errorBoxText("Pronto."), "Pronto.");
    EXPECT_EQ(rtl::errorBoxText(""), "");
    // '!' and ')' sort below '.', so nothing is added after them.
    EXPECT_EQ(rtl::errorBoxText("Falhou!"), "Falhou!");
    EXPECT_EQ(rtl::errorBoxText("erro (5)"), "erro (5)");
    // Accented Latin-1 letters are above '.'.
    EXPECT_EQ(rtl::errorBoxText("Conex\xe3o"), "Conex\xe3o.");
}
