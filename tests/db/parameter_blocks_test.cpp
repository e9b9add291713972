// The parameter lines a user or the main window writes, and the bytes the
// server receives for them.
#include "db/FbDatabase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

int clientErrorOf(const std::function<void()>& f, std::string* message = nullptr) {
    try {
        f();
    } catch (const EFbClientError& e) {
        if (message) *message = e.what();
        EXPECT_EQ(e.IBErrorCode(), 0);
        return e.SQLCode();
    }
    return -1;
}

} // namespace

TEST(DatabaseParameterBlock, TheMainWindowsTwoLinesGiveUserAndPasswordClumps) {
    std::string dpb = GenerateDPB({"user_name=SYSDBA", "password=plumtower"});
    EXPECT_EQ(dpb, bytes({1, 28, 6}) + "SYSDBA" + bytes({29, 9}) + "plumtower");
}

TEST(DatabaseParameterBlock, AnEmptyPasswordGivesAClumpOfLengthZero) {
    EXPECT_EQ(GenerateDPB({"user_name=ANA", "password="}),
              bytes({1, 28, 3}) + "ANA" + bytes({29, 0}));
}

TEST(DatabaseParameterBlock, PrefixedAndUpperCaseNamesAreTheSameParameter) {
    std::string expected = bytes({1, 28, 3}) + "ana";
    EXPECT_EQ(GenerateDPB({"isc_dpb_user_name=ana"}), expected);
    EXPECT_EQ(GenerateDPB({"USER_NAME=ana"}), expected);
    EXPECT_EQ(GenerateDPB({"ISC_DPB_User_Name=ana"}), expected);
}

TEST(DatabaseParameterBlock, ValuesKeepEverythingAfterTheFirstEqualsSign) {
    EXPECT_EQ(GenerateDPB({"password= a=b "}), bytes({1, 29, 5}) + " a=b ");
}

TEST(DatabaseParameterBlock, BlankLinesAndLinesWithoutEqualsSignAreSkipped) {
    EXPECT_EQ(GenerateDPB({"", "   ", "user_name=X", "no equals here", "\t"}),
              bytes({1, 28, 1}) + "X");
    EXPECT_EQ(GenerateDPB({}), bytes({1}));
}

TEST(DatabaseParameterBlock, EachEncodingGroupWritesItsClump) {
    struct Case {
        const char* line;
        std::string clump;
    } cases[] = {
        {"lc_ctype=WIN1252", bytes({48, 7}) + "WIN1252"},
        {"sql_role_name=R", bytes({60, 1}) + "R"},
        {"sql_dialect=3", bytes({63, 1, 3})},
        {"sql_dialect=1", bytes({63, 1, 1})},
        {"num_buffers=300", bytes({5, 1, 300 & 0xFF})},
        {"force_write=1", bytes({24, 1, 1})},
        {"no_reserve=0", bytes({27, 1, 0})},
        {"sweep=anything", bytes({10, 1, 2})},
        {"sweep_interval=20000", bytes({22, 4, 0x20, 0x4E, 0, 0})},
        {"sweep_interval=-1", bytes({22, 4, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"activate_shadow=", bytes({21, 1, 0})},
        {"quit_log=yes", bytes({26, 1, 0})},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GenerateDPB({c.line}), bytes({1}) + c.clump) << c.line;
}

TEST(DatabaseParameterBlock, RecognisedButUnsupportedNamesAreRefusedWithError11) {
    std::string message;
    EXPECT_EQ(clientErrorOf([] { GenerateDPB({"page_size=8192"}); }, &message), 11);
    EXPECT_EQ(message, "DPB Constant (isc_dpb_page_size) is unsupported");
    EXPECT_EQ(clientErrorOf([] { GenerateDPB({"ISC_DPB_ADDRESS_PATH=x"}); }, &message), 11);
    EXPECT_EQ(message, "DPB Constant (isc_dpb_address_path) is unsupported");
}

TEST(DatabaseParameterBlock, UnknownNamesAreRefusedWith114NamingTheLineAsWritten) {
    std::string message;
    EXPECT_EQ(clientErrorOf([] { GenerateDPB({"user_name=A", "Colour=red"}); }, &message), 114);
    EXPECT_EQ(message, "DPB Constant (Colour) is unknown");
    // The name is not trimmed: a leading blank makes it unknown.
    EXPECT_EQ(clientErrorOf([] { GenerateDPB({" user_name=A"}); }, &message), 114);
    EXPECT_EQ(message, "DPB Constant ( user_name) is unknown");
}

TEST(DatabaseParameterBlock, NumbersThatAreNotIntegersFailTheConversion) {
    EXPECT_THROW(GenerateDPB({"num_buffers=many"}), std::invalid_argument);
    EXPECT_THROW(GenerateDPB({"sweep_interval=12x"}), std::invalid_argument);
    EXPECT_THROW(GenerateDPB({"num_buffers="}), std::invalid_argument);
}

TEST(DatabaseParameterBlock, TextValuesOver255BytesAreRefusedNotCut) {
    EXPECT_EQ(GenerateDPB({"password=" + std::string(255, 'p')}).size(), 1u + 2u + 255u);
    std::string message;
    EXPECT_EQ(clientErrorOf([] { GenerateDPB({"password=" + std::string(256, 'p')}); }, &message),
              fbceDPBValueTooLong);
    EXPECT_EQ(message, "DPB value of isc_dpb_password is longer than 255 bytes");
}

TEST(TransactionParameterBlock, NoLinesGiveAnEmptyBlock) {
    EXPECT_EQ(GenerateTPB({}), "");
}

TEST(TransactionParameterBlock, ReadCommittedRecVersionNowait) {
    std::string expected = bytes({3, 15, 17, 7});
    EXPECT_EQ(GenerateTPB({"read_committed", "rec_version", "nowait"}), expected);
    EXPECT_EQ(GenerateTPB({"read_committed", "", "rec_version", "nowait"}), expected);
    EXPECT_EQ(GenerateTPB({"isc_tpb_read_committed", "REC_VERSION", "NoWait"}), expected);
}

TEST(TransactionParameterBlock, TableReservationsCarryTheTableName) {
    EXPECT_EQ(GenerateTPB({"write", "lock_write=T1"}), bytes({3, 9, 11, 2}) + "T1");
    EXPECT_EQ(GenerateTPB({"lock_read=CLIENTES", "concurrency"}),
              bytes({3, 10, 8}) + "CLIENTES" + bytes({2}));
    std::string message;
    EXPECT_EQ(clientErrorOf([] { GenerateTPB({"lock_write=" + std::string(300, 'T')}); }, &message),
              fbceTPBValueTooLong);
    EXPECT_EQ(message, "TPB value of isc_tpb_lock_write is longer than 255 bytes");
}

TEST(TransactionParameterBlock, RefusedAndUnknownNames) {
    std::string message;
    EXPECT_EQ(clientErrorOf([] { GenerateTPB({"autocommit"}); }, &message), 13);
    EXPECT_EQ(message, "TPB Constant (isc_tpb_autocommit) is unsupported");
    for (const char* name :
         {"verb_time", "commit_time", "restart_requests", "no_auto_undo", "lock_timeout=5"})
        EXPECT_EQ(clientErrorOf([&] { GenerateTPB({name}); }), 13) << name;
    EXPECT_EQ(clientErrorOf([] { GenerateTPB({"Snapshot=yes"}); }, &message), 115);
    EXPECT_EQ(message, "TPB Constant (Snapshot) is unknown");
}

TEST(TransactionParameterBlock, EverySingleTagName) {
    struct Case {
        const char* name;
        int tag;
    } cases[] = {
        {"consistency", 1},    {"concurrency", 2},   {"shared", 3},          {"protected", 4},
        {"exclusive", 5},      {"wait", 6},          {"nowait", 7},          {"read", 8},
        {"write", 9},          {"ignore_limbo", 14}, {"read_committed", 15}, {"rec_version", 17},
        {"no_rec_version", 18}};
    for (const Case& c : cases)
        EXPECT_EQ(GenerateTPB({c.name}), bytes({3, c.tag})) << c.name;
}
