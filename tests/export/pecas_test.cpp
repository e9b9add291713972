// The small rules inside the writers: separator edits, qualifying, HTML
// entities and valid XML names and values.
#include "export/Exporta.h"

#include "rtl/charset.h"

#include <gtest/gtest.h>

using namespace exporta;

TEST(SeparatorEdits, OnlyTheFirstCharacterAfterTrimmingCounts) {
    struct Caso {
        std::string edit;
        char esperado;
    } casos[] = {
        {",", ','},   {"''", '\''},    {";;", ';'},    {" | ", '|'},   {"", ' '},
        {"   ", ' '}, {"\t\r\n", ' '}, {"'abc", '\''}, {"\x01#", '#'},
    };
    for (const auto& c : casos)
        EXPECT_EQ(caractereDe(c.edit), c.esperado) << "edit [" << c.edit << "]";
}

TEST(Qualifica, WrapsTheValueAndDoublesTheQualifierInside) {
    EXPECT_EQ(Qualifica("O'Brien", '\''), "'O''Brien'");
    EXPECT_EQ(Qualifica("", '\''), "''");
    EXPECT_EQ(Qualifica("''", '\''), "''''''");
    EXPECT_EQ(Qualifica("a\"b", '"'), "\"a\"\"b\"");
    EXPECT_EQ(Qualifica("x,y", '\''), "'x,y'");
}

TEST(EscapaHtml, MarkupCharactersBecomeEntitiesOthersStay) {
    struct Caso {
        std::string entrada, saida;
    } casos[] = {
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"A & B", "A &amp; B"},
        {"&amp;", "&amp;amp;"},
        {"Jo\xe3o \"x\" 'y'", "Jo\xe3o \"x\" 'y'"},
        {"", ""},
    };
    for (const auto& c : casos)
        EXPECT_EQ(escapaHtml(c.entrada), c.saida);
}

TEST(NomeXml, LabelsThatAreNoValidNameAreMadeValid) {
    struct Caso {
        std::string rotulo, nome;
    } casos[] = {
        {"CODIGO", "CODIGO"},
        {"Nome do cliente", "Nome_do_cliente"},
        {"2o_TELEFONE", "_2o_TELEFONE"},
        {"VALOR$", "VALOR_"},
        {"A<B>&C", "A_B__C"},
        {"DESCRI\xc7\xc3O", "DESCRI\xc7\xc3O"},
        {"x.y-z:w", "x.y-z:w"},
        {"-menos", "_-menos"},
        {"", "_"},
        {"\xd7\xf7", "__"},
    };
    for (const auto& c : casos) {
        EXPECT_EQ(nomeXml(c.rotulo), c.nome) << "label [" << c.rotulo << "]";
        // A UTF-8 file names the element alike.
        EXPECT_EQ(nomeXmlUtf8(rtl::toUtf8(c.rotulo, rtl::cs::Iso8859_1)),
                  rtl::toUtf8(c.nome, rtl::cs::Iso8859_1))
            << "label [" << c.rotulo << "]";
    }
}

TEST(ValorXml, MarkupCharactersBecomeBlanksAndForbiddenOnesVanish) {
    EXPECT_EQ(valorXml("A<B & C>D"), "A B   C D");
    EXPECT_EQ(valorXml(std::string("a\0b\x01\x08\x0b\x0c\x1f"
                                   "c",
                                   9)),
              "abc");
    EXPECT_EQ(valorXml("linha1\r\nlinha2\tfim"), "linha1\r\nlinha2\tfim");
    EXPECT_EQ(valorXml("Jos\xe9 \x80\xff"), "Jos\xe9 \x80\xff");
}

TEST(ComExtensao, TheNameEndsWithTheExtensionOfTheContent) {
    struct Caso {
        std::string arquivo, esperado;
    } casos[] = {
        {"/tmp/r.docx", "/tmp/r.docx"},
        {"/tmp/R.DOCX", "/tmp/R.DOCX"},
        {"/tmp/r.doc", "/tmp/r.docx"},
        {"/tmp/r.DOC", "/tmp/r.docx"},
        {"/tmp/r", "/tmp/r.docx"},
        {"/tmp/r.", "/tmp/r.docx"},
        {"/tmp/vendas.2024", "/tmp/vendas.2024.docx"},
        {"/tmp/r.doc.txt", "/tmp/r.doc.txt.docx"},
        {"/tmp/pasta.doc/r", "/tmp/pasta.doc/r.docx"},
        {"/tmp/.doc", "/tmp/.doc.docx"},
        {"r.doc", "r.docx"},
    };
    for (const auto& c : casos)
        EXPECT_EQ(comExtensao(c.arquivo, "docx", "doc"), c.esperado) << c.arquivo;
    EXPECT_EQ(comExtensao("/tmp/p.xls", "xlsx", "xls"), "/tmp/p.xlsx");
    EXPECT_EQ(comExtensao("/tmp/p.docx", "xlsx", "xls"), "/tmp/p.docx.xlsx");
}
