// Diagonal-covariance Gaussian mixtures: evaluation, and training by EM from a deterministic
// start (one component, then repeated splitting).
#pragma once

#include <cstdint>
#include <functional>

#include "core/base/matrix.h"

namespace kestrune {

// A mixture of M Gaussians over D dimensions with diagonal covariances.
struct DiagonalGmm {
    Eigen::VectorXd weights;  // M, positive, summing to 1
    DoubleMatrix means;       // M × D
    DoubleMatrix variances;   // M × D, positive

    Eigen::Index Components() const { return weights.size(); }
    Eigen::Index Dimension() const { return means.cols(); }
    // Shapes agree, every value is finite, weights and variances are positive and the weights
    // sum to 1 (within rounding).
    bool Valid() const;
};

// Evaluates log(w_m N(x; mu_m, sigma_m^2)) for many frames at once as a matrix product:
// x^2 . a_m + x . b_m + c_m with a = -1 / (2 sigma^2), b = mu / sigma^2. Read-only once built.
class GmmEvaluator {
  public:
    explicit GmmEvaluator(const DiagonalGmm& gmm);

    Eigen::Index Components() const { return constants_.size(); }
    Eigen::Index Dimension() const { return quadratic_.rows(); }

    // `out` becomes frames × M.
    void ComponentLogLikelihoods(const Eigen::Ref<const FeatureMatrix>& frames,
                                 FloatMatrix& out) const;

  private:
    FloatMatrix quadratic_;  // D × M
    FloatMatrix linear_;     // D × M
    Eigen::RowVectorXf constants_;
};

struct EmOptions {
    uint32_t components = 256;
    uint32_t iterationsPerSplit = 8;  // EM passes after each split on the way to `components`
    uint32_t finalIterations = 16;    // EM passes once `components` is reached
    double varianceFloor = 0.01;      // per dimension, as a share of the data's variance
    double splitOffset = 0.2;         // new means at mu +/- splitOffset * sigma
    // EM runs on at most this many frames, taken evenly from the training frames: a thousand
    // frames and more per component estimate a diagonal mixture as well as all of them, at a
    // fraction of the time on hours of multi-condition speech.
    uint32_t maximumFrames = 400000;
};

// Called before each EM pass with the current component count, the pass number within the
// current stage (from 1) and its total.
using EmProgress = std::function<void(uint32_t components, uint32_t pass, uint32_t passes)>;

// The variance floor `options.varianceFloor` gives for these frames (1 × D).
Eigen::RowVectorXd VarianceFloor(const FeatureMatrix& frames, double share);

// One EM pass over `frames`: replaces `gmm` by the re-estimate and returns the average
// per-frame log-likelihood of the frames under the model as it was before the pass. Variances
// are kept at or above `floor`; a component that no frame visits keeps its mean and variance.
double EmPass(const FeatureMatrix& frames, DiagonalGmm& gmm, const Eigen::RowVectorXd& floor);

// Average per-frame log-likelihood of `frames` under `gmm`.
double AverageLogLikelihood(const FeatureMatrix& frames, const DiagonalGmm& gmm);

// Splits the heaviest components (at most all of them) until `gmm` has `components`.
void SplitComponents(DiagonalGmm& gmm, uint32_t components, double offset);

// Trains a mixture of `options.components` on `frames` (at least one row; at most
// `options.maximumFrames` of them are used). Deterministic:
// the same frames and options always give the same model.
DiagonalGmm TrainGmm(const FeatureMatrix& frames, const EmOptions& options,
                     const EmProgress& progress = {});

}  // namespace kestrune
