// Enrollment on synthetic voices: the score distributions it stores, and its refusals.
#include <gtest/gtest.h>

#include "core/enrollment.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

using testing::MakeVoice;
using testing::Speak;

// Built on first use (not in a suite set-up, whose failure would only skip the tests).
const testing::SmallBackground& FourVoices() {
    static const testing::SmallBackground background = testing::TrainSmallBackground(4, 8, 100);
    return background;
}

class Enrollment : public ::testing::Test {
  protected:
    Enrollment() : background_(FourVoices()) {}
    Background Ubm() const { return Background(background_.model, background_.fingerprint); }
    const testing::SmallBackground& background_;
};

TEST_F(Enrollment, GenuineScoresLieAboveImpostorScores) {
    const TargetModel model = testing::EnrollVoice(background_, 1, 7);
    EXPECT_EQ(model.ubmFingerprint, background_.fingerprint);
    EXPECT_EQ(model.means.rows(), 8);
    ASSERT_FALSE(model.distributions.empty());
    // 8 s of speech allows every segment length up to 512 frames to leave half the speech in.
    uint32_t previous = 0;
    for (const ScoreDistribution& d : model.distributions) {
        EXPECT_GT(d.frames, previous);
        previous = d.frames;
        ASSERT_FALSE(d.genuine.empty());
        ASSERT_FALSE(d.impostor.empty());
        EXPECT_TRUE(std::is_sorted(d.genuine.begin(), d.genuine.end()));
        EXPECT_TRUE(std::is_sorted(d.impostor.begin(), d.impostor.end()));
        const float genuineMedian = d.genuine[d.genuine.size() / 2];
        const float impostorMedian = d.impostor[d.impostor.size() / 2];
        EXPECT_GT(genuineMedian, impostorMedian) << d.frames << " frames";
        EXPECT_LT(FalseAcceptance(d.impostor, genuineMedian), 20000) << d.frames << " frames";
    }
}

TEST_F(Enrollment, LeavesOutSegmentLengthsItCannotMeasure) {
    const Background ubm = Ubm();
    // About 2.5 s of speech: too short to leave a 256-frame segment out and keep the larger part.
    const std::vector<int16_t> samples = Speak(MakeVoice(2), 3.0, 5);
    std::vector<FeatureMatrix> recordings = {ubm.RawFeatures(samples.data(), samples.size())};
    const std::vector<const LabelledFeatures*> impostors =
        ImpostorsFor(background_.impostors, "voice-2");
    TargetModel model;
    std::string error;
    ASSERT_TRUE(EnrollTarget(ubm, recordings, impostors, EnrollmentOptions{}, model, error))
        << error;
    const Eigen::Index frames = recordings[0].rows();
    for (const ScoreDistribution& d : model.distributions) {
        EXPECT_LE(2 * static_cast<Eigen::Index>(d.frames), frames);
    }
    EXPECT_EQ(model.distributions.front().frames, 32u);
}

TEST_F(Enrollment, RefusesTooLittleSpeechAndMissingImpostors) {
    const Background ubm = Ubm();
    const std::vector<int16_t> shortSpeech = Speak(MakeVoice(1), 1.0, 9);
    const std::vector<int16_t> enough = Speak(MakeVoice(1), 6.0, 9);
    const std::vector<FeatureMatrix> little = {
        ubm.RawFeatures(shortSpeech.data(), shortSpeech.size())};
    const std::vector<FeatureMatrix> plenty = {ubm.RawFeatures(enough.data(), enough.size())};
    std::vector<const LabelledFeatures*> impostors;
    for (const LabelledFeatures& recording : background_.impostors) {
        impostors.push_back(&recording);
    }
    TargetModel model;
    std::string error;
    EXPECT_FALSE(EnrollTarget(ubm, little, impostors, EnrollmentOptions{}, model, error));
    EXPECT_NE(error.find("too little speech"), std::string::npos) << error;
    EXPECT_FALSE(EnrollTarget(ubm, plenty, {}, EnrollmentOptions{}, model, error));
    EXPECT_NE(error.find("no impostor speech"), std::string::npos) << error;
    const std::vector<FeatureMatrix> wrongShape = {FeatureMatrix::Zero(500, 3)};
    EXPECT_FALSE(EnrollTarget(ubm, wrongShape, impostors, EnrollmentOptions{}, model, error));
}

}  // namespace
}  // namespace kestrune
