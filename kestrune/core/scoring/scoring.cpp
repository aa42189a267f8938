// Top-C component selection and the shared scoring of many targets.
#include "core/scoring/scoring.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "core/scoring/bfloat16.h"
#include "core/scoring/scoring_kernel.h"

namespace kestrune {
namespace {

constexpr Eigen::Index kSelectBlock = 2048;

// Frames scored together: every block of targets reads its panels once per run of frames, and
// a run's gathered frames (about 1.2 MB for 2048 frames of 40 dimensions) and terms stay in the
// second-level cache while every block goes through them.
constexpr Eigen::Index kChunkFrames = 2048;

// A top component whose background posterior is below this share of the frame's best
// component's is left out of the frame's score: its term changes the score by less than the
// rounding of the scores reported, and leaving it out halves the work per target.
constexpr float kPrunedWeight = 0.01f;

// Frame `f`'s background posteriors among its top components, relative to its best one's.
void RelativePosteriors(const TopComponents& top, Eigen::Index f, Eigen::ArrayXf& posterior) {
    const auto logLikelihood = top.logLikelihood.row(f).array();
    posterior = (logLikelihood - logLikelihood.maxCoeff()).exp().transpose();
}

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
    : components_(ubm.Components()),
      dimension_(ubm.Dimension()),
      centres_(ubm.means.cast<float>()) {
    targets_ = components_ > 0 ? targetMeans.rows() / components_ : 0;
    const Eigen::Index stride = dimension_ + 1;
    panels_.assign(static_cast<size_t>(Blocks() * components_ * stride * kLanes), 0);
    const DoubleMatrix precision = ubm.variances.cwiseInverse();
    // Working rows sized once: an allocation per target and component cost more than the
    // arithmetic. One block of targets at a time, so that its panels are written whole and
    // its targets' means read row by row.
    Eigen::RowVectorXd ubmMean(dimension_), shift(dimension_), direction(dimension_);
    for (Eigen::Index block = 0; block < Blocks(); ++block) {
        const Eigen::Index first = block * kLanes;
        const Eigen::Index last = std::min(first + kLanes, targets_);
        for (Eigen::Index m = 0; m < components_; ++m) {
            ubmMean = ubm.means.row(m);
            for (Eigen::Index t = first; t < last; ++t) {
                shift = targetMeans.row(t * components_ + m).cast<double>() - ubmMean;
                direction = shift.cwiseProduct(precision.row(m));
                // Column t % kLanes of the panel of t's block and component m.
                uint16_t* out =
                    panels_.data() + (block * components_ + m) * stride * kLanes + t % kLanes;
                for (Eigen::Index k = 0; k < dimension_; ++k) {
                    out[k * kLanes] = ToBfloat16(static_cast<float>(direction(k)));
                }
                out[dimension_ * kLanes] =
                    ToBfloat16(static_cast<float>(-0.5 * shift.dot(direction)));
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
    gathered.centres_ = picks.front().bank->centres_;
    gathered.targets_ = static_cast<Eigen::Index>(picks.size());
    const Eigen::Index stride = gathered.dimension_ + 1;
    const Eigen::Index blockValues = gathered.components_ * stride * kLanes;
    gathered.panels_.assign(static_cast<size_t>(gathered.Blocks() * blockValues), 0);
    for (Eigen::Index to = 0; to < gathered.targets_;) {
        const Pick& pick = picks[static_cast<size_t>(to)];
        // A whole block taken in order from a block of the same position: copied as it is.
        Eigen::Index run = 1;
        while (to + run < gathered.targets_ && run < kLanes &&
               picks[static_cast<size_t>(to + run)].bank == pick.bank &&
               picks[static_cast<size_t>(to + run)].target == pick.target + run) {
            ++run;
        }
        if (run == kLanes && to % kLanes == 0 && pick.target % kLanes == 0) {
            std::copy_n(pick.bank->Panels(pick.target / kLanes), blockValues,
                        gathered.panels_.data() + (to / kLanes) * blockValues);
            to += kLanes;
            continue;
        }
        // Else one target: its column of every panel.
        const uint16_t* from = pick.bank->Panels(pick.target / kLanes) + pick.target % kLanes;
        uint16_t* into = gathered.panels_.data() + (to / kLanes) * blockValues + to % kLanes;
        for (Eigen::Index row = 0; row < gathered.components_ * stride; ++row) {
            into[row * kLanes] = from[row * kLanes];
        }
        ++to;
    }
    return gathered;
}

ConditionBanks::ConditionBanks(const DiagonalGmm& ubm,
                               const std::array<FloatMatrix, kConditions>& means) {
    for (int c = 0; c < kConditions; ++c) {
        banks[static_cast<size_t>(c)] = TargetBank(ubm, means[static_cast<size_t>(c)]);
    }
}

ConditionBanks::ConditionBanks(const DiagonalGmm& ubm,
                               const std::array<FloatMatrix, kConditions>& means,
                               const DiagonalGmm& companionUbm,
                               const std::array<FloatMatrix, kConditions>& companionMeans)
    : ConditionBanks(ubm, means) {
    for (int c = 0; c < kConditions; ++c) {
        companion[static_cast<size_t>(c)] =
            TargetBank(companionUbm, companionMeans[static_cast<size_t>(c)]);
    }
}

void ScoreTargets(const TopComponents& top, const FeatureMatrix& frames, const TargetBank& bank,
                  double* scores) {
    ScoreTargets(top, frames, bank, scores, PreferredScoringKernel());
}

double KeptPairsPerFrame(const TopComponents& top) {
    if (top.frames == 0 || top.count == 0) {
        return 0.0;
    }
    Eigen::ArrayXf posterior(top.count);
    Eigen::Index pairs = 0;
    for (Eigen::Index f = 0; f < top.frames; ++f) {
        RelativePosteriors(top, f, posterior);
        pairs += (posterior >= kPrunedWeight).count();
    }
    return static_cast<double>(pairs) / static_cast<double>(top.frames);
}

void ScoreTargets(const TopComponents& top, const FeatureMatrix& frames, const TargetBank& bank,
                  double* scores, const ScoringKernel& kernel) {
    const Eigen::Index targets = bank.Targets();
    const Eigen::Index c = top.count;
    const Eigen::Index d = bank.Dimension();
    const Eigen::Index stride = d + 1;
    std::fill(scores, scores + targets, 0.0);
    if (targets == 0 || top.frames == 0 || c == 0) {
        return;
    }
    constexpr Eigen::Index kLanes = TargetBank::kLanes;
    const FloatMatrix& centres = bank.Centres();
    std::vector<double> totals(static_cast<size_t>(bank.Blocks() * kLanes), 0.0);
    std::vector<int32_t> kept, frameRows, component, firstRow;
    std::vector<int32_t> count(static_cast<size_t>(bank.Components()));
    std::vector<int32_t> next(count.size());
    std::vector<float> weights, rows, terms;
    Eigen::ArrayXf posterior(c);

    for (Eigen::Index start = 0; start < top.frames; start += kChunkFrames) {
        const Eigen::Index n = std::min(kChunkFrames, top.frames - start);
        kept.resize(static_cast<size_t>(n));
        frameRows.resize(static_cast<size_t>(n * c));
        weights.resize(static_cast<size_t>(n * c));
        std::fill(count.begin(), count.end(), 0);
        // The background's posteriors among each frame's top components; components below
        // kPrunedWeight of the frame's best add nothing a score can show and are left out.
        Eigen::Index pairs = 0;
        for (Eigen::Index f = 0; f < n; ++f) {
            RelativePosteriors(top, start + f, posterior);
            float total = 0.0f;
            for (Eigen::Index j = 0; j < c; ++j) {
                total += posterior(j) >= kPrunedWeight ? posterior(j) : 0.0f;
            }
            int32_t k = 0;
            for (Eigen::Index j = 0; j < c; ++j) {
                if (posterior(j) >= kPrunedWeight) {
                    const int32_t m = top.index[(start + f) * c + j];
                    frameRows[f * c + k] = m;
                    weights[f * c + k] = posterior(j) / total;
                    ++count[m];
                    ++k;
                }
            }
            kept[f] = k;
            pairs += k;
        }
        // The kept pairs grouped by component (a counting sort), each row the frame less the
        // component's mean, and a 1.
        component.clear();
        firstRow.clear();
        int32_t row = 0;
        for (int32_t m = 0; m < static_cast<int32_t>(count.size()); ++m) {
            if (count[m] > 0) {
                component.push_back(m);
                firstRow.push_back(row);
                next[m] = row;
                row += count[m];
            }
        }
        firstRow.push_back(row);
        rows.resize(static_cast<size_t>(pairs * stride));
        terms.resize(static_cast<size_t>(pairs * kLanes));
        for (Eigen::Index f = 0; f < n; ++f) {
            for (int32_t j = 0; j < kept[f]; ++j) {
                const int32_t m = frameRows[f * c + j];
                const int32_t r = next[m]++;
                frameRows[f * c + j] = r;
                float* out = rows.data() + r * stride;
                Eigen::Map<Eigen::RowVectorXf>(out, d) = frames.row(start + f) - centres.row(m);
                out[d] = 1.0f;
            }
        }
        ScoringChunk chunk;
        chunk.stride = stride;
        chunk.rows = rows.data();
        chunk.components = static_cast<Eigen::Index>(component.size());
        chunk.component = component.data();
        chunk.firstRow = firstRow.data();
        chunk.frames = n;
        chunk.topCount = c;
        chunk.kept = kept.data();
        chunk.frameRows = frameRows.data();
        chunk.weights = weights.data();
        for (Eigen::Index b = 0; b < bank.Blocks(); ++b) {
            kernel.scoreBlock(chunk, bank.Panels(b), terms.data(), totals.data() + b * kLanes);
        }
    }
    for (Eigen::Index t = 0; t < targets; ++t) {
        scores[t] = totals[static_cast<size_t>(t)] / static_cast<double>(top.frames);
    }
}

}  // namespace kestrune
