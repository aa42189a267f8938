// Framing and spectrum: how many frames a recording gives, what each frame becomes before its
// spectrum is taken, and the spectrum itself.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "core/frontend/framing.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

TEST(Framing, CountsOnlyWholeFrames) {
    FrontEndConfig config;
    config.frameLength = 200;
    config.frameShift = 80;
    const Framing framing(config);
    struct {
        size_t samples;
        size_t frames;
    } const cases[] = {{0, 0},   {199, 0}, {200, 1}, {279, 1},
                       {280, 2}, {359, 2}, {360, 3}, {8000, 98}};
    for (const auto& c : cases) {
        EXPECT_EQ(framing.FrameCount(c.samples), c.frames) << c.samples << " samples";
    }
}

// The frame's own mean is its DC offset: a constant added to every sample must not reach the
// spectrum, wherever the frame lies.
TEST(Framing, AnOffsetDoesNotReachThePreparedFrame) {
    const FrontEndConfig config;
    const Framing framing(config);
    const std::vector<int16_t> tone = testing::Tone(440.0, 0.2, 8000.0);
    for (int offset : {-9830, -1, 1, 9830}) {
        std::vector<int16_t> shifted(tone);
        for (int16_t& sample : shifted) {
            sample = static_cast<int16_t>(sample + offset);
        }
        for (size_t t : {size_t{0}, size_t{7}, framing.FrameCount(tone.size()) - 1}) {
            std::vector<float> plain(config.frameLength), moved(config.frameLength);
            framing.Prepare(tone.data(), t, plain.data());
            framing.Prepare(shifted.data(), t, moved.data());
            for (uint32_t i = 0; i < config.frameLength; ++i) {
                ASSERT_NEAR(moved[i], plain[i], 1e-2f) << "offset " << offset << ", frame " << t;
            }
        }
    }
}

// A constant frame is all DC: nothing is left of it. A step from -a to +a is pre-emphasised
// into one spike at the step, shaped by the Hamming window (0.08 at the ends, 1 in the middle).
TEST(Framing, PreparedFrameIsPreEmphasisedAndWindowed) {
    FrontEndConfig config;
    config.frameLength = 101;
    config.frameShift = 101;
    config.preEmphasis = 0.5f;
    const Framing framing(config);
    std::vector<float> frame(config.frameLength);

    const std::vector<int16_t> constant(101, 1234);
    framing.Prepare(constant.data(), 0, frame.data());
    for (float value : frame) {
        EXPECT_EQ(value, 0.0f);
    }

    std::vector<int16_t> step(101, -100);
    std::fill(step.begin() + 50, step.end(), int16_t{100});
    framing.Prepare(step.data(), 0, frame.data());
    const double mean = (50 * -100.0 + 51 * 100.0) / 101.0;
    // The first sample is emphasised against itself: (x0 - m)(1 - 0.5) × 0.08.
    EXPECT_NEAR(frame[0], (-100.0 - mean) * 0.5 * 0.08, 1e-3);
    // Inside a run, x - 0.5 x = 0.5 x; at the step, x50 - 0.5 x49.
    EXPECT_NEAR(frame[50], ((100.0 - mean) - 0.5 * (-100.0 - mean)) * 1.0, 1e-3);
    const double window49 = 0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * 49 / 100);
    EXPECT_NEAR(frame[49], (-100.0 - mean) * 0.5 * window49, 1e-3);
    EXPECT_NEAR(frame[100], (100.0 - mean) * 0.5 * 0.08, 1e-3);
}

// Parseval over the zero-padded frame, and the frame's length respected: samples beyond it must
// not leak into the spectrum from an earlier, longer frame.
TEST(Framing, SpectrumKeepsTheFramesEnergyAndOnlyItsSamples) {
    SpectrumAnalyser analyser(256);
    std::vector<float> frame(256, 0.0f);
    for (size_t n = 0; n < frame.size(); ++n) {
        frame[n] = static_cast<float>(std::sin(0.21 * static_cast<double>(n)) * 1000.0);
    }
    std::vector<float> power;
    analyser.PowerSpectrum(frame.data(), 256, power);
    ASSERT_EQ(power.size(), 129u);

    const auto energy = [](const std::vector<float>& x, size_t count) {
        double sum = 0.0;
        for (size_t n = 0; n < count; ++n) {
            sum += static_cast<double>(x[n]) * x[n];
        }
        return sum;
    };
    const auto spectral = [](const std::vector<float>& p) {
        // Both halves of the full spectrum: every bin but DC and Nyquist counts twice.
        double sum = p.front() + p.back();
        for (size_t b = 1; b + 1 < p.size(); ++b) {
            sum += 2.0 * p[b];
        }
        return sum / 256.0;
    };
    EXPECT_NEAR(spectral(power), energy(frame, 256), 1e-4 * energy(frame, 256));

    analyser.PowerSpectrum(frame.data(), 100, power);
    EXPECT_NEAR(spectral(power), energy(frame, 100), 1e-4 * energy(frame, 100));
}

}  // namespace
}  // namespace kestrune
