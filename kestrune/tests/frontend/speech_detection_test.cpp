// Speech detection: the noise floor, the three rules a frame must pass, and the rows kept.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>
#include <vector>

#include "core/frontend/speech_detection.h"

namespace kestrune {
namespace {

TEST(NoiseFloor, TenthPercentileAndSteadiness) {
    struct Case {
        const char* name;
        std::vector<float> levels;
        float floorDb;
        bool steady;
    };
    std::vector<float> ramp(101);
    std::iota(ramp.begin(), ramp.end(), -100.0f);  // -100 ... 0 dB
    std::vector<float> pauses(100, -60.0f);        // a third pauses at -60 dB, then speech
    for (size_t t = 33; t < pauses.size(); ++t) {
        pauses[t] = -20.0f + static_cast<float>(t % 7);
    }
    const Case cases[] = {
        {"no frames", {}, 0.0f, false},
        {"one frame", {-30.0f}, -30.0f, true},
        // The 5th to 25th percentiles span 20 dB: speech trimmed of its pauses.
        {"a ramp", ramp, -90.0f, false},
        {"pauses at a steady level", pauses, -60.0f, true},
    };
    for (const Case& c : cases) {
        const NoiseFloor floor = FindNoiseFloor(c.levels);
        EXPECT_EQ(floor.levelDb, c.floorDb) << c.name;
        EXPECT_EQ(floor.steady, c.steady) << c.name;
    }
}

// One level per rule: what each threshold keeps, in a table of configurations.
TEST(SpeechFrames, EachRuleSetsItsThreshold) {
    struct Case {
        const char* name;
        float rangeDb, floorDb, marginDb;
        std::vector<float> levels;
        NoiseFloor floor;
        std::vector<bool> speech;
    };
    const Case cases[] = {
        {"range below the loudest",
         20.0f,
         -90.0f,
         0.0f,
         {-10, -29, -30, -31, -80},
         {-80, true},
         {true, true, true, false, false}},
        {"absolute floor", 80.0f, -50.0f, 0.0f, {-45, -50, -51}, {-51, false}, {true, true, false}},
        {"noise margin over a steady floor",
         80.0f,
         -90.0f,
         3.0f,
         {-20, -56, -57, -60, -60},
         {-60, true},
         {true, true, true, false, false}},
        {"no margin without a steady floor",
         80.0f,
         -90.0f,
         3.0f,
         {-20, -56, -57, -60, -60},
         {-60, false},
         {true, true, true, true, true}},
        // Floor and loudest within twice the margin: the frames within the margin below the
        // loudest are kept.
        {"margin capped below the loudest",
         80.0f,
         -90.0f,
         3.0f,
         {-20, -22, -23, -24},
         {-22, true},
         {true, true, true, false}},
        {"silence", 40.0f, -55.0f, 3.0f, {-200, -200}, {-200, true}, {false, false}},
    };
    for (const Case& c : cases) {
        FrontEndConfig config;
        config.vadRangeDb = c.rangeDb;
        config.vadFloorDb = c.floorDb;
        config.vadNoiseMarginDb = c.marginDb;
        EXPECT_EQ(SpeechFrames(c.levels, c.floor, config), c.speech) << c.name;
    }
    EXPECT_TRUE(SpeechFrames({}, NoiseFloor{}, FrontEndConfig{}).empty());
}

TEST(SpeechFrames, RowsOfTheSpeechFramesInOrder) {
    FeatureMatrix all(5, 2);
    all << 0, 0, 1, 10, 2, 20, 3, 30, 4, 40;
    const FeatureMatrix kept = SpeechRows(all, {false, true, false, true, true});
    FeatureMatrix expected(3, 2);
    expected << 1, 10, 3, 30, 4, 40;
    EXPECT_EQ(kept, expected);
    EXPECT_EQ(SpeechRows(all, std::vector<bool>(5, false)).rows(), 0);
    EXPECT_EQ(SpeechRows(all, std::vector<bool>(5, false)).cols(), 2);
}

// Detection composed: levels, one floor, and the frames, consistent with each other.
TEST(SpeechFrames, DetectionUsesTheFloorOfItsOwnLevels) {
    const FrontEndConfig config;
    const Framing framing(config);
    std::vector<int16_t> samples(8000, 0);
    for (size_t n = 0; n < samples.size(); ++n) {
        const bool loud = (n / 800) % 2 == 1;
        samples[n] = static_cast<int16_t>((n % 2 == 0 ? 1 : -1) * (loud ? 4000 : 40));
    }
    const size_t frames = framing.FrameCount(samples.size());
    const SpeechDetection detection = DetectSpeech(framing, samples.data(), frames, config);
    ASSERT_EQ(detection.levels.size(), frames);
    const NoiseFloor floor = FindNoiseFloor(detection.levels);
    EXPECT_EQ(detection.floor.levelDb, floor.levelDb);
    EXPECT_EQ(detection.floor.steady, floor.steady);
    EXPECT_EQ(detection.speech, SpeechFrames(detection.levels, floor, config));
    // Five loud stretches of 800 samples: the frames that touch one (12 each, 10 for the last,
    // which the recording cuts short) are speech, the quiet ones 40 dB down are not.
    EXPECT_EQ(detection.SpeechCount(), 58u);
}

// The level leaves out the recording's DC offset but keeps what is heard at the lowest
// frequencies: a 10 Hz hum spans several frames, and a frame's own mean would take most of it
// away (which moved the noise floor under brown noise and rumble).
TEST(FrameLevels, DcOffsetIsRemovedButSlowSoundKeepsItsLevel) {
    const FrontEndConfig config;
    const Framing framing(config);
    const double amplitude = 8000.0;
    const double hertz = 10.0;
    std::vector<int16_t> hum(16000);
    std::vector<int16_t> shifted(hum.size());
    for (size_t n = 0; n < hum.size(); ++n) {
        const double x = amplitude * std::sin(2.0 * std::numbers::pi * hertz * n / 8000.0);
        hum[n] = static_cast<int16_t>(std::lround(x));
        shifted[n] = static_cast<int16_t>(std::lround(x + 9000.0));
    }
    const size_t frames = framing.FrameCount(hum.size());
    const std::vector<float> levels = FrameLevels(framing, hum.data(), frames);
    const std::vector<float> shiftedLevels = FrameLevels(framing, shifted.data(), frames);
    const double rms = 10.0 * std::log10(amplitude * amplitude / 2.0 / (32768.0 * 32768.0));
    const float mean =
        std::accumulate(levels.begin(), levels.end(), 0.0f) / static_cast<float>(frames);
    EXPECT_NEAR(mean, rms, 2.0);  // frame by frame the level follows the hum's slow swing
    for (size_t t = 0; t < frames; ++t) {
        EXPECT_NEAR(shiftedLevels[t], levels[t], 0.05) << "frame " << t;
    }
    const std::vector<int16_t> constant(4000, -12000);
    for (const float level : FrameLevels(framing, constant.data(), framing.FrameCount(4000))) {
        EXPECT_EQ(level, kSilentFrameDb);
    }
}

}  // namespace
}  // namespace kestrune
