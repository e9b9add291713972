// Late-bound calls as a client sees them: values, reaching servers, failures
// and the call log.
#include "automation/Automation.h"
#include "automation/Servers.h"

#include <gtest/gtest.h>

using namespace automation;

namespace {

struct Servers : ::testing::Test {
    void SetUp() override { resetServers(); }
    void TearDown() override { resetServers(); }
};

std::string failure(const std::function<void()>& f) {
    try {
        f();
    } catch (const EOleError& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST(Variants, CarryTheirKindAndDescribeThemselvesWithIt) {
    struct Row {
        Variant v;
        Variant::Kind kind;
        const char* described;
    } rows[] = {
        {Variant(), Variant::Kind::Empty, "empty"},
        {Variant("abc"), Variant::Kind::Text, "\"abc\""},
        {Variant(std::string("N\xc3O")), Variant::Kind::Text, "\"N\xc3O\""},
        {Variant(false), Variant::Kind::Boolean, "false"},
        {Variant(12), Variant::Kind::Integer, "i:12"},
        {Variant(-7), Variant::Kind::Integer, "i:-7"},
        {Variant(1234.5), Variant::Kind::Double, "d:1234.5"},
        {Variant(Currency::fromRaw(125000)), Variant::Kind::Currency, "cy:12.5"},
        {Variant(Currency::fromRaw(-1)), Variant::Kind::Currency, "cy:-0.0001"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.v.kind(), r.kind) << r.described;
        EXPECT_EQ(r.v.describe(), r.described);
    }
}

TEST(Variants, CoerceToIntegerAndBooleanAsAServerReadsItsArguments) {
    EXPECT_EQ(Variant(3).toInt32(), 3);
    EXPECT_EQ(Variant(2.5).toInt32(), 2); // halves to even
    EXPECT_EQ(Variant(3.5).toInt32(), 4);
    EXPECT_EQ(Variant(Currency::fromRaw(19999)).toInt32(), 2);
    EXPECT_EQ(Variant(true).toInt32(), -1);
    EXPECT_EQ(Variant(" 42 ").toInt32(), 42);
    EXPECT_EQ(Variant().toInt32(), 0);
    EXPECT_THROW(Variant("4x").toInt32(), EOleError);
    EXPECT_THROW(Variant(1e12).toInt32(), EOleError);
    EXPECT_FALSE(Variant(0).toBool());
    EXPECT_TRUE(Variant(-1).toBool());
    EXPECT_THROW(Variant("true").toBool(), EOleError);
    // The exact accessors refuse another kind instead of converting.
    EXPECT_THROW(Variant(1).text(), EOleError);
    EXPECT_THROW(Variant("1").integer(), EOleError);
}

TEST_F(Servers, UnknownIdentifierFailsOnBothEntryPoints) {
    EXPECT_NE(failure([] { createOleObject("Nada.Application"); }).find("classe inv"),
              std::string::npos);
    EXPECT_NE(failure([] { getActiveObject("Nada.Application"); }).find("Nada.Application"),
              std::string::npos);
}

TEST_F(Servers, NothingRunningMeansAttachFailsButCreateWorks) {
    EXPECT_THROW(getActiveObject("Word.Application"), EOleError);
    AutoObject w = createOleObject("word.application"); // identifiers ignore case
    EXPECT_TRUE(w.bound());
    // A created instance is not one the user has running.
    EXPECT_THROW(getActiveObject("Word.Application"), EOleError);
}

TEST_F(Servers, AttachFindsTheRunningInstanceUntilItQuits) {
    AutoObject running = runServer("Excel.Application");
    AutoObject attached = getActiveObject("Excel.Application");
    EXPECT_EQ(attached.dispatch(), running.dispatch());
    attached.call("Quit");
    EXPECT_EQ(failure([&] { running.set("Visible", false); }),
              "O objeto invocado foi desconectado de seus clientes");
    EXPECT_THROW(getActiveObject("Excel.Application"), EOleError);
}

TEST_F(Servers, AnUnavailableServerCanNeitherBeAttachedNorStarted) {
    runServer("Word.Application");
    setServerAvailable("Word.Application", false);
    EXPECT_EQ(failure([] { getActiveObject("Word.Application"); }), "Classe n\xe3o registrada");
    EXPECT_EQ(failure([] { createOleObject("Word.Application"); }), "Classe n\xe3o registrada");
    // Excel is not affected.
    EXPECT_NO_THROW(createOleObject("Excel.Application"));
    setServerAvailable("Word.Application", true);
    EXPECT_NO_THROW(getActiveObject("Word.Application"));
}

TEST_F(Servers, MembersResolveIgnoringCaseAndAnyOtherNameFailsNamingIt) {
    AutoObject x = createOleObject("Excel.Application");
    x.set("visible", false);
    x.get("WORKBOOKS").call("add");
    x.set("cells", {1, 1}, "a");
    std::string m = failure([&] { x.call("Calculate"); });
    EXPECT_NE(m.find("'Calculate'"), std::string::npos) << m;
    m = failure([&] { x.get("ActiveWorkbook").call("PrintOut"); });
    EXPECT_NE(m.find("'PrintOut'"), std::string::npos) << m;
    m = failure([&] { createOleObject("Word.Application").get("Selection"); });
    EXPECT_NE(m.find("'Selection'"), std::string::npos) << m;
}

TEST_F(Servers, WrongCallShapesFailClearly) {
    AutoObject w = createOleObject("Word.Application");
    EXPECT_THROW(w.value("Visible"), EOleError);                  // assigned only
    EXPECT_THROW(w.set("Documents", 1), EOleError);               // read only
    EXPECT_THROW(w.get("Documents").call("Add", {1}), EOleError); // no arguments
    EXPECT_EQ(failure([&] { w.get("ActiveDocument"); }),
              "Este comando n\xe3o est\xe1 dispon\xedvel porque n\xe3o h\xe1 documentos abertos.");
    AutoObject none;
    EXPECT_THROW(none.call("Quit"), EOleError);
}

TEST_F(Servers, TheLogHoldsEveryCallWithTypedArgumentsAndFailures) {
    CallLog log;
    recordCalls("Word.Application", &log);
    EXPECT_THROW(getActiveObject("Word.Application"), EOleError);
    AutoObject w = createOleObject("Word.Application");
    w.set("Visible", false);
    w.get("Documents").call("Add");
    AutoObject doc = w.get("ActiveDocument");
    doc.get("PageSetup").set("Orientation", 1);
    doc.get("Tables").call("Add", {doc.get("Range"), 2, 3});
    doc.get("Tables")
        .get("Item", {1})
        .get("Cell", {2, 3})
        .get("Range")
        .call("InsertAfter", {Currency::fromRaw(15000)});
    EXPECT_THROW(doc.get("Tables").get("Item", {2}), EOleError);
    w.call("Quit");

    std::vector<std::string> expected = {
        "GetActiveObject(\"Word.Application\") !! Opera\xe7\xe3o indispon\xedvel",
        "CreateOleObject(\"Word.Application\")",
        "Visible := false",
        "Documents.Add()",
        "ActiveDocument.PageSetup.Orientation := i:1",
        "ActiveDocument.Tables.Add(<ActiveDocument.Range>, i:2, i:3)",
        "ActiveDocument.Tables.Item(i:1).Cell(i:2, i:3).Range.InsertAfter(cy:1.5)",
        "ActiveDocument.Tables.Item(i:2) !! O membro requisitado da cole\xe7\xe3o n\xe3o existe.",
        "Quit()",
    };
    EXPECT_EQ(log.lines(), expected);
    // Navigation is there too when asked for.
    auto all = log.lines(true);
    EXPECT_NE(std::find(all.begin(), all.end(), "ActiveDocument.PageSetup"), all.end());
    // The values keep their kinds.
    const RecordedCall& insert = *std::find_if(log.calls.begin(), log.calls.end(),
                                               [](auto& c) { return c.name == "InsertAfter"; });
    ASSERT_EQ(insert.args.size(), 1u);
    EXPECT_EQ(insert.args[0].kind(), Variant::Kind::Currency);
}

TEST_F(Servers, RecordingStopsWhenTheLogIsTakenAway) {
    CallLog log;
    recordCalls("Excel.Application", &log);
    AutoObject x = createOleObject("Excel.Application");
    recordCalls("Excel.Application", nullptr);
    createOleObject("Excel.Application").set("Visible", false);
    x.set("Visible", true); // handed out while recording: still recorded
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"CreateOleObject(\"Excel.Application\")",
                                                     "Visible := true"}));
}

TEST_F(Servers, ARegisteredServerReplacesTheBuiltInOne) {
    registerServer("Word.Application", newExcelApplication);
    AutoObject w = createOleObject("Word.Application");
    EXPECT_NO_THROW(w.get("Workbooks"));
    EXPECT_THROW(w.get("Documents"), EOleError);
}
