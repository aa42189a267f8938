// The rounding of the targets' panels to bfloat16.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/scoring/bfloat16.h"

namespace kestrune {
namespace {

TEST(Bfloat16, RoundsToNearestWithTiesToEven) {
    // Around 1 (0x3f80) the step is 2^-7: halfway values go to the even neighbour, anything
    // past halfway up, anything short of it down; the sign is kept; beyond the largest finite
    // bfloat16 a float rounds to infinity, as IEEE rounding does.
    struct Case {
        float value;
        uint16_t expected;
    } const cases[] = {
        {1.0f, 0x3f80},
        {1.0f + 0x1p-8f, 0x3f80},      // halfway, 0x3f80 is even
        {1.0f + 3 * 0x1p-8f, 0x3f82},  // halfway, 0x3f82 is even
        {1.0f + 0x1p-8f + 0x1p-20f, 0x3f81},
        {1.0f + 0x1p-8f - 0x1p-20f, 0x3f80},
        {-1.0f - 0x1p-8f - 0x1p-20f, 0xbf81},
        {0.0f, 0x0000},
        {-0.0f, 0x8000},
        {std::numeric_limits<float>::max(), 0x7f80},
        {std::numeric_limits<float>::infinity(), 0x7f80},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToBfloat16(c.value), c.expected) << c.value;
    }
}

TEST(Bfloat16, NotANumberStaysNotANumber) {
    // A NaN whose payload lies only in the low half would become infinity if rounded as a number.
    for (const uint32_t bits : {0x7fc00000u, 0x7f800001u, 0xff80ffffu, 0x7fffffffu}) {
        const float nan = std::bit_cast<float>(bits);
        EXPECT_TRUE(std::isnan(FromBfloat16(ToBfloat16(nan)))) << std::hex << bits;
    }
}

TEST(Bfloat16, ValuesItHoldsComeBackExactly) {
    for (const float value : {1.0f, -2.5f, 0.0078125f, 3.0e38f, -1.0e-30f, 1.5f * 0x1p-126f}) {
        const float held = FromBfloat16(ToBfloat16(value));
        EXPECT_EQ(FromBfloat16(ToBfloat16(held)), held) << value;
        EXPECT_NEAR(held, value, std::abs(value) * 0x1p-8f) << value;
    }
}

}  // namespace
}  // namespace kestrune
