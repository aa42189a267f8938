// Shared top-C scoring of many targets against a direct computation of the same ratio.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "core/scoring/scoring.h"
#include "core/scoring/scoring_kernel.h"

namespace kestrune {
namespace {

struct Problem {
    DiagonalGmm ubm;
    FloatMatrix targetMeans;  // T·M rows
    FeatureMatrix frames;
};

// `spread` scales how far the targets' means move from the background's, in its units of 3.
Problem RandomSetup(int components, int dimension, int targets, int frames, uint32_t seed,
                    double spread = 0.7) {
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
                 return spread * normal(random);
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

// The most a frame's ratio can move when each panel value, (mu_t - mu) / s^2 and the offset
// -(mu_t - mu)^2 / 2 s^2, is rounded to bfloat16 (a relative error of at most 2^-8): each
// component's term by 2^-8 times the sum of its products' magnitudes, and a log-sum-exp by no
// more than its largest term moves.
double Bfloat16RoundingBound(const Problem& s, Eigen::Index offset,
                             const std::vector<int32_t>& which, const Eigen::RowVectorXf& x) {
    double bound = 0.0;
    for (int32_t m : which) {
        double magnitude = 0.0;
        for (Eigen::Index j = 0; j < x.size(); ++j) {
            const double shift = s.targetMeans(offset + m, j) - s.ubm.means(m, j);
            const double direction = shift / s.ubm.variances(m, j);
            magnitude += std::abs((x(j) - s.ubm.means(m, j)) * direction) +
                         0.5 * std::abs(shift * direction);
        }
        bound = std::max(bound, magnitude / 256.0);
    }
    return bound;
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
    // one Gaussian at a time in double precision, against the blocked, gathered and pruned
    // computation of every kernel this processor runs. Frame counts chosen to cross the
    // scorer's runs of 2048 frames and its groups of 8; target counts to fill blocks of 16
    // partly, exactly and over several; a spread of 3 makes targets prefer other components
    // than the background's best by tens of nats, which takes the exact path for the largest
    // term.
    struct {
        int components, dimension, targets, frames;
        uint32_t topC;
        double spread;
    } const cases[] = {{8, 4, 1, 40, 8, 0.7},      {8, 4, 3, 43, 2, 0.7},
                       {16, 4, 5, 1300, 5, 0.7},   {6, 4, 700, 30, 3, 0.7},
                       {32, 40, 16, 4500, 5, 0.7}, {32, 40, 33, 200, 5, 0.7},
                       {12, 6, 17, 300, 5, 3.0}};
    for (const ScoringKernel& kernel : ScoringKernels()) {
        if (!kernel.supported()) {
            continue;
        }
        for (const auto& c : cases) {
            const Problem s =
                RandomSetup(c.components, c.dimension, c.targets, c.frames, 11, c.spread);
            const GmmEvaluator evaluator(s.ubm);
            const TopComponents top = SelectTopComponents(evaluator, s.frames, c.topC);
            const TargetBank bank(s.ubm, s.targetMeans);
            ASSERT_EQ(bank.Targets(), c.targets);
            std::vector<double> scores(c.targets);
            ScoreTargets(top, s.frames, bank, scores.data(), kernel);

            const FloatMatrix ubmMeans = s.ubm.means.cast<float>();
            for (int t = 0; t < c.targets; t += std::max(1, c.targets / 7)) {
                double expected = 0.0;
                double rounding = 0.0;  // a bound on what the panels' bfloat16 rounding moves
                for (int f = 0; f < c.frames; ++f) {
                    // The frame's top components but those whose background posterior is below
                    // 1 % of the best one's, which add nothing a reported score can show.
                    std::vector<int32_t> which;
                    for (uint32_t j = 0; j < top.count; ++j) {
                        if (top.logLikelihood(f, j) >= top.logLikelihood(f, 0) + std::log(0.01f)) {
                            which.push_back(top.index[f * top.count + j]);
                        }
                    }
                    const Eigen::RowVectorXf x = s.frames.row(f);
                    expected += LogMixture(s.ubm, s.targetMeans, t * c.components, which, x) -
                                LogMixture(s.ubm, ubmMeans, 0, which, x);
                    rounding += Bfloat16RoundingBound(s, t * c.components, which, x);
                }
                expected /= c.frames;
                rounding /= c.frames;
                // Single precision throughout: each frame's terms are dot products of about 40
                // products of a few units, good to about 1e-6 of the largest, and the frames'
                // values are summed in double.
                EXPECT_NEAR(scores[t], expected, rounding + 1e-5 * (1.0 + std::abs(expected)))
                    << kernel.name << ": " << c.components << " components, target " << t << " of "
                    << c.targets << ", spread " << c.spread;
            }
        }
    }
}

TEST(Scoring, GatheredTargetsEqualThoseBuiltFromTheirMeans) {
    // Two whole blocks in order (copied as blocks), then a block's worth in order but not at a
    // block's start, and targets out of order, from both banks, one twice: each must hold what
    // a bank built from its own means holds, and the last block's unused lanes stay zero.
    constexpr Eigen::Index kLanes = TargetBank::kLanes;
    const Problem a = RandomSetup(6, 5, 3 * kLanes, 1, 21);
    Problem b = RandomSetup(6, 5, 3, 1, 22);
    b.ubm = a.ubm;
    const TargetBank bankA(a.ubm, a.targetMeans);
    const TargetBank bankB(b.ubm, b.targetMeans);
    std::vector<TargetBank::Pick> picks;
    for (Eigen::Index t = 0; t < 2 * kLanes; ++t) {
        picks.push_back({&bankA, t});
    }
    picks.push_back({&bankB, 2});
    for (Eigen::Index t = kLanes; t < 2 * kLanes; ++t) {
        picks.push_back({&bankA, t});
    }
    picks.push_back({&bankA, 3});
    picks.push_back({&bankB, 0});
    picks.push_back({&bankA, 3});
    const TargetBank gathered = TargetBank::Gather(picks);
    ASSERT_EQ(gathered.Targets(), static_cast<Eigen::Index>(picks.size()));
    ASSERT_EQ(gathered.Components(), 6);
    ASSERT_EQ(gathered.Dimension(), 5);
    const Eigen::Index rows = 6 * (5 + 1);  // per component: 5 directions and the offset
    const auto value = [&](const TargetBank& bank, Eigen::Index t, Eigen::Index row) {
        return bank.Panels(t / kLanes)[row * kLanes + t % kLanes];
    };
    for (size_t t = 0; t < picks.size(); ++t) {
        const Problem& from = picks[t].bank == &bankA ? a : b;
        const TargetBank alone(a.ubm, from.targetMeans.middleRows(picks[t].target * 6, 6));
        for (Eigen::Index row = 0; row < rows; ++row) {
            ASSERT_EQ(value(gathered, static_cast<Eigen::Index>(t), row), value(alone, 0, row))
                << "target " << t << ", panel row " << row;
        }
    }
    for (Eigen::Index t = gathered.Targets(); t < gathered.Blocks() * kLanes; ++t) {
        for (Eigen::Index row = 0; row < rows; ++row) {
            ASSERT_EQ(value(gathered, t, row), 0.0f) << "unused lane " << t;
        }
    }
}

TEST(Scoring, EveryKernelGivesTheSameScores) {
    // Kernels differ only in vector width and in fused multiply-adds: their scores agree to
    // single-precision rounding, not merely within the tolerance against the reference.
    const Problem s = RandomSetup(64, 40, 37, 3000, 5);
    const TopComponents top = SelectTopComponents(GmmEvaluator(s.ubm), s.frames, 5);
    const TargetBank bank(s.ubm, s.targetMeans);
    std::vector<double> portable(37), scores(37);
    ScoreTargets(top, s.frames, bank, portable.data(), ScoringKernels()[0]);
    for (const ScoringKernel& kernel : ScoringKernels()) {
        if (!kernel.supported()) {
            continue;
        }
        ScoreTargets(top, s.frames, bank, scores.data(), kernel);
        for (int t = 0; t < 37; ++t) {
            EXPECT_NEAR(scores[t], portable[t], 1e-6 * (1.0 + std::abs(portable[t])))
                << kernel.name << ", target " << t;
        }
    }
    EXPECT_STREQ(ScoringKernels()[0].name, "portable");
    EXPECT_TRUE(PreferredScoringKernel().supported());
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

// The pairs counted are those ScoreTargets keeps: posteriors relative to each frame's best, not
// absolute, cut at 1 %, averaged over frames; no frames is no work rather than a division by 0.
TEST(Scoring, KeptPairsAreThoseWithinOnePercentOfEachFramesBest) {
    const float half = std::log(0.5f), kept = std::log(0.0101f), cut = std::log(0.0099f);
    struct Case {
        const char* name;
        std::vector<std::array<float, 3>> frames;
        double expected;
    };
    const Case cases[] = {
        {"relative to a very unlikely frame's best",
         {{-900.0f, -900.0f + half, -900.0f + kept}},
         3.0},
        {"just under 1 % is left out", {{0.0f, cut, kept}}, 2.0},
        {"averaged over frames",
         {{5.0f, 5.0f + half, 5.0f + half}, {5.0f, 5.0f + cut, -40.0f}},
         2.0},
        {"no frames", {}, 0.0},
    };
    for (const Case& c : cases) {
        TopComponents top;
        top.count = 3;
        top.frames = static_cast<Eigen::Index>(c.frames.size());
        top.index.assign(c.frames.size() * 3, 0);
        top.logLikelihood.resize(top.frames, 3);
        for (Eigen::Index f = 0; f < top.frames; ++f) {
            for (int j = 0; j < 3; ++j) {
                top.logLikelihood(f, j) = c.frames[static_cast<size_t>(f)][static_cast<size_t>(j)];
            }
        }
        EXPECT_DOUBLE_EQ(KeptPairsPerFrame(top), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace kestrune
