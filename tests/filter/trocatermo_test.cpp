#include "filter/TrocaTermo.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

struct Caso {
    const char* sentenca;
    const char* sql;
};

void PrintTo(const Caso& c, std::ostream* os) {
    *os << '"' << c.sentenca << '"';
}

class UmaSentenca : public ::testing::TestWithParam<Caso> {};

TEST_P(UmaSentenca, TraduzComoOUsuarioEspera) {
    EXPECT_EQ(TraduzSentenca(GetParam().sentenca), GetParam().sql);
}

// Sentences as a user composes them, and the SQL each must become.
INSTANTIATE_TEST_SUITE_P(
    Tabela, UmaSentenca,
    ::testing::Values(
        // Plain comparisons have nothing to translate.
        Caso{"VALOR = 10", "VALOR = 10"}, Caso{"", ""},
        // Connectors, typed as continuation sentences.
        Caso{" E QTD > 2", " AND QTD > 2"}, Caso{" OU QTD > 2", " OR QTD > 2"},
        Caso{"NOME COM 'A%'", "NOME LIKE 'A%'"},
        // Lower case words are words too.
        Caso{"a e b", "a AND b"}, Caso{"a ou b", "a OR b"}, Caso{"nome com 'x%'", "nome LIKE 'x%'"},
        Caso{" dia ( data ) = 5", " EXTRACT(DAY FROM data ) = 5"},
        // A replacement's trailing blank starts the next occurrence.
        Caso{"A E E B", "A AND AND B"}, Caso{"A OU OU B", "A OR OR B"},
        Caso{"A COM COM B", "A LIKE LIKE B"}, Caso{"A E OU B", "A AND OR B"},
        // Date parts, typed with one blank before the parenthesis.
        Caso{" DIA ( DATA ) = 5", " EXTRACT(DAY FROM DATA ) = 5"},
        Caso{" MES ( DATA ) = 12", " EXTRACT(MONTH FROM DATA ) = 12"},
        Caso{" ANO ( DATA ) = 2024", " EXTRACT(YEAR FROM DATA ) = 2024"},
        Caso{" HOR (DATA) > 12", " EXTRACT(HOUR FROM DATA) > 12"},
        Caso{" MIN (HORA) < 30", " EXTRACT(MINUTE FROM HORA) < 30"},
        Caso{" SEG (HORA) = 0", " EXTRACT(SECOND FROM HORA) = 0"},
        // Without the leading blank the word is not a word.
        Caso{"DIA ( DATA ) = 5", "DIA ( DATA ) = 5"}, Caso{"HOR (DATA) > 1", "HOR (DATA) > 1"},
        // The date-part cell followed by the " ( " cell (two blanks).
        Caso{" DIA  ( DATA ) = 5", " EXTRACT(DAY FROM DATA ) = 5"},
        Caso{" MES  ( DATA ) = 5", " EXTRACT(MONTH FROM DATA ) = 5"},
        Caso{" ANO  ( DATA ) = 5", " EXTRACT(YEAR FROM DATA ) = 5"},
        Caso{" HOR  ( DATA ) = 5", " EXTRACT(HOUR FROM  DATA ) = 5"},
        Caso{" MIN  ( DATA ) = 5", " EXTRACT(MINUTE FROM  DATA ) = 5"},
        Caso{" SEG  ( DATA ) = 5", " EXTRACT(SECOND FROM  DATA ) = 5"},
        // Today's date and time.
        Caso{"DATA = D_HJ ", "DATA = CURRENT_DATE "}, Caso{"HORA < H_HJ ", "HORA < CURRENT_TIME "},
        Caso{"DATA = D_HJ", "DATA = D_HJ"},
        // Words glued to other text stay.
        Caso{"MEDIA > 2", "MEDIA > 2"}, Caso{"A EE B", "A EE B"},
        Caso{"COMPRA E X", "COMPRA AND X"},
        // Values in quotes are the user's data and stay as typed.
        Caso{"NOME = 'MARIA E JOSE'", "NOME = 'MARIA E JOSE'"},
        Caso{"NOME = 'MARIA E JOSE' E ID > 3", "NOME = 'MARIA E JOSE' AND ID > 3"},
        Caso{"NOME COM '% OU %' OU NOME COM '% COM %'",
             "NOME LIKE '% OU %' OR NOME LIKE '% COM %'"},
        Caso{"NOME = 'D''AVILA E FILHOS' OU X = 1", "NOME = 'D''AVILA E FILHOS' OR X = 1"},
        Caso{"OBS = ' DIA ( X ) ' E Y = ' D_HJ '", "OBS = ' DIA ( X ) ' AND Y = ' D_HJ '"},
        Caso{"NOME = '' E ID = 1", "NOME = '' AND ID = 1"},
        // An unclosed quote keeps the rest of the sentence as typed.
        Caso{"NOME = 'A E B", "NOME = 'A E B"},
        Caso{"X = 1 E NOME = 'A E B", "X = 1 AND NOME = 'A E B"},
        // Names in double quotes are names: an apostrophe in one opens no
        // literal, and words in one stay; inside a literal a double quote is
        // just a character.
        Caso{"\"A'B\" = 1 E C = 2", "\"A'B\" = 1 AND C = 2"},
        Caso{"\"NOME E DATA\" COM 'A%' OU \"D_HJ \" = 1",
             "\"NOME E DATA\" LIKE 'A%' OR \"D_HJ \" = 1"},
        Caso{"\"A\"\" E \" = 1 E B = 2", "\"A\"\" E \" = 1 AND B = 2"},
        Caso{"NOME = 'D\"AVILA E FILHOS' OU X = 1", "NOME = 'D\"AVILA E FILHOS' OR X = 1"},
        Caso{"X = 1 E \"A E B", "X = 1 AND \"A E B"}));

TEST(TrocaTermo, ReplacesEveryOccurrenceFromLeftToRight) {
    EXPECT_EQ(TrocaTermo("A E B E C", " E ", " AND "), "A AND B AND C");
    EXPECT_EQ(TrocaTermo(" E ", " E ", " AND "), " AND ");
    EXPECT_EQ(TrocaTermo("A E", " E ", " AND "), "A E");
}

TEST(TrocaTermo, AWordWrittenInLowerCaseNeverMatches) {
    // The text is compared in upper case; the word as given.
    EXPECT_EQ(TrocaTermo("A E B", " e ", " AND "), "A E B");
}

TEST(TrocaTermo, AnEmptyWordChangesNothing) {
    EXPECT_EQ(TrocaTermo("A E B", "", "X"), "A E B");
}

TEST(TrocaTermo, EndsEvenWhenTheReplacementHoldsTheWord) {
    EXPECT_EQ(TrocaTermo("AAA", "A", "AA"), "AAAAAA");
    EXPECT_EQ(TrocaTermo("xAx", "A", "BA"), "xBAx");
    EXPECT_EQ(TrocaTermo(" E  E ", " E ", " E E "), " E E  E E ");
}

struct Troca {
    const char* texto;
    const char* termo;
    const char* troca;
    const char* resultado;
};

void PrintTo(const Troca& c, std::ostream* os) {
    *os << "TrocaTermo(\"" << c.texto << "\", \"" << c.termo << "\", \"" << c.troca << "\")";
}

class UmaTroca : public ::testing::TestWithParam<Troca> {};

TEST_P(UmaTroca, RescansFromTheCharacterBeforeEachReplacement) {
    const Troca& c = GetParam();
    EXPECT_EQ(TrocaTermo(c.texto, c.termo, c.troca), c.resultado);
}

INSTANTIATE_TEST_SUITE_P(Tabela, UmaTroca,
                         ::testing::Values(
                             // An occurrence that starts before the inserted text and ends in it.
                             Troca{"XAAB", "AB", "B", "XB"}, Troca{"AAAB", "AB", "B", "B"},
                             Troca{"XAB AB", "AB", "B", "XB B"}, Troca{"AAA", "AA", "A", "A"},
                             Troca{"A E E B", " E ", " AND ", "A AND AND B"},
                             // One made only of inserted text is left, so the scan ends.
                             Troca{"AB", "AB", "AB", "AB"}, Troca{"AB", "AB", "XABY", "XABY"},
                             Troca{"AAB", "AB", "AAB", "AAAB"}, Troca{"AA", "A", "A", "AA"}));

TEST(TrocaTermo, QuotesInTheReplacementCountFromThenOn) {
    // The inserted quote opens a literal that protects the rest.
    EXPECT_EQ(TrocaTermo("A E B E C", " E ", " '"), "A 'B E C");
}

// The translation as first written: no literals, no guard. Outside quotes the
// program must give exactly its results.
std::string trocaOriginal(std::string t, const std::string& termo, const std::string& troca) {
    auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    long p = 1;
    int passos = 0;
    while (p <= static_cast<long>(t.size()) + 1 && ++passos < 100000) {
        bool ok = p >= 1 && p - 1 + termo.size() <= t.size();
        for (std::size_t k = 0; ok && k < termo.size(); ++k)
            ok = up(t[static_cast<std::size_t>(p - 1) + k]) == termo[k];
        if (ok) {
            t.erase(static_cast<std::size_t>(p - 1), termo.size());
            t.insert(static_cast<std::size_t>(p - 1), troca);
            p = troca == " LIKE " ? p + 4 : p - 1;
        } else {
            ++p;
        }
    }
    return t;
}

TEST(TraduzSentenca, AgreesWithTheFirstAlgorithmOnRandomSentencesWithoutQuotes) {
    const std::vector<std::string> pecas = {
        " ",   "  ", "E", "e",    "OU",   "ou",    "COM", "DIA", "MES",    "ANO",   "HOR", "MIN",
        "SEG", "(",  ")", "D_HJ", "H_HJ", "VALOR", "=",   "5",   "(DATA)", "MEDIA", "com", "dia"};
    std::mt19937 rng(20240601);
    for (int n = 0; n < 5000; ++n) {
        std::string s;
        const int tam = static_cast<int>(rng() % 12);
        for (int k = 0; k < tam; ++k)
            s += pecas[rng() % pecas.size()];
        std::string esperado = s;
        for (const Termo& t : termos)
            esperado = trocaOriginal(esperado, t.termo, t.troca);
        ASSERT_EQ(TraduzSentenca(s), esperado) << "sentence: \"" << s << '"';
    }
}

TEST(CodificaCondicao, LiteralsGoInTheTextSetAndNamesAsTheServerGaveThem) {
    // "Pre\xe7o": a name written by a client without a set, in Latin-1.
    const std::vector<NomeExibido> nomes = {{"NOME", "NOME"}, {"Pre\xc3\xa7o", "Pre\xe7o"}};
    struct C {
        const char* utf8;
        int conjunto;
        const char* sql; // null: refused
    } casos[] = {
        {"NOME = 'Jos\xc3\xa9'", 0, "NOME = 'Jos\xe9'"},
        {"NOME = 'Jos\xc3\xa9'", 4, "NOME = 'Jos\xc3\xa9'"},
        {"NOME = '\xe2\x82\xac\xe2\x80\x9c'", 53, "NOME = '\x80\x93'"},
        {"NOME = 'O''Hara \xc3\xa9' OR Pre\xc3\xa7o > 1", 21,
         "NOME = 'O''Hara \xe9' OR Pre\xe7o > 1"},
        // Inside a literal a name is text; an open literal runs to the end.
        {"NOME = 'Pre\xc3\xa7o", 4, "NOME = 'Pre\xc3\xa7o"},
        {"NOME = '\xe4\xb8\xad'", 53, nullptr},
        {"NOME = '\xe2\x82\xac'", 0, nullptr},
        // An apostrophe inside a quoted name opens no literal.
        {"\"A'B\" = 'Jos\xc3\xa9'", 21, "\"A'B\" = 'Jos\xe9'"},
    };
    for (const C& c : casos) {
        std::string sql;
        const bool ok = CodificaCondicao(c.utf8, c.conjunto, nomes, sql);
        EXPECT_EQ(ok, c.sql != nullptr) << c.utf8;
        if (ok && c.sql) {
            EXPECT_EQ(sql, c.sql) << c.utf8;
        }
    }
}

} // namespace
