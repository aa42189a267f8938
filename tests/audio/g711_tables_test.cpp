#include "audio/g711_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

namespace jkestrune {
namespace {

// The expansion rules, written out from their definition rather than from the tables.
int32_t ExpandALaw(uint32_t a) {
    const uint32_t v = a ^ 0x55;  // the even bits are transmitted inverted
    const int32_t mantissa = v & 0x0F;
    const int32_t segment = (v >> 4) & 0x07;
    const int32_t magnitude =
        segment == 0 ? 16 * mantissa + 8 : (16 * mantissa + 264) << (segment - 1);
    return (v & 0x80) != 0 ? magnitude : -magnitude;
}

int32_t ExpandMuLaw(uint32_t u) {
    const uint32_t v = ~u & 0xFF;  // all bits are transmitted inverted
    const int32_t mantissa = v & 0x0F;
    const int32_t segment = (v >> 4) & 0x07;
    const int32_t biased = (8 * mantissa + 132) << segment;
    return (v & 0x80) != 0 ? 132 - biased : biased - 132;
}

// The value an entry holds: its low 16 bits as two's complement.
int32_t Value(uint32_t entry) {
    return static_cast<int16_t>(entry & 0xFFFF);
}

TEST(G711Tables, EveryEntryFollowsTheExpansionRule) {
    for (uint32_t code = 0; code < 256; ++code) {
        SCOPED_TRACE(code);
        EXPECT_EQ(kALawToLinear[code] >> 16, 0u) << "A-law high bits";
        EXPECT_EQ(kMuLawToLinear[code] >> 16, 0u) << "mu-law high bits";
        EXPECT_EQ(Value(kALawToLinear[code]), ExpandALaw(code)) << "A-law";
        EXPECT_EQ(Value(kMuLawToLinear[code]), ExpandMuLaw(code)) << "mu-law";
    }
}

TEST(G711Tables, FixedValues) {
    const struct {
        const uint32_t* table;
        uint32_t code;
        int32_t value;
    } cases[] = {
        {kALawToLinear, 0xD5, 8},       {kALawToLinear, 0x55, -8},     {kALawToLinear, 0xAA, 32256},
        {kALawToLinear, 0x2A, -32256},  {kMuLawToLinear, 0xFF, 0},     {kMuLawToLinear, 0x7F, 0},
        {kMuLawToLinear, 0x00, -32124}, {kMuLawToLinear, 0x80, 32124},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Value(c.table[c.code]), c.value) << "code " << c.code;
    }
}

// Properties of the codes that hold whatever the rule's arithmetic: bit 7 (after the inversion)
// is the sign, and the other seven bits order the magnitudes.
TEST(G711Tables, SignBitMirrorsAndMagnitudesIncrease) {
    std::set<int32_t> aLawValues;
    for (uint32_t v = 0; v < 128; ++v) {
        SCOPED_TRACE(v);
        const uint32_t positiveALaw = (v | 0x80) ^ 0x55;
        const uint32_t positiveMuLaw = ~v & 0xFF;  // μ-law's sign bit is set for negatives
        EXPECT_EQ(Value(kALawToLinear[positiveALaw]), -Value(kALawToLinear[positiveALaw ^ 0x80]));
        EXPECT_EQ(Value(kMuLawToLinear[positiveMuLaw]),
                  -Value(kMuLawToLinear[positiveMuLaw ^ 0x80]));
        if (v > 0) {
            const uint32_t previousALaw = ((v - 1) | 0x80) ^ 0x55;
            const uint32_t previousMuLaw = ~(v - 1) & 0xFF;
            EXPECT_GT(Value(kALawToLinear[positiveALaw]), Value(kALawToLinear[previousALaw]));
            EXPECT_GT(Value(kMuLawToLinear[positiveMuLaw]), Value(kMuLawToLinear[previousMuLaw]));
        }
        aLawValues.insert(Value(kALawToLinear[positiveALaw]));
        aLawValues.insert(Value(kALawToLinear[positiveALaw ^ 0x80]));
    }
    EXPECT_EQ(aLawValues.size(), 256u) << "A-law has no code for 0, so no two codes agree";
}

}  // namespace
}  // namespace jkestrune
