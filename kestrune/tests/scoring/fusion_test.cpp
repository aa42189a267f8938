// Score-level fusion: a background model with a companion scores a trial as the weighted sum of
// what each model alone gives, and enrollment makes the companion's models and fused genuine
// scores.
#include <gtest/gtest.h>

#include <cmath>

#include "core/enrollment/enrollment.h"
#include "core/scoring/trial_scoring.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

using testing::MakeVoice;
using testing::Speak;

const testing::SmallBackground& Fused() {
    static const testing::SmallBackground background =
        testing::TrainSmallBackground(4, 8, 300, true);
    return background;
}

TEST(Fusion, AFusedScoreIsTheWeightedSumOfBothModelsScores) {
    const BackgroundModel& model = Fused().model;
    ASSERT_NE(model.companion, nullptr);
    EXPECT_EQ(model.companion->frontEnd.linearFilters, 1u);
    const Background ubm(model, Fused().fingerprint);
    BackgroundModel ownModel = model;
    ownModel.companion = nullptr;
    const Background own(ownModel, 0);
    const Background companion(*model.companion, 0);

    const TargetModel target = testing::EnrollVoice(Fused(), 1, 31);
    ASSERT_TRUE(TargetFitsBackground(target, ubm));
    EXPECT_NE(target.companionMeans[kClean], target.means[kClean]);

    for (int voice : {1, 2}) {
        const Samples samples = Speak(MakeVoice(voice), 3.0, 77 + voice);
        RecordingTraits traits;
        const TrialFrames frames = ubm.Analyse(samples.data(), samples.size(), &traits);
        ASSERT_EQ(frames.companion.rows(), frames.own.rows());
        ASSERT_EQ(frames.companion.cols(), companion.gmm().Dimension());
        const double fused = ScoreRecording(ubm, frames, traits,
                                            ConditionBanks(ubm.gmm(), target.means, companion.gmm(),
                                                           target.companionMeans))
                                 .scores[0];
        const double a = ScoreRecording(own, {frames.own, FeatureMatrix()}, traits,
                                        ConditionBanks(own.gmm(), target.means))
                             .scores[0];
        const double b = ScoreRecording(companion, {frames.companion, FeatureMatrix()}, traits,
                                        ConditionBanks(companion.gmm(), target.companionMeans))
                             .scores[0];
        EXPECT_NEAR(fused, model.ownWeight * a + model.companionWeight * b, 1e-9) << voice;
        EXPECT_NE(a, b) << "the companion scores its own features";

        // Targets prepared without the companion's models are no score at all, not half of one.
        const double half =
            ScoreRecording(ubm, frames, traits, ConditionBanks(ubm.gmm(), target.means)).scores[0];
        EXPECT_TRUE(std::isnan(half));
    }
}

// The genuine scores are fused as trials are: a new recording of the target's own voice lies
// inside their spread (genuine scores of one model alone would put it at an edge), and an
// impostor's below nearly all of them.
TEST(Fusion, GenuineScoresAreOnTheFusedScale) {
    const Background ubm(Fused().model, Fused().fingerprint);
    const TargetModel target = testing::EnrollVoice(Fused(), 2, 41);
    const ConditionBanks banks(ubm.gmm(), target.means, ubm.companion()->gmm(),
                               target.companionMeans);
    double frr[2];
    for (int voice : {2, 3}) {
        const Samples samples = Speak(MakeVoice(voice), 3.0, 999);
        RecordingTraits traits;
        const TrialScores trial = ScoreRecording(
            ubm, ubm.Analyse(samples.data(), samples.size(), &traits), traits, banks);
        frr[voice - 2] = FalseRejectionPercent(target.genuine, trial.conditions, trial.scores[0]);
    }
    EXPECT_GT(frr[0], 1.0);
    EXPECT_LT(frr[0], 99.0);
    EXPECT_LT(frr[1], 1.0);
}

}  // namespace
}  // namespace kestrune
