// Adapting a trial's scores to the loaded targets, and the components a trial is scored with.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

// A target whose score no speech gives is taken out of the set's statistics: the others come
// out exactly as if it had never been loaded.
TEST(TrialScoring, AnUntrustedScoreMovesNoOtherTarget) {
    const std::vector<double> others = {0.3, -1.2, 2.5, 0.9, -0.4};
    const std::vector<double> alone = AdaptToTargetSet(others);
    struct {
        const char* what;
        double score;
    } const cases[] = {
        {"NaN", std::nan("")}, {"infinite", INFINITY}, {"minus infinity", -INFINITY},
        {"far above", 1e19},   {"far below", -3e6},
    };
    for (const auto& c : cases) {
        std::vector<double> scores = others;
        scores.insert(scores.begin() + 2, c.score);
        const std::vector<uint8_t> removed = UntrustedScores(scores);
        ASSERT_EQ(removed.size(), scores.size());
        for (size_t t = 0; t < scores.size(); ++t) {
            EXPECT_EQ(removed[t], t == 2 ? 1 : 0) << c.what << " target " << t;
        }
        const std::vector<double> adapted = AdaptToTargetSet(scores, removed);
        ASSERT_EQ(adapted.size(), scores.size());
        EXPECT_TRUE(std::isnan(adapted[2])) << c.what;
        for (size_t t = 0, k = 0; t < adapted.size(); ++t) {
            if (t != 2) {
                EXPECT_EQ(adapted[t], alone[k++]) << c.what << " target " << t;
            }
        }
    }
    // Scores at the edge of the trusted range stay in.
    const std::vector<uint8_t> kept = UntrustedScores({1e6, -1e6, 0.0});
    EXPECT_EQ(kept, (std::vector<uint8_t>{0, 0, 0}));
}

// Short trials are scored with more components per frame, never fewer than the model asks for;
// from 250 speech frames on, with the model's own count.
TEST(TrialScoring, ShortTrialsScoreMoreComponentsPerFrame) {
    struct Case {
        uint32_t modelTop;
        Eigen::Index frames;
        uint32_t expected;
    } const cases[] = {
        {3, 0, 8}, {3, 5, 8}, {3, 249, 8}, {3, 250, 3}, {3, 6000, 3}, {2, 100, 8}, {12, 100, 12},
    };
    for (const Case& c : cases) {
        BackgroundModel model;
        model.topComponents = c.modelTop;
        EXPECT_EQ(TopComponentsFor(model, c.frames), c.expected)
            << "top " << c.modelTop << ", " << c.frames << " frames";
    }
}

}  // namespace
}  // namespace kestrune
