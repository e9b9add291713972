// Value holders over descriptors that no well-behaved server sends: each
// case is an input the fuzzer found to crash or to overflow, kept so that
// the reading stays safe.
#include "db/Fb.h"
#include "db/FbSQL.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

/// One described column of a free-standing collection, its data area
/// allocated by the holder as after a describe.
struct Column {
    TFbXSQLDA da{nullptr, true};
    XSQLVAR* x = nullptr;

    Column(short type, short scale, short len, const char* name = "C") {
        da.SetCount(1);
        x = &da.AsXSQLDA()->sqlvar[0];
        x->sqltype = type;
        x->sqlscale = scale;
        x->sqllen = len;
        x->aliasname_length = static_cast<short>(std::strlen(name));
        std::memcpy(x->aliasname, name, std::strlen(name));
        x->sqlname_length = x->aliasname_length;
        std::memcpy(x->sqlname, name, std::strlen(name));
        da.Initialize();
    }
    TFbXSQLVAR& var() { return da[0]; }
    template <class T> void store(T value) { std::memcpy(x->sqldata, &value, sizeof value); }
};

TEST(HostileDescriptors, ATextWithANegativeLengthReadsAsEmpty) {
    // Used to ask for a data area of nearly 2^64 bytes and abort.
    Column varying(SQL_VARYING, 0, -27);
    EXPECT_EQ(varying.var().AsString(), "");
    Column fixed(SQL_TEXT, 0, -1);
    EXPECT_EQ(fixed.var().AsString(), "");
}

TEST(HostileDescriptors, NumbersDescribedShorterThanTheirTypeReadWhole) {
    // The area used to follow the claimed length, and the reader took the
    // whole value from behind its end.
    Column big(SQL_INT64, 0, 1);
    big.store<std::int64_t>(1234567890123LL);
    EXPECT_EQ(big.var().AsInt64(), 1234567890123LL);
    Column real(SQL_DOUBLE, 0, 0);
    real.store(2.5);
    EXPECT_EQ(real.var().AsDouble(), 2.5);
    Column blob(SQL_BLOB, 0, 3);
    blob.store(ISC_QUAD{7, 9});
    EXPECT_EQ(blob.var().AsQuad().gds_quad_high, 7);
    EXPECT_EQ(blob.var().AsQuad().gds_quad_low, 9u);
}

TEST(HostileDescriptors, MoreDecimalsThanA64BitIntegerHasDigits) {
    // Ten to the power of the decimals used to overflow past 18.
    struct Case {
        short scale;
        std::int64_t stored;
        std::int64_t asInt64;
        double asDouble;
    };
    const Case cases[] = {
        {-18, 1'500'000'000'000'000'000LL, 1, 1.5},
        {-19, 9'000'000'000'000'000'000LL, 0, 0.9},
        {-30, -123, 0, -1.23e-28},
        {-32768, 42, 0, 0.0},
        // A positive scale: its text once asked for a string of 2^64 zeros.
        {4, -7, -7, -7e4},
    };
    for (const Case& c : cases) {
        Column col(SQL_INT64, c.scale, 8);
        col.store(c.stored);
        EXPECT_EQ(col.var().AsInt64(), c.asInt64) << c.scale;
        EXPECT_NEAR(col.var().AsDouble(), c.asDouble, std::fabs(c.asDouble) * 1e-12) << c.scale;
        EXPECT_FALSE(col.var().AsString().empty()) << c.scale;
        if (c.scale < -18) {
            EXPECT_THROW(col.var().AsCurrency(), EFbClientError) << c.scale;
        }
    }
}

TEST(HostileDescriptors, ARowKeyWrittenIntoAVaryingEntryKeepsItsLengthWord) {
    // The key's bytes used to fill an area without room for the length
    // word, and reading it back ran two bytes past the area.
    TFbXSQLDA params(nullptr, false);
    params.SetCount(1);
    XSQLVAR& x = params.AsXSQLDA()->sqlvar[0];
    x.sqltype = SQL_VARYING + 1;
    x.sqllen = 8;
    std::memcpy(x.sqlname, "DB_KEY", 6);
    x.sqlname_length = 6;
    params.Initialize({"K"});
    params[0].SetAsString("\x01\x02\x03\x04\x05\x06\x07\x08\x09");
    EXPECT_EQ(params[0].AsString(), "\x01\x02\x03\x04\x05\x06\x07\x08");
    params[0].SetAsString("ab");
    EXPECT_EQ(params[0].AsString(), "ab");

    x.sqllen = -8;
    params.Initialize({"K"});
    params[0].SetAsString("abc");
    EXPECT_EQ(params[0].AsString(), "");
}

} // namespace
