#include "rtl/charset.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    int id;
    std::string bytes; // as the server holds them
    std::string utf8;  // what the user sees
};

// "Ação €" and its neighbours in the sets that differ in how they hold it.
const Case kCases[] = {
    {rtl::cs::None, "A\xE7\xE3o", "Ação"},
    {rtl::cs::Iso8859_1, "A\xE7\xE3o \xA0", "Ação \u00A0"},
    {rtl::cs::Win1252, "\x80uro \x93x\x94 \x96", "€uro “x” –"},
    {rtl::cs::Utf8, "Zo\xC3\xAB \xE2\x82\xAC \xE4\xB8\xAD", "Zoë € 中"},
    {rtl::cs::UnicodeFss, "Jos\xC3\xA9", "José"},
    {52 /* WIN1251 */, "\xCF\xF0\xE8", "При"},
    {35 /* ISO8859_5 */, "\xBF\xE0\xD8", "При"},
    {56 /* BIG_5 */, "\xA4\xA4", "中"},
    {69 /* GB18030 */, "\xD6\xD0", "中"},
};

TEST(CharSets, TextOfEverySetReadsAndWritesBackTheSameBytes) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(rtl::charSetName(c.id));
        EXPECT_EQ(rtl::toUtf8(c.bytes, c.id), c.utf8);
        std::string back;
        ASSERT_TRUE(rtl::fromUtf8(c.utf8, c.id, back));
        EXPECT_EQ(back, c.bytes);
    }
}

TEST(CharSets, CharactersASetCannotHoldAreRefusedNotMangled) {
    std::string out;
    EXPECT_FALSE(rtl::fromUtf8("中", rtl::cs::Win1252, out));
    EXPECT_FALSE(rtl::fromUtf8("€", rtl::cs::Iso8859_1, out));
    EXPECT_FALSE(rtl::fromUtf8("é", rtl::cs::Ascii, out));
    EXPECT_FALSE(rtl::fromUtf8("中", 52, out));
    EXPECT_FALSE(rtl::fromUtf8("\xC3", rtl::cs::Utf8, out)) << "a cut sequence is not UTF-8";
    // WIN1252's holes and the C1 controls Latin-1 has there are not its characters.
    EXPECT_FALSE(rtl::fromUtf8("\u0081", rtl::cs::Win1252, out));
}

TEST(CharSets, BytesASetDoesNotDefineShowAsReplacementCharacters) {
    EXPECT_EQ(rtl::toUtf8("a\xC3(b\xE2\x82", rtl::cs::Utf8), "a\uFFFD(b\uFFFD\uFFFD");
    EXPECT_EQ(rtl::toUtf8("\x81", rtl::cs::Win1252), "\uFFFD");
    EXPECT_EQ(rtl::toUtf8("\xED\xA0\x80", rtl::cs::Utf8), "\uFFFD\uFFFD\uFFFD") << "a surrogate";
    EXPECT_EQ(rtl::toUtf8("\xA4\xA4\xFF", 56), "中\uFFFD");
}

TEST(CharSets, NamesAndWidths) {
    EXPECT_EQ(rtl::charSetId("WIN1252"), 53);
    EXPECT_EQ(rtl::charSetId("utf8                           "), rtl::cs::Utf8);
    EXPECT_EQ(rtl::charSetId("KLINGON"), -1);
    EXPECT_STREQ(rtl::charSetName(rtl::cs::UnicodeFss), "UNICODE_FSS");
    EXPECT_TRUE(rtl::isSingleByte(rtl::cs::Win1252));
    EXPECT_TRUE(rtl::isSingleByte(rtl::cs::None));
    EXPECT_FALSE(rtl::isSingleByte(rtl::cs::Utf8));
    EXPECT_FALSE(rtl::isSingleByte(44));
    EXPECT_EQ(rtl::nameToUtf8("A\xC3\x87\xC3\x83O"), "AÇÃO");
    EXPECT_EQ(rtl::nameToUtf8("A\xC7\xC3O"), "AÇÃO")
        << "Latin-1 bytes kept by a client without a set";
}

TEST(CharSets, Latin1FilesTakeWhatLatin1HoldsAndAskForTheRest) {
    auto refer = [](char32_t c, std::string& out) { out += "&#" + std::to_string(c) + ';'; };
    std::string out;
    rtl::appendLatin1(out, "\x80 caf\xE9", rtl::cs::Win1252, refer);
    EXPECT_EQ(out, "&#8364; caf\xE9");
    out.clear();
    rtl::appendLatin1(out, "caf\xC3\xA9 \xE4\xB8\xAD", rtl::cs::Utf8, refer);
    EXPECT_EQ(out, "caf\xE9 &#20013;");
    out.clear();
    rtl::appendLatin1(out, "\x80\x81", rtl::cs::None, refer);
    EXPECT_EQ(out, "\x80\x81") << "text without a set passes as it is";
}

} // namespace
