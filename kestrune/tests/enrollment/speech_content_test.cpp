// What enrollment refuses as holding no speech (silence, pure DC, steady tones and square
// waves), what it accepts (speech, also on a DC offset), and that an offset changes no score.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "core/enrollment/enrollment.h"
#include "core/enrollment/speech_content.h"
#include "core/scoring/rates.h"
#include "core/scoring/trial_scoring.h"
#include "frontend/corpus_samples.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

using testing::MakeVoice;
using testing::Speak;

constexpr int kOffset = 9830;  // 0.3 of full scale

const testing::SmallBackground& FourVoices() {
    static const testing::SmallBackground background = testing::TrainSmallBackground(4, 8, 100);
    return background;
}

Background Ubm() {
    return Background(FourVoices().model, FourVoices().fingerprint);
}

std::vector<int16_t> WithOffset(std::vector<int16_t> samples, int offset) {
    for (int16_t& sample : samples) {
        sample = static_cast<int16_t>(std::clamp(sample + offset, -32768, 32767));
    }
    return samples;
}

// `samples` scaled down, if need be, so that kOffset can be added without clipping.
std::vector<int16_t> WithRoomForTheOffset(std::vector<int16_t> samples) {
    int peak = 1;
    for (int16_t sample : samples) {
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    const int room = 32767 - kOffset;
    for (int16_t& sample : samples) {
        sample = static_cast<int16_t>(peak > room ? sample * room / peak : sample);
    }
    return samples;
}

std::vector<int16_t> Square(double hz, double seconds, int16_t amplitude) {
    std::vector<int16_t> samples(static_cast<size_t>(seconds * 8000.0));
    for (size_t n = 0; n < samples.size(); ++n) {
        const bool high = std::fmod(hz * static_cast<double>(n) / 8000.0, 1.0) < 0.5;
        samples[n] = high ? amplitude : static_cast<int16_t>(-amplitude);
    }
    return samples;
}

// Each of these, as the second of two recordings after real-sounding speech, is refused with
// a message that names it and says why.
TEST(SpeechContent, RecordingsWithoutSpeechAreRefusedByName) {
    const Background ubm = Ubm();
    struct Case {
        const char* name;
        std::vector<int16_t> samples;
        const char* says;
    };
    const Case cases[] = {
        {"digital silence", std::vector<int16_t>(40000, 0), "holds no speech"},
        {"pure DC at 0.3 of full scale", std::vector<int16_t>(40000, kOffset), "holds no speech"},
        {"shorter than a frame", Speak(MakeVoice(1), 0.02, 3), "holds no speech"},
        {"a 440 Hz tone", testing::Tone(440.0, 5.0, 10000.0), "steady sound"},
        {"a 1 kHz tone on a DC offset", WithOffset(testing::Tone(1000.0, 5.0, 8000.0), kOffset),
         "steady sound"},
        {"a 100 Hz square wave", Square(100.0, 5.0, 8000), "steady sound"},
        {"a 50 Hz square wave", Square(50.0, 5.0, 20000), "steady sound"},
    };
    for (const Case& c : cases) {
        const EnrollmentSpeech speech =
            PrepareEnrollmentSpeech(ubm, {Speak(MakeVoice(1), 4.0, 9), c.samples});
        TargetModel model;
        std::string error;
        EXPECT_FALSE(EnrollTarget(ubm, speech, EnrollmentOptions{}, model, error)) << c.name;
        EXPECT_NE(error.find("recording 2 of 2 "), std::string::npos) << c.name << ": " << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
    }
}

TEST(SpeechContent, SpeechIsAcceptedAlsoOnAnOffset) {
    const Background ubm = Ubm();
    for (int offset : {0, kOffset, -kOffset}) {
        const EnrollmentSpeech speech = PrepareEnrollmentSpeech(
            ubm, {WithOffset(Speak(MakeVoice(3), 4.0, 21), offset),
                  WithOffset(testing::CorpusSamples(5, "lucas", 30), offset)});
        TargetModel model;
        std::string error;
        EXPECT_TRUE(EnrollTarget(ubm, speech, EnrollmentOptions{}, model, error))
            << "offset " << offset << ": " << error;
    }
}

// The rule on its own: only a recording long enough to judge is called steady.
TEST(SpeechContent, SteadinessNeedsEnoughFramesToJudge) {
    struct Case {
        Eigen::Index rows;
        float spreadDb;
        bool refused;
    } const cases[] = {{0, 3.0f, true},
                       {1, 0.0f, false},
                       {kJudgedSpeechFrames - 1, 0.0f, false},
                       {kJudgedSpeechFrames, 0.0f, true},
                       {500, kSteadySoundSpreadDb * 0.9f, true},
                       {500, kSteadySoundSpreadDb, false},
                       {500, 6.0f, false}};
    for (const Case& c : cases) {
        RecordingTraits traits;
        traits.levelSpreadDb = c.spreadDb;
        EXPECT_EQ(!SpeechContentProblem(FeatureMatrix::Zero(c.rows, 4), traits).empty(), c.refused)
            << c.rows << " frames, spread " << c.spreadDb;
    }
}

// A real recording scored against an enrolled target with and without an offset of 0.3 of
// full scale: the same score and rejection rate, to rounding.
TEST(SpeechContent, AnOffsetChangesNoScore) {
    const Background ubm = Ubm();
    const TargetModel model = testing::EnrollVoice(FourVoices(), 1, 7);
    const ConditionBanks banks(ubm.gmm(), model.means);
    for (const auto& [digit, speaker, take] :
         {std::tuple{2, "nicolas", 41}, std::tuple{8, "yweweler", 45}}) {
        const std::vector<int16_t> samples =
            WithRoomForTheOffset(testing::CorpusSamples(digit, speaker, take));
        ASSERT_GT(samples.size(), 2000u) << speaker;
        double scores[2], frr[2];
        for (int shifted = 0; shifted < 2; ++shifted) {
            const std::vector<int16_t> input = shifted ? WithOffset(samples, kOffset) : samples;
            RecordingTraits traits;
            TrialFrames frames = ubm.Analyse(input.data(), input.size(), &traits);
            const TrialScores trial = ScoreRecording(ubm, std::move(frames), traits, banks);
            scores[shifted] = trial.scores[0];
            frr[shifted] = FalseRejectionPercent(model.genuine, trial.conditions, scores[shifted]);
        }
        EXPECT_NEAR(scores[1], scores[0], 1e-4) << speaker;
        EXPECT_NEAR(frr[1], frr[0], 1e-3) << speaker;
    }
}

}  // namespace
}  // namespace kestrune
