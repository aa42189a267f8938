// Scoring frames against many adapted targets at once. The background model picks the few
// components that matter for each frame once per recording; every target is then evaluated on
// those components only.
#pragma once

#include <cstdint>
#include <vector>

#include <array>

#include "core/frontend/conditions.h"
#include "core/models/gmm.h"
#include "core/models/matrix.h"

namespace kestrune {

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

// Targets prepared for scoring against one background model. A target that only moved the
// means differs from the background, on component m, by
//   log N(x; mu_t, s^2) - log N(x; mu, s^2) = x . v + k,
//   v = (mu_t - mu) / s^2,   k = -(|mu_t|^2_s - |mu|^2_s) / 2,
// so per component all targets form one T × D matrix and a block of frames is scored against
// all of them by one matrix product.
class TargetBank {
  public:
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
    // is target `picks[t].target` of `*picks[t].bank`. Runs of consecutive targets of one bank
    // are copied whole.
    static TargetBank Gather(const std::vector<Pick>& picks);

    Eigen::Index Targets() const { return targets_; }
    Eigen::Index Components() const { return components_; }
    Eigen::Index Dimension() const { return dimension_; }

    // Component m's directions (T × D, row-major) and offsets (T).
    const float* Directions(Eigen::Index m) const {
        return directions_.data() + m * targets_ * dimension_;
    }
    const float* Offsets(Eigen::Index m) const { return offsets_.data() + m * targets_; }

  private:
    Eigen::Index targets_ = 0;
    Eigen::Index components_ = 0;
    Eigen::Index dimension_ = 0;
    std::vector<float> directions_;  // M × T × D
    std::vector<float> offsets_;     // M × T
};

// The same targets' models for every condition (conditions.h), each prepared for scoring.
struct ConditionBanks {
    ConditionBanks() = default;
    // `means[c]` holds the T targets' models for condition c, as TargetBank takes them.
    ConditionBanks(const DiagonalGmm& ubm, const std::array<FloatMatrix, kConditions>& means);

    Eigen::Index Targets() const { return banks[0].Targets(); }

    std::array<TargetBank, kConditions> banks;
};

// The average per-frame log-likelihood ratio of every target against the background, over
// all frames, using the top components only: `scores` receives T values. With no frames every
// score is 0.
void ScoreTargets(const TopComponents& top, const FeatureMatrix& frames, const TargetBank& bank,
                  double* scores);

}  // namespace kestrune
