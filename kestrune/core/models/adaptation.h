// MAP adaptation of the background model's means towards one speaker's speech.
#pragma once

#include "core/base/matrix.h"
#include "core/models/gmm.h"

namespace kestrune {

// Zeroth and first order statistics of frames under the background model: per component the
// summed posterior and the posterior-weighted sum of the frames.
struct AdaptationStats {
    Eigen::VectorXd occupancy;  // M
    DoubleMatrix first;         // M × D

    // Empty statistics for a model of this shape.
    static AdaptationStats Zero(Eigen::Index components, Eigen::Index dimension);
    AdaptationStats& operator+=(const AdaptationStats& other);
    AdaptationStats& operator-=(const AdaptationStats& other);
    AdaptationStats& operator*=(double factor);
};

// The statistics of `frames` (full posteriors under `ubm`).
AdaptationStats AccumulateStats(const GmmEvaluator& ubm,
                                const Eigen::Ref<const FeatureMatrix>& frames);

// Means adapted from `ubm` by `stats`: each component moves towards the mean of its frames by
// n / (n + relevance), so components the speaker rarely visits stay where the background put
// them. Returns M × D.
FloatMatrix MapAdaptMeans(const DiagonalGmm& ubm, const AdaptationStats& stats, double relevance);

}  // namespace kestrune
