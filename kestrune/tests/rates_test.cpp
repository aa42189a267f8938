// Error rates from normalised scores: the impostor tail, and genuine scores weighted by how
// closely their conditions match the trial's.
#include <gtest/gtest.h>

#include <cmath>

#include "core/rates.h"

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
    const TrialConditions farAway{100000.0, 0.0, 0.5};
    const double rate = FalseRejectionPercent(genuine, farAway, 6.0);
    EXPECT_GT(rate, 40.0);
    EXPECT_LE(rate, 100.0);
    EXPECT_EQ(FalseRejectionPercent({}, longClean, 6.0), 0.0);

    // Continuous in the score: nearby scores do not tie.
    EXPECT_LT(FalseRejectionPercent(genuine, longClean, 5.90),
              FalseRejectionPercent(genuine, longClean, 5.91));
}

}  // namespace
}  // namespace kestrune
