// Reading cells and turning them into values, without a database.
#include "import/Importacao.h"

#include "rtl/settings.h"

#include <gtest/gtest.h>

using namespace importa;

namespace {

std::vector<Linha> leTudo(std::string_view t, FormatoTexto f) {
    LeitorTexto r(t, f);
    std::vector<Linha> out;
    Linha l;
    while (r.proxima(l))
        out.push_back(l);
    return out;
}

std::string junta(const Linha& l) {
    std::string s = std::to_string(l.numero) + ":";
    for (std::size_t i = 0; i < l.celulas.size(); ++i)
        s += (i ? "|" : "") + l.celulas[i];
    return s;
}

} // namespace

TEST(Leitura, LinhasCelulasEQualificadores) {
    struct Caso {
        const char* texto;
        char sep, qual;
        std::vector<std::string> esperado; // "line:cell|cell"
    } casos[] = {
        {"a\tb\r\nc\td", '\t', '"', {"1:a|b", "2:c|d"}},
        {"a\tb\n", '\t', '"', {"1:a|b"}}, // no row for the final break
        {"\"x\ty\"\tz\n\n3\t", '\t', '"', {"1:x\ty|z", "3:3|"}},
        {"\"um\r\ndois\";\"a\"\"b\"\rfim;", ';', '"', {"1:um\r\ndois|a\"b", "3:fim|"}},
        {" 00123 ,'a,b',", ',', '\'', {"1: 00123 |a,b|"}},
        {"sem\"aspas\"\t\"", '\t', '"', {"1:sem\"aspas\"|"}},
        {"a|b", '|', '\0', {"1:a|b"}},
    };
    for (const auto& c : casos) {
        std::vector<std::string> got;
        for (const auto& l : leTudo(c.texto, {c.sep, c.qual}))
            got.push_back(junta(l));
        EXPECT_EQ(got, c.esperado) << c.texto;
    }
}

TEST(Leitura, FormatoDetectado) {
    struct Caso {
        const char* texto;
        char sep, qual;
    } casos[] = {
        {"a;b;c\n1;2,5;3\n", ';', '"'},     {"a,b\n1,2\n\"x;y\",3\n", ',', '"'},
        {"a\tb,c\n1\t2,3\n", '\t', '"'},    {"'a'|'b'\n1|2\n", '|', '\''},
        {"uma coluna\noutra\n", '\t', '"'},
    };
    for (const auto& c : casos) {
        const FormatoTexto f = detectaFormato(c.texto);
        EXPECT_EQ(f.separador, c.sep) << c.texto;
        EXPECT_EQ(f.qualificador, c.qual) << c.texto;
    }
}

TEST(Leitura, CodificacaoDoArquivo) {
    Codificacao usada;
    EXPECT_EQ(textoEmUtf8("\xEF\xBB\xBF"
                          "a\xC3\xA7\xC3\xA3o",
                          &usada),
              "a\xC3\xA7\xC3\xA3o");
    EXPECT_EQ(usada, Codificacao::Utf8);
    EXPECT_EQ(textoEmUtf8("a\xE7\xE3o \x80", &usada), "a\xC3\xA7\xC3\xA3o \xE2\x82\xAC");
    EXPECT_EQ(usada, Codificacao::Windows1252);
}

namespace {

TFbColumnFacts coluna(int tipo, int escala = 0, int tam = 0, int cs = 0, bool notNull = false,
                      int sub = 0) {
    TFbColumnFacts c;
    c.Name = "C";
    c.FieldType = tipo;
    c.Scale = escala;
    c.Length = tam;
    c.CharSetId = cs;
    c.NotNull = notNull;
    c.SubType = sub;
    return c;
}

} // namespace

TEST(Conversao, ValoresComoAGradeMostra) {
    rtl::ScopedFormatSettings br(rtl::brazilianSettings());
    const rtl::FormatSettings fs = rtl::brazilianSettings();
    // Expected: the preview text of the value, or "!" + part of the reason.
    struct Caso {
        TFbColumnFacts c;
        const char* celula;
        const char* esperado;
    } casos[] = {
        {coluna(8), " 1.234.567 ", "1234567"},
        {coluna(8), "1.5", "2"}, // '.' decimals read too, rounded
        {coluna(8), "2147483648", "!fora do intervalo"},
        {coluna(7), "-32768", "-32768"},
        {coluna(7), "32768", "!fora do intervalo"},
        {coluna(16, -2), "-1.234,565", "-1234,57"},
        {coluna(16, -2), "1,2e3", "1200,00"},
        {coluna(16, -4), "922.337.203.685.477,5808", "!fora do intervalo"},
        {coluna(16, -4), "-922.337.203.685.477,5808", "-922337203685477,5808"},
        {coluna(8, -2), "12,3,4", "!não é um número"},
        {coluna(8, -2), "1.23,4", "!não é um número"}, // groups of three only
        {coluna(27), "-0,5", "-0,5"},
        {coluna(10), "1e39", "!fora do intervalo"},
        {coluna(12), "31/12/2024", "31/12/2024"},
        {coluna(12), "2024-02-29", "29/02/2024"},
        {coluna(12), "31/02/2024", "!não é uma data"},
        {coluna(13), "23:59:58", "23:59:58"},
        {coluna(13), "24:00", "!não é uma hora"},
        {coluna(35), "01/02/2003 04:05:06", "01/02/2003 04:05:06"},
        {coluna(35), "2003-02-01T04:05:06.5", "01/02/2003 04:05:06"},
        {coluna(23), "N\xC3\x83O", "NÃO"},
        {coluna(23), "true", "SIM"},
        {coluna(23), "talvez", "!não é SIM nem NÃO"},
        {coluna(8), "", ""},
        {coluna(8, 0, 0, 0, true), " ", "!não aceita nulo"},
        {coluna(37, 0, 5, 53), "", ""},
        {coluna(37, 0, 5, 53), "00123", "00123"},
        {coluna(37, 0, 5, 53), "a\xC3\xA7\xC3\xA3o\xE2\x82\xAC", "ação€"},
        {coluna(37, 0, 5, 53), "123456", "!texto de 6 caracteres; a coluna aceita 5"},
        {coluna(14, 0, 3, 53), "ab     ", "ab     "}, // blanks past the length
        {coluna(37, 0, 20, 4), "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC",
         "€€€€€"},
        {coluna(37, 0, 10, 53), "x\xE2\x98\x83",
         "!o caractere '\xE2\x98\x83' não existe no conjunto WIN1252"},
        {coluna(37, 0, 10, 21), "\xE2\x82\xAC", "!não existe no conjunto ISO8859_1"},
        {coluna(261, 0, 8, 4, false, 1), "linha 1\nlinha 2", "linha 1\nlinha 2"},
    };
    for (const auto& c : casos) {
        Destino d{&c.c, "C"};
        TFbImportValue v;
        const std::string r = converte(c.celula, d, fs, v);
        const std::string e = c.esperado;
        if (!e.empty() && e[0] == '!') {
            EXPECT_NE(r.find(e.substr(1)), std::string::npos) << c.celula << " -> " << r;
            EXPECT_EQ(r.rfind("coluna C: ", 0), 0u) << r;
        } else {
            EXPECT_EQ(r, "") << c.celula;
            EXPECT_EQ(textoDoValor(v, c.c, fs), e) << c.celula;
        }
    }
}

TEST(Conversao, MapaPorTituloOuPosicao) {
    TFbTableFacts t;
    auto add = [&](const char* nome, int tipo, bool calc = false, int sub = 0) {
        TFbColumnFacts c = coluna(tipo, 0, 10, 4);
        c.Name = nome;
        c.Computed = calc;
        c.SubType = sub;
        t.Columns.push_back(c);
    };
    add("ID", 8);
    add("DESCRI\xC3\x87\xC3\x83O", 37); // a name with accents, as the catalog holds it in UTF-8
    add("TOTAL", 8, true);
    add("FOTO", 261);
    add("OBS", 261, false, 1);

    auto nomes = [](const Mapa& m) {
        std::string s;
        for (std::size_t k = 0; k < m.destinos.size(); ++k)
            s += m.destinos[k].coluna->Name + "@" + std::to_string(m.celula[k]) + " ";
        return s;
    };
    Linha cab{1, {" descrição ", "Xis", "id", "total"}};
    Linha dado{2, {"a", "b", "1", "2"}};
    Mapa m = mapeia(cab, &dado, t, rtl::brazilianSettings());
    EXPECT_TRUE(m.titulos);
    EXPECT_EQ(nomes(m), "DESCRI\xC3\x87\xC3\x83O@0 ID@2 ");
    ASSERT_EQ(m.avisos.size(), 2u);
    EXPECT_NE(m.avisos[0].find("Xis"), std::string::npos);
    EXPECT_NE(m.avisos[1].find("calculada"), std::string::npos);

    // Values only: by position; the computed column, the binary blob and a
    // memo the grid showed as "(MEMO)" stay out.
    Linha pos{1, {"1", "x", "3", "(BLOB)", "(MEMO)"}};
    m = mapeia(pos, nullptr, t, rtl::brazilianSettings());
    EXPECT_FALSE(m.titulos);
    EXPECT_EQ(nomes(m), "ID@0 DESCRI\xC3\x87\xC3\x83O@1 ");
    EXPECT_EQ(m.avisos.size(), 3u);
    EXPECT_EQ(m.celulasMaximas, 5u);

    // A row of values that happens to hold a column's name is no title line.
    Linha valores{1, {"7", "id"}};
    EXPECT_FALSE(mapeia(valores, nullptr, t, rtl::brazilianSettings()).titulos);
}
