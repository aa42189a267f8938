// The MFCC front end against known values: spectra of pure tones, a direct DFT, the speech
// detector on silence, and the recording's traits.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>

#include "core/frontend/front_end.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

using testing::Tone;

size_t ArgMax(const std::vector<float>& values) {
    return static_cast<size_t>(std::max_element(values.begin(), values.end()) - values.begin());
}

TEST(FrontEnd, PureTonePeaksAtItsBinAndInTheFilterCentredNearIt) {
    const FrontEnd frontEnd{FrontEndConfig{}};
    for (double hz : {250.0, 1000.0, 1937.5, 3000.0}) {
        const std::vector<int16_t> tone = Tone(hz, 0.025, 10000.0);
        const std::vector<float> frame(tone.begin(), tone.end());
        const std::vector<float> power = frontEnd.PowerSpectrum(frame.data());
        ASSERT_EQ(power.size(), 129u);
        EXPECT_EQ(ArgMax(power), static_cast<size_t>(std::lround(hz / 31.25))) << hz << " Hz";

        const std::vector<float> energies = frontEnd.LogFilterbank(power);
        size_t nearest = 0;
        for (uint32_t f = 0; f < energies.size(); ++f) {
            if (std::abs(frontEnd.FilterCentreHz(f) - hz) <
                std::abs(frontEnd.FilterCentreHz(nearest) - hz)) {
                nearest = f;
            }
        }
        EXPECT_EQ(ArgMax(energies), nearest) << hz << " Hz";
    }
}

TEST(FrontEnd, PowerSpectrumEqualsADirectDft) {
    const FrontEnd frontEnd{FrontEndConfig{}};
    std::vector<float> frame(200);
    for (size_t n = 0; n < frame.size(); ++n) {
        frame[n] = static_cast<float>(std::sin(0.3 * n) * 900.0 + std::cos(1.7 * n) * 300.0 +
                                      static_cast<double>((n * 7919) % 101) - 50.0);
    }
    const std::vector<float> power = frontEnd.PowerSpectrum(frame.data());
    for (size_t k : {0u, 1u, 10u, 64u, 100u, 128u}) {
        std::complex<double> sum = 0.0;
        for (size_t n = 0; n < frame.size(); ++n) {
            sum += static_cast<double>(frame[n]) *
                   std::polar(1.0, -2.0 * std::numbers::pi * k * n / 256.0);
        }
        EXPECT_NEAR(power[k], std::norm(sum), 1e-3 * std::norm(sum) + 1.0) << "bin " << k;
    }
}

TEST(FrontEnd, FrameLevelsAreInDecibelsOfFullScale) {
    const FrontEnd frontEnd{FrontEndConfig{}};
    // A sine's mean square is half its peak squared: -3 dB at full scale, -23 dB at a tenth.
    for (double amplitude : {32768.0, 3276.8}) {
        const std::vector<int16_t> tone = Tone(500.0, 0.1, std::min(amplitude, 32767.0));
        const std::vector<float> levels = frontEnd.FrameLevels(tone.data(), tone.size());
        ASSERT_FALSE(levels.empty());
        EXPECT_NEAR(levels[3], 20.0 * std::log10(amplitude / 32768.0) - 3.01, 0.05);
    }
    const std::vector<int16_t> silence(800, 0);
    EXPECT_EQ(frontEnd.FrameLevels(silence.data(), silence.size())[0], -200.0f);
}

TEST(FrontEnd, SilenceIsDropped) {
    const FrontEndConfig config;
    const FrontEnd frontEnd(config);
    // 0.5 s of digital silence, 1 s of voice, 0.5 s of faint hiss 50 dB below the voice.
    std::vector<int16_t> samples(4000, 0);
    const std::vector<int16_t> voice = testing::Tone(440.0, 1.0, 8000.0);
    samples.insert(samples.end(), voice.begin(), voice.end());
    for (int n = 0; n < 4000; ++n) {
        samples.push_back(static_cast<int16_t>(n % 2 == 0 ? 20 : -20));
    }
    ASSERT_EQ(frontEnd.FrameCount(samples.size()), 198u);
    const FeatureMatrix speech = frontEnd.Compute(samples.data(), samples.size());
    EXPECT_EQ(speech.cols(), 40);
    // The tone fills 8000 samples: 98 whole frames lie inside it, and frames that straddle its
    // edges may count; nothing of the silence or the hiss may.
    EXPECT_GE(speech.rows(), 98);
    EXPECT_LE(speech.rows(), 102);

    const std::vector<int16_t> nothing(8000, 0);
    EXPECT_EQ(frontEnd.Compute(nothing.data(), nothing.size()).rows(), 0);
    // Loud enough to be relative to itself, but below the absolute floor.
    const std::vector<int16_t> hiss = Tone(1000.0, 1.0, 20.0);
    EXPECT_EQ(frontEnd.Compute(hiss.data(), hiss.size()).rows(), 0);
}

TEST(FrontEnd, FramesNeedAWholeWindow) {
    const FrontEnd frontEnd{FrontEndConfig{}};
    const std::vector<int16_t> tone = Tone(700.0, 1.0, 8000.0);
    struct {
        size_t samples;
        Eigen::Index frames;
    } const cases[] = {{0, 0}, {199, 0}, {200, 1}, {279, 1}, {280, 2}, {8000, 98}};
    for (const auto& c : cases) {
        EXPECT_EQ(frontEnd.Compute(tone.data(), c.samples).rows(), c.frames) << c.samples;
    }
    EXPECT_EQ(frontEnd.Compute(nullptr, 1000).rows(), 0);
}

TEST(FrontEnd, DeltasOfASteadyToneVanish) {
    const FrontEnd frontEnd{FrontEndConfig{}};
    const std::vector<int16_t> tone = Tone(700.0, 0.5, 8000.0);
    const FeatureMatrix frames = frontEnd.Compute(tone.data(), tone.size());
    ASSERT_GT(frames.rows(), 20);
    const auto middle = frames.middleRows(5, frames.rows() - 10);
    EXPECT_LT(middle.rightCols(20).cwiseAbs().maxCoeff(), 0.05f);
    EXPECT_GT(middle.leftCols(20).cwiseAbs().maxCoeff(), 1.0f);
}

// Speech in bursts over a steady noise floor: with the noise-floor rule the noise between the
// bursts is dropped, without it (the plain range rule) it passes as speech.
TEST(FrontEnd, NoiseBetweenWordsIsNotSpeech) {
    std::vector<int16_t> samples;
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 300.0);
    for (int burst = 0; burst < 4; ++burst) {
        const std::vector<int16_t> voice = Tone(300.0 + 100.0 * burst, 0.3, 6000.0);
        for (int n = 0; n < 4000; ++n) {
            const double value = noise(random) + (n < 2400 ? voice[static_cast<size_t>(n)] : 0);
            samples.push_back(static_cast<int16_t>(std::lround(value)));
        }
    }
    FrontEndConfig plain;
    plain.vadNoiseMarginDb = 0.0f;
    const FrontEnd withFloor{FrontEndConfig{}};
    const FrontEnd without{plain};
    const Eigen::Index frames = static_cast<Eigen::Index>(withFloor.FrameCount(samples.size()));
    // The bursts fill 60 % of the time.
    EXPECT_LT(withFloor.Compute(samples.data(), samples.size()).rows(), frames * 2 / 3);
    EXPECT_GT(withFloor.Compute(samples.data(), samples.size()).rows(), frames / 2);
    EXPECT_EQ(without.Compute(samples.data(), samples.size()).rows(), frames);
}

TEST(FrontEnd, TraitsShowTheTelephoneBandAndTheNoise) {
    const FrontEnd frontEnd{FrontEndConfig{}};
    const auto traits = [&](const std::vector<int16_t>& samples) {
        RecordingTraits t;
        frontEnd.Compute(samples.data(), samples.size(), &t);
        return t;
    };
    // Two tones inside the telephone band against the same with a third below it.
    std::vector<int16_t> narrow = Tone(1000.0, 1.0, 5000.0);
    std::vector<int16_t> wide = narrow;
    const std::vector<int16_t> low = Tone(150.0, 1.0, 5000.0);
    for (size_t n = 0; n < wide.size(); ++n) {
        wide[n] = static_cast<int16_t>(wide[n] / 2 + low[n] / 2);
        narrow[n] = static_cast<int16_t>(narrow[n] / 2);
    }
    EXPECT_LT(traits(narrow).outOfBandDb, -40.0f);
    EXPECT_GT(traits(wide).outOfBandDb, -20.0f);

    // Speech with pauses of digital silence has a high ratio to its floor; the same with a
    // noise floor 20 dB down, about 20 dB.
    std::vector<int16_t> clean, noisy;
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 350.0);
    for (int burst = 0; burst < 4; ++burst) {
        const std::vector<int16_t> voice = Tone(500.0, 0.5, 5000.0);
        for (int n = 0; n < 8000; ++n) {
            const double value = n < 4000 ? voice[static_cast<size_t>(n)] : 0.0;
            clean.push_back(static_cast<int16_t>(value));
            noisy.push_back(static_cast<int16_t>(std::lround(value + noise(random))));
        }
    }
    EXPECT_EQ(traits(clean).snrDb, kMaxSnrDb);
    EXPECT_NEAR(traits(noisy).snrDb, 20.0f, 3.0f);
}

}  // namespace
}  // namespace kestrune
