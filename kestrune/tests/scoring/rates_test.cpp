// Error rates from normalised scores: the impostor tail, and genuine scores weighted by how
// closely their conditions match the trial's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "core/frontend/front_end.h"
#include "core/scoring/rates.h"

namespace kestrune {
namespace {

TEST(Rates, FalseAcceptanceIsTheStandardNormalTail) {
    struct {
        double z, percent;
    } const cases[] = {{0.0, 50.0}, {1.6449, 5.0}, {2.3263, 1.0}, {-1.6449, 95.0}};
    for (const auto& c : cases) {
        EXPECT_NEAR(FalseAcceptancePercent(c.z), c.percent, 0.01) << c.z;
    }
    // Decreasing without steps, so that ranking by it keeps the order of the scores.
    EXPECT_GT(FalseAcceptancePercent(3.001), FalseAcceptancePercent(3.002));
    // Standardised by estimates from few scores, the tail is Student's t: at 5 degrees of
    // freedom 2.015 leaves 5 % (a normal tail would give 2.2 %); at many, the normal tail.
    EXPECT_NEAR(FalseAcceptancePercent(2.015, 5.0), 5.0, 0.1);
    EXPECT_NEAR(FalseAcceptancePercent(3.365, 5.0), 1.0, 0.05);
    EXPECT_NEAR(FalseAcceptancePercent(1.6449, 1e6), 5.0, 0.01);
}

// Impostor scores of short trials spread wider than N(0, 1), those of long trials hardly so;
// a trial of no measurable length (no frames, or NaN) takes the widest spread, not NaN.
TEST(Rates, ImpostorsSpreadWiderOnShortTrials) {
    EXPECT_NEAR(ImpostorSpread(1e7), 1.0, 1e-4);
    EXPECT_GT(ImpostorSpread(40.0), ImpostorSpread(80.0));
    EXPECT_GT(ImpostorSpread(80.0), ImpostorSpread(500.0));
    EXPECT_GT(ImpostorSpread(500.0), 1.0);
    for (double degenerate : {0.0, -5.0, std::nan("")}) {
        EXPECT_DOUBLE_EQ(ImpostorSpread(degenerate), ImpostorSpread(1.0)) << degenerate;
    }
}

TEST(Rates, PercentThousandthsRoundsAndStaysInRange) {
    EXPECT_EQ(PercentThousandths(0.7504), 750);
    EXPECT_EQ(PercentThousandths(100.0), 100000);
    EXPECT_EQ(PercentThousandths(140.0), 100000);
    EXPECT_EQ(PercentThousandths(-1.0), 0);
    EXPECT_EQ(PercentThousandths(std::nan("")), 0);
}

TEST(Rates, FalseRejectionFollowsTheSamplesOfTheTrialsConditions) {
    // Long clean trials score around 6, short telephone trials around 2.
    std::vector<GenuineSample> genuine;
    for (int i = 0; i < 20; ++i) {
        const float spread = 0.1f * static_cast<float>(i - 10);
        genuine.push_back({6.0f + spread, 400.0f, 30.0f, 0.0f});
        genuine.push_back({2.0f + spread, 50.0f, 30.0f, 1.0f});
    }
    const TrialConditions longClean{400.0, 30.0, 0.0};
    const TrialConditions shortTelephone{50.0, 30.0, 1.0};
    // A score of 4 is far below the long clean trials and far above the short telephone ones.
    EXPECT_LT(FalseRejectionPercent(genuine, longClean, 4.0), 1.0);
    EXPECT_GT(FalseRejectionPercent(genuine, shortTelephone, 4.0), 99.0);
    EXPECT_NEAR(FalseRejectionPercent(genuine, longClean, 6.0), 50.0, 5.0);

    // A trial unlike every sample still reads the nearest ones rather than nothing.
    const TrialConditions farAway{400.0, 0.0, 0.5};
    const double rate = FalseRejectionPercent(genuine, farAway, 6.0);
    EXPECT_GT(rate, 40.0);
    EXPECT_LE(rate, 100.0);
    EXPECT_EQ(FalseRejectionPercent({}, longClean, 6.0), 0.0);

    // Continuous in the score: nearby scores do not tie.
    EXPECT_LT(FalseRejectionPercent(genuine, longClean, 5.90),
              FalseRejectionPercent(genuine, longClean, 5.91));
}

// Genuine scores grow with the trial's length: samples of one length predict higher scores for
// longer trials and lower ones for shorter trials, and carry only so far, so that an hour-long
// trial is not promised scores no measurement supports.
TEST(Rates, SamplesAreCarriedToTheTrialsLengthWithinABound) {
    std::vector<GenuineSample> genuine;
    for (int i = 0; i < 21; ++i) {
        genuine.push_back({4.0f + 0.05f * static_cast<float>(i - 10), 100.0f, 30.0f, 0.0f});
    }
    const auto frr = [&](double frames, double score) {
        const TrialConditions conditions{frames, 30.0, 0.0};
        const double direct = FalseRejectionPercent(genuine, conditions, score);
        EXPECT_NEAR(FalseRejectionCurve(genuine, conditions).Percent(score), direct, 0.05);
        return direct;
    };
    EXPECT_NEAR(frr(100.0, 4.0), 50.0, 1.0);
    // A longer trial's genuine scores lie higher, so fewer of them fall below the same score.
    EXPECT_LT(frr(400.0, 4.0), 10.0);
    EXPECT_GT(frr(25.0, 4.0), 90.0);
    EXPECT_LT(frr(400.0, 5.0), frr(200.0, 5.0));
    for (double score : {4.5, 5.0, 5.5, 6.0}) {
        EXPECT_DOUBLE_EQ(frr(1e5, score), frr(1e7, score)) << score;
        EXPECT_LT(frr(1e5, score), 100.0) << score;  // the curve does not run off the scale
    }
}

TEST(Rates, TheTabulatedCurveAgreesWithTheDirectEstimateAndPoolsEveryTarget) {
    std::vector<std::vector<GenuineSample>> perTarget(3);
    for (int t = 0; t < 3; ++t) {
        for (int i = 0; i < 30; ++i) {
            perTarget[static_cast<size_t>(t)].push_back(
                {static_cast<float>(t + 0.1 * i), static_cast<float>(50 << (i % 4)),
                 static_cast<float>(10 + i % 20), i % 3 == 0 ? 1.0f : 0.0f});
        }
    }
    const std::vector<GenuineSample> pooled = PoolGenuineSamples(perTarget);
    ASSERT_EQ(pooled.size(), 90u);
    const TrialConditions conditions{180.0, 17.0, 0.0};
    const FalseRejectionCurve curve(pooled, conditions);
    for (double score = -3.0; score < 8.0; score += 0.37) {
        EXPECT_NEAR(curve.Percent(score), FalseRejectionPercent(pooled, conditions, score), 0.01)
            << score;
    }
    // Far below and above every sample: flat at the ends.
    EXPECT_EQ(curve.Percent(-100.0), curve.Percent(-50.0));
    EXPECT_NEAR(curve.Percent(100.0), 100.0, 1e-6);
    EXPECT_EQ(FalseRejectionCurve({}, conditions).Percent(1.0), 0.0);

    // A pool too large keeps a random share of it, from every target: target t's samples score
    // t, and a stride through the concatenation would have skipped whole targets.
    std::vector<std::vector<GenuineSample>> many(kPooledSamples / 20);
    for (size_t t = 0; t < many.size(); ++t) {
        many[t].assign(60, {static_cast<float>(t), 100.0f, 20.0f, 0.0f});
    }
    const std::vector<GenuineSample> capped = PoolGenuineSamples(many);
    EXPECT_EQ(capped.size(), kPooledSamples);
    std::set<float> targets;
    for (const GenuineSample& g : capped) {
        targets.insert(g.score);
    }
    EXPECT_EQ(targets.size(), many.size());
}

// Degraded copies made at enrollment score higher than real degraded trials: pooling lowers
// their genuine scores, and leaves clean speech's alone.
TEST(Rates, PoolingLowersTheGenuineScoresOfDegradedCopies) {
    const std::vector<std::vector<GenuineSample>> perTarget = {
        {{3.0f, 200.0f, kMaxSnrDb, 0.0f}, {3.0f, 200.0f, 5.0f, 0.0f}},
        {{3.0f, 200.0f, kMaxSnrDb, 1.0f}}};
    const std::vector<GenuineSample> pooled = PoolGenuineSamples(perTarget);
    ASSERT_EQ(pooled.size(), 3u);
    EXPECT_NEAR(pooled[0].score, 3.0f, 1e-4);
    EXPECT_LT(pooled[1].score, 2.5f);  // noisy
    EXPECT_LT(pooled[2].score, 3.0f);  // telephone
    EXPECT_GT(pooled[2].score, pooled[1].score);
}

// Genuine scores set how large the tabulated curve is. Spreads that files in range can hold
// (up to the bound on genuine scores) build a curve of bounded size, in bounded time, that
// still agrees with the direct estimate wherever the samples leave no doubt.
TEST(Rates, TheCurveStaysBoundedWhateverTheSamplesSpread) {
    const TrialConditions conditions{200.0, 30.0, 0.0};
    struct {
        const char* what;
        float low, high;
    } const cases[] = {
        {"ordinary", -2.0f, 9.0f},
        {"a target at 4000", 0.0f, 4000.0f},
        {"a target at 16000", 0.0f, 16000.0f},
        {"both ends of the range", -1e6f, 1e6f},
    };
    for (const auto& c : cases) {
        std::vector<GenuineSample> genuine;
        for (int i = 0; i < 50; ++i) {
            genuine.push_back({c.low + 0.01f * static_cast<float>(i), 200.0f, 30.0f, 0.0f});
            genuine.push_back({c.high - 0.01f * static_cast<float>(i), 200.0f, 30.0f, 0.0f});
        }
        const FalseRejectionCurve curve(genuine, conditions);
        // Half the samples lie far below the midpoint, half far above it.
        const double middle = (static_cast<double>(c.low) + c.high) / 2.0;
        EXPECT_NEAR(curve.Percent(middle), 50.0, 0.5) << c.what;
        EXPECT_NEAR(curve.Percent(middle), FalseRejectionPercent(genuine, conditions, middle), 0.5)
            << c.what;
        EXPECT_NEAR(curve.Percent(static_cast<double>(c.low) - 100.0), 0.0, 1e-6) << c.what;
        EXPECT_NEAR(curve.Percent(static_cast<double>(c.high) + 100.0), 100.0, 1e-9) << c.what;
        double previous = -1.0;
        for (double score = c.low - 10.0; score < c.high + 10.0;
             score += (c.high - c.low + 20.0) / 997.0) {
            const double percent = curve.Percent(score);
            EXPECT_GE(percent, previous - 1e-9) << c.what << " at " << score;
            previous = percent;
        }
    }
}

}  // namespace
}  // namespace kestrune
