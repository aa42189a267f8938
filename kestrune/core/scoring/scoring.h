// Scoring frames against many adapted targets at once. The background model picks the few
// components that matter for each frame once per recording; every target is then evaluated on
// those components only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/base/matrix.h"
#include "core/frontend/conditions.h"
#include "core/models/gmm.h"

namespace kestrune {

struct ScoringKernel;  // scoring_kernel.h

// The `count` best background components of each frame, best first, with their weighted
// log-likelihoods.
struct TopComponents {
    uint32_t count = 0;
    Eigen::Index frames = 0;
    std::vector<int32_t> index;  // frames × count
    FloatMatrix logLikelihood;   // frames × count: log(w_m N(x; mu_m, sigma_m^2))
};

TopComponents SelectTopComponents(const GmmEvaluator& ubm, const FeatureMatrix& frames,
                                  uint32_t count);

// The (frame, component) pairs ScoreTargets scores per frame, on average, after leaving out the
// components whose posterior is under 1 % of the frame's best: the work per target is this
// times D + 1 multiply-adds per frame. 0 when there are no frames.
double KeptPairsPerFrame(const TopComponents& top);

// Targets prepared for scoring against one background model. A target that only moved the
// means differs from the background, on component m, by
//   log N(x; mu_t, s^2) - log N(x; mu, s^2) = (x - mu) . v + k,
//   v = (mu_t - mu) / s^2,   k = -(mu_t - mu) . v / 2,
// a dot product of (x - mu, 1) with (v, k). Measured from the component's mean, neither side is
// much larger than the result, so the panels keep their precision in bfloat16 (bfloat16.h).
// The targets are kept in blocks of kLanes: per block and component a panel of D + 1 rows of
// kLanes values (row d holds v_d of the block's targets, row D their k), so a frame is scored
// against a whole block by D + 1 multiply-adds of kLanes-wide rows, and a block's panels
// (21 KB per target for 256 components of 40 dimensions) are read once per run of frames. The
// last block is padded with zero panels.
class TargetBank {
  public:
    static constexpr Eigen::Index kLanes = 16;

    TargetBank() = default;
    // `targetMeans` holds T adapted mean matrices (M × D each) concatenated row by row:
    // T·M rows.
    TargetBank(const DiagonalGmm& ubm, const FloatMatrix& targetMeans);

    // One target of an existing bank.
    struct Pick {
        const TargetBank* bank;
        Eigen::Index target;
    };
    // A bank of targets copied from banks prepared against the same background model: target t
    // is target `picks[t].target` of `*picks[t].bank`. A whole block picked in order from a
    // block at the same position is copied whole, any other target column by column.
    static TargetBank Gather(const std::vector<Pick>& picks);

    Eigen::Index Targets() const { return targets_; }
    Eigen::Index Components() const { return components_; }
    Eigen::Index Dimension() const { return dimension_; }
    Eigen::Index Blocks() const { return (targets_ + kLanes - 1) / kLanes; }

    // Block b's panels: M × (D + 1) × kLanes bfloat16 values, component m's at m (D + 1) kLanes.
    const uint16_t* Panels(Eigen::Index block) const {
        return panels_.data() + block * components_ * (dimension_ + 1) * kLanes;
    }

    // The background model's means (M × D), from which the frames are measured.
    const FloatMatrix& Centres() const { return centres_; }

    // The memory the bank holds: its panels and the means.
    size_t Bytes() const {
        return panels_.size() * sizeof(uint16_t) +
               static_cast<size_t>(centres_.size()) * sizeof(float);
    }

  private:
    Eigen::Index targets_ = 0;
    Eigen::Index components_ = 0;
    Eigen::Index dimension_ = 0;
    FloatMatrix centres_;
    std::vector<uint16_t> panels_;  // blocks × M × (D + 1) × kLanes
};

// The same targets' models for every condition (conditions.h), each prepared for scoring, and
// when the background model has a companion (score-level fusion), their models adapted from it.
struct ConditionBanks {
    ConditionBanks() = default;
    // `means[c]` holds the T targets' models for condition c, as TargetBank takes them.
    ConditionBanks(const DiagonalGmm& ubm, const std::array<FloatMatrix, kConditions>& means);
    // The same with the models adapted from the companion `companionUbm`, alike.
    ConditionBanks(const DiagonalGmm& ubm, const std::array<FloatMatrix, kConditions>& means,
                   const DiagonalGmm& companionUbm,
                   const std::array<FloatMatrix, kConditions>& companionMeans);

    Eigen::Index Targets() const { return banks[0].Targets(); }

    std::array<TargetBank, kConditions> banks;
    std::array<TargetBank, kConditions> companion;  // empty without a companion
};

// The average per-frame log-likelihood ratio of every target against the background, over
// all frames, using the top components only: `scores` receives T values. With no frames every
// score is 0.
void ScoreTargets(const TopComponents& top, const FeatureMatrix& frames, const TargetBank& bank,
                  double* scores);

// The same with a given kernel of ScoringKernels() (scoring_kernel.h), which this processor
// must support; the one above takes the preferred kernel.
void ScoreTargets(const TopComponents& top, const FeatureMatrix& frames, const TargetBank& bank,
                  double* scores, const ScoringKernel& kernel);

}  // namespace kestrune
