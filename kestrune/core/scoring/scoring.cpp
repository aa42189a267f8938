// Top-C component selection and the shared scoring of many targets.
#include "core/scoring/scoring.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kestrune {
namespace {

constexpr Eigen::Index kSelectBlock = 2048;

// Floats in the per-block buffer of component terms (about 4 MB), which sets how many frames
// are scored together for a given number of targets.
constexpr Eigen::Index kBlockBudget = Eigen::Index{1} << 20;

// A top component whose background posterior is below this share of the frame's best
// component's is left out of the frame's score: its term changes the score by less than the
// rounding of the scores reported, and leaving it out halves the work per target.
constexpr float kPrunedWeight = 0.01f;

}  // namespace

TopComponents SelectTopComponents(const GmmEvaluator& ubm, const FeatureMatrix& frames,
                                  uint32_t count) {
    const Eigen::Index m = ubm.Components();
    const uint32_t c = static_cast<uint32_t>(std::clamp<Eigen::Index>(count, 1, m));
    TopComponents top;
    top.count = c;
    top.frames = frames.rows();
    top.index.resize(static_cast<size_t>(frames.rows()) * c);
    top.logLikelihood.resize(frames.rows(), c);

    FloatMatrix all;
    std::vector<int32_t> order(m);
    for (Eigen::Index start = 0; start < frames.rows(); start += kSelectBlock) {
        const Eigen::Index rows = std::min(kSelectBlock, frames.rows() - start);
        ubm.ComponentLogLikelihoods(frames.middleRows(start, rows), all);
        for (Eigen::Index t = 0; t < rows; ++t) {
            const auto row = all.row(t);
            std::iota(order.begin(), order.end(), 0);
            std::partial_sort(order.begin(), order.begin() + c, order.end(),
                              [&](int32_t a, int32_t b) {
                                  return row(a) > row(b) || (row(a) == row(b) && a < b);
                              });
            for (uint32_t j = 0; j < c; ++j) {
                top.index[(start + t) * c + j] = order[j];
                top.logLikelihood(start + t, j) = row(order[j]);
            }
        }
    }
    return top;
}

TargetBank::TargetBank(const DiagonalGmm& ubm, const FloatMatrix& targetMeans)
    : components_(ubm.Components()), dimension_(ubm.Dimension()) {
    targets_ = components_ > 0 ? targetMeans.rows() / components_ : 0;
    directions_.resize(static_cast<size_t>(components_ * targets_ * dimension_));
    offsets_.resize(static_cast<size_t>(components_ * targets_));
    const DoubleMatrix precision = ubm.variances.cwiseInverse();
    Eigen::VectorXd ubmNorm(components_);
    for (Eigen::Index m = 0; m < components_; ++m) {
        ubmNorm(m) = ubm.means.row(m).cwiseAbs2().dot(precision.row(m));
    }
    // Working rows sized once: an allocation per target and component cost more than the
    // arithmetic. A few targets at a time, so that both the targets' means (read row by row)
    // and the bank (written component by component) are visited in runs.
    constexpr Eigen::Index kTargetRun = 8;
    Eigen::RowVectorXd ubmMean(dimension_), mean(dimension_), direction(dimension_);
    for (Eigen::Index first = 0; first < targets_; first += kTargetRun) {
        const Eigen::Index last = std::min(first + kTargetRun, targets_);
        for (Eigen::Index m = 0; m < components_; ++m) {
            ubmMean = ubm.means.row(m);
            for (Eigen::Index t = first; t < last; ++t) {
                mean = targetMeans.row(t * components_ + m).cast<double>();
                direction = (mean - ubmMean).cwiseProduct(precision.row(m));
                float* out = directions_.data() + (m * targets_ + t) * dimension_;
                Eigen::Map<Eigen::RowVectorXf>(out, dimension_) = direction.cast<float>();
                const double norm = mean.cwiseAbs2().dot(precision.row(m));
                offsets_[m * targets_ + t] = static_cast<float>(-0.5 * (norm - ubmNorm(m)));
            }
        }
    }
}

TargetBank TargetBank::Gather(const std::vector<Pick>& picks) {
    TargetBank gathered;
    if (picks.empty()) {
        return gathered;
    }
    gathered.components_ = picks.front().bank->components_;
    gathered.dimension_ = picks.front().bank->dimension_;
    gathered.targets_ = static_cast<Eigen::Index>(picks.size());
    const Eigen::Index m = gathered.components_;
    const Eigen::Index d = gathered.dimension_;
    const Eigen::Index t = gathered.targets_;
    gathered.directions_.resize(static_cast<size_t>(m * t * d));
    gathered.offsets_.resize(static_cast<size_t>(m * t));
    struct Run {
        const TargetBank* bank;
        Eigen::Index from, to, count;
    };
    std::vector<Run> runs;
    for (Eigen::Index to = 0; to < t; ++to) {
        const Pick& pick = picks[static_cast<size_t>(to)];
        if (!runs.empty() && runs.back().bank == pick.bank &&
            runs.back().from + runs.back().count == pick.target) {
            ++runs.back().count;
        } else {
            runs.push_back({pick.bank, pick.target, to, 1});
        }
    }
    for (Eigen::Index k = 0; k < m; ++k) {
        for (const Run& run : runs) {
            std::copy_n(run.bank->Directions(k) + run.from * d, run.count * d,
                        gathered.directions_.data() + (k * t + run.to) * d);
            std::copy_n(run.bank->Offsets(k) + run.from, run.count,
                        gathered.offsets_.data() + k * t + run.to);
        }
    }
    return gathered;
}

ConditionBanks::ConditionBanks(const DiagonalGmm& ubm,
                               const std::array<FloatMatrix, kConditions>& means) {
    for (int c = 0; c < kConditions; ++c) {
        banks[static_cast<size_t>(c)] = TargetBank(ubm, means[static_cast<size_t>(c)]);
    }
}

void ScoreTargets(const TopComponents& top, const FeatureMatrix& frames, const TargetBank& bank,
                  double* scores) {
    const Eigen::Index targets = bank.Targets();
    const Eigen::Index c = top.count;
    const Eigen::Index d = bank.Dimension();
    std::fill(scores, scores + targets, 0.0);
    if (targets == 0 || top.frames == 0 || c == 0) {
        return;
    }

    const Eigen::Index block = std::clamp<Eigen::Index>(kBlockBudget / (c * targets), 8, 512);
    // Row r of `terms` holds x_f . v + k of one kept (frame, component) pair, for every target;
    // a frame's pairs are consecutive.
    FloatMatrix terms(block * c, targets);
    std::vector<std::vector<Eigen::Index>> rowsOf(bank.Components());
    std::vector<Eigen::Index> firstRow(static_cast<size_t>(block) + 1);
    std::vector<float> keptWeights(static_cast<size_t>(block * c));
    FeatureMatrix gathered;
    FloatMatrix product;
    Eigen::ArrayXd totals = Eigen::ArrayXd::Zero(targets);
    Eigen::ArrayXf weights(c);
    Eigen::ArrayXf peak(targets);
    Eigen::ArrayXf sum(targets);

    for (Eigen::Index start = 0; start < top.frames; start += block) {
        const Eigen::Index rows = std::min(block, top.frames - start);
        for (auto& list : rowsOf) {
            list.clear();
        }
        // The background's posteriors among each frame's top components; components below
        // kPrunedWeight of the frame's best add nothing a score can show and are left out.
        Eigen::Index row = 0;
        for (Eigen::Index f = 0; f < rows; ++f) {
            firstRow[static_cast<size_t>(f)] = row;
            const auto logLikelihood = top.logLikelihood.row(start + f).array();
            weights = (logLikelihood - logLikelihood.maxCoeff()).exp().transpose();
            float kept = 0.0f;
            for (Eigen::Index j = 0; j < c; ++j) {
                kept += weights(j) >= kPrunedWeight ? weights(j) : 0.0f;
            }
            for (Eigen::Index j = 0; j < c; ++j) {
                if (weights(j) >= kPrunedWeight) {
                    keptWeights[static_cast<size_t>(row)] = weights(j) / kept;
                    rowsOf[top.index[(start + f) * c + j]].push_back(row++);
                }
            }
        }
        firstRow[static_cast<size_t>(rows)] = row;
        for (Eigen::Index m = 0; m < bank.Components(); ++m) {
            const auto& list = rowsOf[m];
            if (list.empty()) {
                continue;
            }
            const auto n = static_cast<Eigen::Index>(list.size());
            gathered.resize(n, d);
            for (Eigen::Index i = 0; i < n; ++i) {
                // The frame of a row: the last frame whose first row is at or before it.
                const auto frame =
                    std::upper_bound(firstRow.begin(), firstRow.begin() + rows + 1, list[i]) -
                    firstRow.begin() - 1;
                gathered.row(i) = frames.row(start + frame);
            }
            const Eigen::Map<const FloatMatrix> directions(bank.Directions(m), targets, d);
            const Eigen::Map<const Eigen::RowVectorXf> offsets(bank.Offsets(m), targets);
            product.noalias() = gathered * directions.transpose();
            for (Eigen::Index i = 0; i < n; ++i) {
                terms.row(list[i]) = product.row(i) + offsets;
            }
        }
        // Per frame: log sum_j w_j exp(term_j) over the kept components, which is the target's
        // top-C log-likelihood minus the background's.
        for (Eigen::Index f = 0; f < rows; ++f) {
            const Eigen::Index first = firstRow[static_cast<size_t>(f)];
            const Eigen::Index count = firstRow[static_cast<size_t>(f) + 1] - first;
            const auto frameTerms = terms.middleRows(first, count);
            if (count == 1) {
                totals += frameTerms.row(0).transpose().array().cast<double>();
                continue;
            }
            peak = frameTerms.colwise().maxCoeff().transpose().array();
            sum.setZero();
            for (Eigen::Index j = 0; j < count; ++j) {
                sum += keptWeights[static_cast<size_t>(first + j)] *
                       (frameTerms.row(j).transpose().array() - peak).exp();
            }
            totals += (sum.log() + peak).cast<double>();
        }
    }
    Eigen::Map<Eigen::ArrayXd>(scores, targets) = totals / static_cast<double>(top.frames);
}

}  // namespace kestrune
