// EM training and evaluation of diagonal mixtures on synthetic mixtures with known answers.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "core/models/gmm.h"

namespace kestrune {
namespace {

// Frames drawn from a known mixture.
struct KnownMixture {
    DiagonalGmm truth;
    FeatureMatrix frames;
};

KnownMixture ThreeBlobs(int frames, uint32_t seed) {
    KnownMixture mixture;
    mixture.truth.weights = Eigen::Vector3d(0.5, 0.3, 0.2);
    mixture.truth.means.resize(3, 2);
    mixture.truth.means << -6, 0, 6, 1, 0, 8;
    mixture.truth.variances.resize(3, 2);
    mixture.truth.variances << 1.0, 0.5, 2.0, 1.0, 0.7, 1.5;
    std::mt19937 random(seed);
    std::discrete_distribution<int> pick({0.5, 0.3, 0.2});
    std::normal_distribution<double> normal;
    mixture.frames.resize(frames, 2);
    for (int t = 0; t < frames; ++t) {
        const int k = pick(random);
        for (int j = 0; j < 2; ++j) {
            mixture.frames(t, j) =
                static_cast<float>(mixture.truth.means(k, j) +
                                   std::sqrt(mixture.truth.variances(k, j)) * normal(random));
        }
    }
    return mixture;
}

TEST(Em, LikelihoodNeverDecreases) {
    const KnownMixture data = ThreeBlobs(3000, 1);
    // With the floor far above some true variances, so that flooring is active throughout.
    for (double floorShare : {0.0001, 0.2}) {
        DiagonalGmm gmm;
        gmm.weights = Eigen::VectorXd::Ones(1);
        gmm.means = data.frames.cast<double>().colwise().mean();
        gmm.variances = DoubleMatrix::Ones(1, 2) * 10.0;
        const Eigen::RowVectorXd floor = VarianceFloor(data.frames, floorShare);
        SplitComponents(gmm, 2, 0.2);
        SplitComponents(gmm, 4, 0.2);
        ASSERT_EQ(gmm.Components(), 4);
        double previous = -INFINITY;
        for (int pass = 0; pass < 30; ++pass) {
            const double before = EmPass(data.frames, gmm, floor);
            EXPECT_GE(before, previous - 1e-9) << "pass " << pass << ", floor " << floorShare;
            previous = before;
            for (Eigen::Index k = 0; k < gmm.Components(); ++k) {
                EXPECT_TRUE((gmm.variances.row(k).array() >= floor.array() - 1e-12).all());
            }
        }
        const double current = AverageLogLikelihood(data.frames, gmm);
        EXPECT_NEAR(current, EmPass(data.frames, gmm, floor), 1e-9);
    }
}

TEST(Em, RecoversTheComponentsOfASyntheticMixture) {
    const KnownMixture data = ThreeBlobs(20000, 2);
    EmOptions options;
    options.components = 3;
    options.iterationsPerSplit = 10;
    options.finalIterations = 40;
    const DiagonalGmm gmm = TrainGmm(data.frames, options);
    ASSERT_TRUE(gmm.Valid());
    ASSERT_EQ(gmm.Components(), 3);
    for (int k = 0; k < 3; ++k) {
        Eigen::Index found = 0;
        (gmm.means.rowwise() - data.truth.means.row(k)).rowwise().squaredNorm().minCoeff(&found);
        EXPECT_NEAR(gmm.weights(found), data.truth.weights(k), 0.02) << "component " << k;
        for (int j = 0; j < 2; ++j) {
            EXPECT_NEAR(gmm.means(found, j), data.truth.means(k, j), 0.1) << k << "," << j;
            EXPECT_NEAR(gmm.variances(found, j), data.truth.variances(k, j),
                        0.1 * data.truth.variances(k, j))
                << k << "," << j;
        }
    }
}

TEST(Em, TrainingIsDeterministic) {
    const KnownMixture data = ThreeBlobs(2000, 3);
    EmOptions options;
    options.components = 5;  // not a power of two: the last split halves only the heaviest
    const DiagonalGmm first = TrainGmm(data.frames, options);
    const DiagonalGmm second = TrainGmm(data.frames, options);
    EXPECT_EQ(first.Components(), 5);
    EXPECT_EQ(first.weights, second.weights);
    EXPECT_EQ(first.means, second.means);
    EXPECT_EQ(first.variances, second.variances);
}

TEST(Em, ConstantDimensionIsHeldAtTheFloor) {
    KnownMixture data = ThreeBlobs(1000, 4);
    data.frames.col(1).setConstant(3.0f);
    EmOptions options;
    options.components = 4;
    const DiagonalGmm gmm = TrainGmm(data.frames, options);
    EXPECT_TRUE(gmm.Valid());
    EXPECT_GT(gmm.variances.col(1).minCoeff(), 0.0);
}

TEST(GmmEvaluator, MatchesTheDensityComputedDirectly) {
    const KnownMixture data = ThreeBlobs(5, 5);
    FloatMatrix out;
    GmmEvaluator(data.truth).ComponentLogLikelihoods(data.frames, out);
    ASSERT_EQ(out.rows(), 5);
    ASSERT_EQ(out.cols(), 3);
    for (int t = 0; t < 5; ++t) {
        for (int k = 0; k < 3; ++k) {
            double density = data.truth.weights(k);
            for (int j = 0; j < 2; ++j) {
                const double v = data.truth.variances(k, j);
                const double x = data.frames(t, j) - data.truth.means(k, j);
                density *= std::exp(-x * x / (2 * v)) / std::sqrt(2 * std::numbers::pi * v);
            }
            EXPECT_NEAR(out(t, k), std::log(density), 1e-3) << t << "," << k;
        }
    }
}

TEST(DiagonalGmm, ValidRejectsBrokenParameters) {
    const DiagonalGmm good = ThreeBlobs(1, 6).truth;
    EXPECT_TRUE(good.Valid());
    const auto broken = [&](auto change) {
        DiagonalGmm gmm = good;
        change(gmm);
        return gmm.Valid();
    };
    EXPECT_FALSE(broken([](DiagonalGmm& g) { g.weights(0) = -0.1, g.weights(1) = 0.9; }));
    EXPECT_FALSE(broken([](DiagonalGmm& g) { g.weights(0) = 0.6; }));
    EXPECT_FALSE(broken([](DiagonalGmm& g) { g.variances(1, 1) = 0.0; }));
    EXPECT_FALSE(broken([](DiagonalGmm& g) { g.means(2, 0) = NAN; }));
    EXPECT_FALSE(broken([](DiagonalGmm& g) { g.means.conservativeResize(2, 2); }));
    EXPECT_FALSE(broken([](DiagonalGmm& g) { g.weights.resize(0); }));
}

}  // namespace
}  // namespace kestrune
