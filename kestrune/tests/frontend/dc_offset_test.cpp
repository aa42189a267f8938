// A DC offset (a constant added to every sample, as some recorders and sound cards add) is no
// sound: it must change neither which frames count as speech, nor the recording's traits, nor
// its features, and alone it holds no speech.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/frontend/front_end.h"
#include "frontend/corpus_samples.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

constexpr int kOffset = 9830;  // 0.3 of full scale

struct Recording {
    std::string name;
    std::vector<int16_t> samples;
};

// Real speech from data/fsdd, a synthetic voice, and the voice over steady noise (a finite SNR).
std::vector<Recording> Recordings() {
    std::vector<Recording> recordings = {
        {"fsdd 3_jackson_20", testing::CorpusSamples(3, "jackson", 20)},
        {"fsdd 7_theo_44", testing::CorpusSamples(7, "theo", 44)},
        {"fsdd 0_george_5", testing::CorpusSamples(0, "george", 5)},
        {"synthetic voice", testing::Speak(testing::MakeVoice(2), 3.0, 4)},
    };
    std::vector<int16_t> noisy = testing::Speak(testing::MakeVoice(0), 3.0, 8);
    std::mt19937 random(6);
    std::normal_distribution<double> noise(0.0, 200.0);
    for (int16_t& sample : noisy) {
        sample = static_cast<int16_t>(std::clamp(sample + noise(random), -20000.0, 20000.0));
    }
    recordings.push_back({"synthetic voice in noise", noisy});
    return recordings;
}

// `samples` scaled, if need be, so that `offset` can be added to every sample without clipping.
std::vector<int16_t> RoomFor(const std::vector<int16_t>& samples, int offset) {
    int peak = 0;
    for (int16_t sample : samples) {
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    const int room = 32767 - std::abs(offset);
    std::vector<int16_t> scaled(samples);
    if (peak > room) {
        for (int16_t& sample : scaled) {
            sample = static_cast<int16_t>(sample * room / peak);
        }
    }
    return scaled;
}

std::vector<int16_t> WithOffset(const std::vector<int16_t>& samples, int offset) {
    std::vector<int16_t> shifted(samples);
    for (int16_t& sample : shifted) {
        sample = static_cast<int16_t>(sample + offset);
    }
    return shifted;
}

TEST(DcOffset, ChangesNeitherSpeechFramesNorTraitsNorFeatures) {
    const FrontEnd frontEnd{FrontEndConfig{}};
    for (const Recording& recording : Recordings()) {
        ASSERT_GT(recording.samples.size(), 2000u) << recording.name << " could not be read";
        for (int offset : {kOffset, -kOffset}) {
            SCOPED_TRACE(recording.name + ", offset " + std::to_string(offset));
            const std::vector<int16_t> plain = RoomFor(recording.samples, offset);
            const std::vector<int16_t> shifted = WithOffset(plain, offset);

            const std::vector<float> levels = frontEnd.FrameLevels(plain.data(), plain.size());
            const std::vector<float> levelsShifted =
                frontEnd.FrameLevels(shifted.data(), shifted.size());
            ASSERT_EQ(levels.size(), levelsShifted.size());
            for (size_t t = 0; t < levels.size(); ++t) {
                ASSERT_NEAR(levels[t], levelsShifted[t], 1e-3f) << "frame " << t;
            }
            const std::vector<bool> speech = frontEnd.SpeechFrames(levels);
            EXPECT_EQ(frontEnd.SpeechFrames(levelsShifted), speech);
            EXPECT_GT(std::count(speech.begin(), speech.end(), true), 10);

            RecordingTraits traits, traitsShifted;
            const FeatureMatrix features = frontEnd.Compute(plain.data(), plain.size(), &traits);
            const FeatureMatrix featuresShifted =
                frontEnd.Compute(shifted.data(), shifted.size(), &traitsShifted);
            EXPECT_NEAR(traitsShifted.snrDb, traits.snrDb, 1e-3f);
            EXPECT_NEAR(traitsShifted.outOfBandDb, traits.outOfBandDb, 1e-3f);
            EXPECT_NEAR(traitsShifted.levelSpreadDb, traits.levelSpreadDb, 1e-3f);
            ASSERT_EQ(featuresShifted.rows(), features.rows());
            EXPECT_LT((featuresShifted - features).cwiseAbs().maxCoeff(), 1e-3f);
        }
    }
}

// Silence and constants of any level: no frame has a level, none is speech, nothing is
// measured. A tone keeps its level whatever offset it rides on.
TEST(DcOffset, ConstantsHoldNoSpeechAndTonesKeepTheirLevel) {
    const FrontEnd frontEnd{FrontEndConfig{}};
    for (int16_t constant : {int16_t{0}, int16_t{1}, int16_t{kOffset}, int16_t{-32768}}) {
        const std::vector<int16_t> samples(16000, constant);
        const std::vector<float> levels = frontEnd.FrameLevels(samples.data(), samples.size());
        EXPECT_TRUE(std::all_of(levels.begin(), levels.end(), [](float level) {
            return level == kSilentFrameDb;
        })) << constant;
        RecordingTraits traits;
        EXPECT_EQ(frontEnd.Compute(samples.data(), samples.size(), &traits).rows(), 0) << constant;
        EXPECT_EQ(traits.snrDb, 0.0f) << constant;
        EXPECT_EQ(traits.levelSpreadDb, 0.0f) << constant;
    }
    const std::vector<int16_t> tone = testing::Tone(1000.0, 0.5, 3276.8);
    const std::vector<float> plain = frontEnd.FrameLevels(tone.data(), tone.size());
    const std::vector<int16_t> shifted = WithOffset(tone, kOffset);
    const std::vector<float> levels = frontEnd.FrameLevels(shifted.data(), shifted.size());
    for (size_t t = 0; t < levels.size(); ++t) {
        EXPECT_NEAR(levels[t], -23.01f, 0.05f) << "frame " << t;
        EXPECT_NEAR(levels[t], plain[t], 1e-3f) << "frame " << t;
    }
    // The smallest signal on the largest offset: ±0.5 around 32766.5, 96.3 dB below full scale.
    std::vector<int16_t> edge(800);
    for (size_t n = 0; n < edge.size(); ++n) {
        edge[n] = static_cast<int16_t>(n % 2 == 0 ? 32766 : 32767);
    }
    for (float level : frontEnd.FrameLevels(edge.data(), edge.size())) {
        EXPECT_NEAR(level, 20.0 * std::log10(0.5 / 32768.0), 1e-3);
    }
}

}  // namespace
}  // namespace kestrune
