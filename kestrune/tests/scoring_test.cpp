// Shared top-C scoring of many targets against a direct computation of the same ratio.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "core/scoring/scoring.h"

namespace kestrune {
namespace {

struct Problem {
    DiagonalGmm ubm;
    FloatMatrix targetMeans;  // T·M rows
    FeatureMatrix frames;
};

Problem RandomSetup(int components, int dimension, int targets, int frames, uint32_t seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> uniform(0.5, 2.0);
    Problem s;
    s.ubm.weights = Eigen::VectorXd::NullaryExpr(components, [&] { return uniform(random); });
    s.ubm.weights /= s.ubm.weights.sum();
    s.ubm.means =
        DoubleMatrix::NullaryExpr(components, dimension, [&] { return 3.0 * normal(random); });
    s.ubm.variances =
        DoubleMatrix::NullaryExpr(components, dimension, [&] { return uniform(random); });
    s.targetMeans.resize(targets * components, dimension);
    for (int t = 0; t < targets; ++t) {
        s.targetMeans.middleRows(t * components, components) =
            (s.ubm.means + DoubleMatrix::NullaryExpr(components, dimension, [&] {
                 return 0.7 * normal(random);
             })).cast<float>();
    }
    s.frames = FeatureMatrix::NullaryExpr(frames, dimension,
                                          [&] { return static_cast<float>(3.0 * normal(random)); });
    return s;
}

// log sum over the given components of w N(x), computed one Gaussian at a time.
double LogMixture(const DiagonalGmm& gmm, const FloatMatrix& means, Eigen::Index offset,
                  const std::vector<int32_t>& which, const Eigen::RowVectorXf& x) {
    double sum = 0.0;
    for (int32_t m : which) {
        double log = std::log(gmm.weights(m));
        for (Eigen::Index j = 0; j < x.size(); ++j) {
            const double v = gmm.variances(m, j);
            const double d = x(j) - means(offset + m, j);
            log += -0.5 * (std::log(2 * std::numbers::pi * v) + d * d / v);
        }
        sum += std::exp(log);
    }
    return std::log(sum);
}

TEST(Scoring, TopComponentsAreTheBestInOrder) {
    const Problem s = RandomSetup(12, 3, 1, 50, 7);
    const GmmEvaluator evaluator(s.ubm);
    const TopComponents top = SelectTopComponents(evaluator, s.frames, 4);
    FloatMatrix all;
    evaluator.ComponentLogLikelihoods(s.frames, all);
    for (int t = 0; t < 50; ++t) {
        std::vector<float> sorted(all.row(t).data(), all.row(t).data() + 12);
        std::sort(sorted.rbegin(), sorted.rend());
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(all(t, top.index[t * 4 + j]), sorted[j]);
            EXPECT_EQ(top.logLikelihood(t, j), sorted[j]);
        }
    }
    EXPECT_EQ(SelectTopComponents(evaluator, s.frames, 99).count, 12u);
}

TEST(Scoring, SharedScoringEqualsTheRatioComputedPerTarget) {
    // The ratio of the target's and the background's mixtures over each frame's top components,
    // one Gaussian at a time, against the blocked, gathered and pruned computation.
    // Frame counts chosen to cross the scorer's frame blocks; target counts to change them.
    struct {
        int components, targets, frames;
        uint32_t topC;
    } const cases[] = {{8, 1, 40, 8}, {8, 3, 40, 2}, {16, 5, 1300, 5}, {6, 700, 30, 3}};
    for (const auto& c : cases) {
        const Problem s = RandomSetup(c.components, 4, c.targets, c.frames, 11);
        const GmmEvaluator evaluator(s.ubm);
        const TopComponents top = SelectTopComponents(evaluator, s.frames, c.topC);
        const TargetBank bank(s.ubm, s.targetMeans);
        ASSERT_EQ(bank.Targets(), c.targets);
        std::vector<double> scores(c.targets);
        ScoreTargets(top, s.frames, bank, scores.data());

        const FloatMatrix ubmMeans = s.ubm.means.cast<float>();
        for (int t = 0; t < c.targets; t += std::max(1, c.targets / 7)) {
            double expected = 0.0;
            for (int f = 0; f < c.frames; ++f) {
                // The frame's top components but those whose background posterior is below 1 %
                // of the best one's, which add nothing a reported score can show.
                std::vector<int32_t> which;
                for (uint32_t j = 0; j < top.count; ++j) {
                    if (top.logLikelihood(f, j) >= top.logLikelihood(f, 0) + std::log(0.01f)) {
                        which.push_back(top.index[f * top.count + j]);
                    }
                }
                const Eigen::RowVectorXf x = s.frames.row(f);
                expected += LogMixture(s.ubm, s.targetMeans, t * c.components, which, x) -
                            LogMixture(s.ubm, ubmMeans, 0, which, x);
            }
            expected /= c.frames;
            EXPECT_NEAR(scores[t], expected, 1e-3 * (1.0 + std::abs(expected)))
                << c.components << " components, target " << t << " of " << c.targets;
        }
    }
}

TEST(Scoring, GatheredTargetsEqualThoseBuiltFromTheirMeans) {
    // Targets picked out of two banks, in runs and alone, out of order, one twice: each must
    // hold what a bank built from that target's means holds, whichever bank it came from.
    const Problem a = RandomSetup(6, 5, 4, 1, 21);
    Problem b = RandomSetup(6, 5, 3, 1, 22);
    b.ubm = a.ubm;
    const TargetBank bankA(a.ubm, a.targetMeans);
    const TargetBank bankB(b.ubm, b.targetMeans);
    const std::vector<TargetBank::Pick> picks = {{&bankA, 1}, {&bankA, 2}, {&bankA, 3}, {&bankB, 0},
                                                 {&bankA, 0}, {&bankB, 2}, {&bankA, 1}};
    const TargetBank gathered = TargetBank::Gather(picks);
    ASSERT_EQ(gathered.Targets(), 7);
    ASSERT_EQ(gathered.Components(), 6);
    ASSERT_EQ(gathered.Dimension(), 5);
    for (size_t t = 0; t < picks.size(); ++t) {
        const Problem& from = picks[t].bank == &bankA ? a : b;
        const TargetBank alone(a.ubm, from.targetMeans.middleRows(picks[t].target * 6, 6));
        for (Eigen::Index m = 0; m < 6; ++m) {
            for (Eigen::Index j = 0; j < 5; ++j) {
                EXPECT_EQ(gathered.Directions(m)[t * 5 + j], alone.Directions(m)[j])
                    << "target " << t << ", component " << m;
            }
            EXPECT_EQ(gathered.Offsets(m)[t], alone.Offsets(m)[0]);
        }
    }
}

TEST(Scoring, TheBackgroundModelItselfScoresZero) {
    const Problem s = RandomSetup(8, 3, 1, 100, 13);
    const TargetBank bank(s.ubm, s.ubm.means.cast<float>());
    const TopComponents top = SelectTopComponents(GmmEvaluator(s.ubm), s.frames, 3);
    double score = 1.0;
    ScoreTargets(top, s.frames, bank, &score);
    EXPECT_NEAR(score, 0.0, 1e-6);

    const FeatureMatrix none(0, 3);
    ScoreTargets(SelectTopComponents(GmmEvaluator(s.ubm), none, 3), none, bank, &score);
    EXPECT_EQ(score, 0.0);
}

}  // namespace
}  // namespace kestrune
