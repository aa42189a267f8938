// Adapting a trial's scores to the loaded targets.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/scoring/trial_scoring.h"

namespace kestrune {
namespace {

TEST(TrialScoring, ManyTargetsRestandardiseTheImpostors) {
    // Targets recorded elsewhere than the cohort: impostors at 2 +- 0.5 instead of 0 +- 1, and
    // the speaker's own target far above.
    std::mt19937 random(2);
    std::normal_distribution<double> shifted(2.0, 0.5);
    std::vector<double> scores(500);
    for (double& score : scores) {
        score = shifted(random);
    }
    scores[17] = 9.0;
    const std::vector<double> adapted = AdaptToTargetSet(scores);
    double mean = 0.0, squares = 0.0;
    for (size_t t = 0; t < adapted.size(); ++t) {
        if (t != 17) {
            mean += adapted[t];
            squares += adapted[t] * adapted[t];
        }
    }
    mean /= 499.0;
    EXPECT_NEAR(mean, 0.0, 0.1);
    EXPECT_NEAR(std::sqrt(squares / 499.0 - mean * mean), 1.0, 0.1);
    // The best score is left out of the estimate, and the order is kept.
    EXPECT_GT(adapted[17], 12.0);
    for (size_t t = 1; t < scores.size(); ++t) {
        EXPECT_EQ(scores[t] < scores[t - 1], adapted[t] < adapted[t - 1]) << t;
    }
}

TEST(TrialScoring, FewTargetsLeanOnTheCohort) {
    // One target: nothing to estimate from, the cohort's normalisation stands.
    EXPECT_EQ(AdaptToTargetSet({3.5}), std::vector<double>{3.5});
    EXPECT_TRUE(AdaptToTargetSet({}).empty());
    // Three targets at the cohort's own scale move little: the two others alone would divide
    // by 0.5, the prior keeps the deviation near 1.
    const std::vector<double> adapted = AdaptToTargetSet({-0.5, 4.0, 0.5});
    EXPECT_NEAR(adapted[1], 4.0, 0.8);
    EXPECT_NEAR(adapted[0], -0.5, 0.15);
    // Equal scores do not divide by nothing.
    for (double score : AdaptToTargetSet({1.0, 1.0, 1.0, 1.0})) {
        EXPECT_TRUE(std::isfinite(score));
    }
}

}  // namespace
}  // namespace kestrune
