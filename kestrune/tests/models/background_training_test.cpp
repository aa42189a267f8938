// The number of components chosen from the amount of background speech.
#include <gtest/gtest.h>

#include "core/models/background_training.h"

namespace kestrune {
namespace {

TEST(ComponentsForSpeech, PowersOfTwoWithTwoSecondsOfSpeechEachWithinTheBounds) {
    const struct {
        int64_t frames;
        uint32_t components;
    } cases[] = {
        {0, 8},                   // nothing to go by: the fewest
        {16 * 200 - 1, 8},        // one frame short of 16 components' worth
        {16 * 200, 16},           // enough for 16
        {19978, 64},              // the digit protocol's 200 s: 99 components' worth
        {256 * 200 - 1, 128},     // one frame short of 256
        {256 * 200, 256},         // 512 s
        {120189, 256},            // 20 min: the most, never 512
        {int64_t{1} << 40, 256},  // no overflow on absurd amounts
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ComponentsForSpeech(c.frames), c.components) << c.frames << " frames";
    }
}

}  // namespace
}  // namespace kestrune
