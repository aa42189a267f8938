// Enrollment on synthetic voices: the condition models and genuine scores it stores, and its
// refusals.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/enrollment/enrollment.h"
#include "core/scoring/rates.h"
#include "core/scoring/trial_scoring.h"
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

Background Ubm() {
    return Background(FourVoices().model, FourVoices().fingerprint);
}

TEST(Enrollment, GenuineScoresCoverEveryConditionAndLieAboveImpostors) {
    const TargetModel model = testing::EnrollVoice(FourVoices(), 1, 7);
    EXPECT_EQ(model.ubmFingerprint, FourVoices().fingerprint);
    for (const FloatMatrix& means : model.means) {
        EXPECT_EQ(means.rows(), 8);
    }
    // The copies moved the noisy and the telephone models away from the clean one.
    EXPECT_FALSE(model.means[kClean].isApprox(model.means[kNoisy]));
    EXPECT_FALSE(model.means[kClean].isApprox(model.means[kTelephone]));

    // Clean and noisy held-out parts are scored as wideband speech, telephone copies as
    // telephone speech; several lengths of each.
    std::vector<float> wideband, telephone, lengths;
    for (const GenuineSample& sample : model.genuine) {
        (sample.telephone > 0.5f ? telephone : wideband).push_back(sample.score);
        lengths.push_back(sample.frames);
    }
    ASSERT_FALSE(wideband.empty());
    ASSERT_FALSE(telephone.empty());
    std::sort(lengths.begin(), lengths.end());
    EXPECT_GE(std::unique(lengths.begin(), lengths.end()) - lengths.begin(), 3);

    // Scores are normalised by the cohort: an impostor's lies near 0, so most genuine scores
    // must stand well above the 5 % false-acceptance point.
    for (std::vector<float>* scores : {&wideband, &telephone}) {
        std::sort(scores->begin(), scores->end());
        EXPECT_GT((*scores)[scores->size() / 2], 1.645f);
        EXPECT_LT(FalseAcceptancePercent((*scores)[scores->size() / 2]), 5.0);
    }
}

TEST(Enrollment, HeldOutPartsPredictTheRejectionOfANewRecording) {
    const Background ubm = Ubm();
    const TargetModel model = testing::EnrollVoice(FourVoices(), 2, 11);
    const ConditionBanks banks(ubm.gmm(), model.means);
    // A recording the enrollment never saw: its false-rejection rate must be neither 0 nor
    // 100 %, which it would be if the held-out parts had leaked into their models (scores far
    // above any new recording's) or stood for other conditions than this trial's.
    const Samples samples = Speak(MakeVoice(2), 3.0, 999);
    RecordingTraits traits;
    TrialFrames frames = ubm.Analyse(samples.data(), samples.size(), &traits);
    const TrialScores trial = ScoreRecording(ubm, std::move(frames), traits, banks);
    const double frr = FalseRejectionPercent(model.genuine, trial.conditions, trial.scores[0]);
    EXPECT_GT(frr, 1.0);
    EXPECT_LT(frr, 99.0);
}

TEST(Enrollment, RefusesTooLittleSpeechAndFeaturesOfAnotherShape) {
    const Background ubm = Ubm();
    TargetModel model;
    std::string error;
    const EnrollmentSpeech little = PrepareEnrollmentSpeech(ubm, {Speak(MakeVoice(1), 1.0, 9)});
    EXPECT_FALSE(EnrollTarget(ubm, little, EnrollmentOptions{}, model, error));
    EXPECT_NE(error.find("too little speech"), std::string::npos) << error;

    EnrollmentSpeech wrongShape;
    wrongShape.clean.push_back({FeatureMatrix::Zero(500, 3), RecordingTraits{}, FeatureMatrix()});
    EXPECT_FALSE(EnrollTarget(ubm, wrongShape, EnrollmentOptions{}, model, error));
    EXPECT_NE(error.find("do not fit"), std::string::npos) << error;
}

}  // namespace
}  // namespace kestrune
