// MAP adaptation of means.
#include <gtest/gtest.h>

#include "core/models/adaptation.h"

namespace kestrune {
namespace {

// Two components far apart, so that posteriors are 0 or 1 for frames near either.
DiagonalGmm TwoComponents() {
    DiagonalGmm gmm;
    gmm.weights = Eigen::Vector2d(0.5, 0.5);
    gmm.means.resize(2, 2);
    gmm.means << 0, 0, 100, 100;
    gmm.variances = DoubleMatrix::Ones(2, 2);
    return gmm;
}

FeatureMatrix FramesAround(float x, float y, int count) {
    FeatureMatrix frames(count, 2);
    for (int t = 0; t < count; ++t) {
        frames(t, 0) = x + (t % 2 == 0 ? 0.5f : -0.5f);
        frames(t, 1) = y;
    }
    return frames;
}

TEST(MapAdaptation, MovesOnlyVisitedComponentsByTheirOccupancy) {
    const DiagonalGmm ubm = TwoComponents();
    const FeatureMatrix frames = FramesAround(2.0f, -1.0f, 48);
    const AdaptationStats stats = AccumulateStats(GmmEvaluator(ubm), frames);
    EXPECT_NEAR(stats.occupancy(0), 48.0, 1e-6);
    EXPECT_NEAR(stats.occupancy(1), 0.0, 1e-6);

    struct {
        double relevance;
        double alpha;  // n / (n + r)
    } const cases[] = {{0.0, 1.0}, {16.0, 0.75}, {48.0, 0.5}, {1e9, 0.0}};
    for (const auto& c : cases) {
        const FloatMatrix means = MapAdaptMeans(ubm, stats, c.relevance);
        EXPECT_NEAR(means(0, 0), c.alpha * 2.0, 1e-5) << "r = " << c.relevance;
        EXPECT_NEAR(means(0, 1), c.alpha * -1.0, 1e-5) << "r = " << c.relevance;
        EXPECT_EQ(means.row(1), ubm.means.row(1).cast<float>()) << "r = " << c.relevance;
    }
}

TEST(MapAdaptation, StatisticsOfAPartCanBeTakenBackOut) {
    const DiagonalGmm ubm = TwoComponents();
    FeatureMatrix frames(60, 2);
    frames << FramesAround(1.0f, 1.0f, 30), FramesAround(99.0f, 98.0f, 30);
    const GmmEvaluator evaluator(ubm);
    AdaptationStats rest = AccumulateStats(evaluator, frames);
    rest -= AccumulateStats(evaluator, frames.middleRows(20, 20));
    AdaptationStats expected = AccumulateStats(evaluator, frames.topRows(20));
    expected += AccumulateStats(evaluator, frames.bottomRows(20));
    EXPECT_TRUE(rest.occupancy.isApprox(expected.occupancy, 1e-9));
    EXPECT_TRUE(rest.first.isApprox(expected.first, 1e-9));
}

}  // namespace
}  // namespace kestrune
