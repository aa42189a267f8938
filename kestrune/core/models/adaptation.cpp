// MAP adaptation of means.
#include "core/models/adaptation.h"

#include <algorithm>

namespace kestrune {
namespace {

constexpr Eigen::Index kStatsBlock = 2048;

}  // namespace

AdaptationStats AdaptationStats::Zero(Eigen::Index components, Eigen::Index dimension) {
    return {Eigen::VectorXd::Zero(components), DoubleMatrix::Zero(components, dimension)};
}

AdaptationStats& AdaptationStats::operator+=(const AdaptationStats& other) {
    occupancy += other.occupancy;
    first += other.first;
    return *this;
}

AdaptationStats& AdaptationStats::operator-=(const AdaptationStats& other) {
    occupancy -= other.occupancy;
    first -= other.first;
    // Subtracting a part from its whole can leave rounding noise below zero.
    occupancy = occupancy.cwiseMax(0.0);
    return *this;
}

AdaptationStats& AdaptationStats::operator*=(double factor) {
    occupancy *= factor;
    first *= factor;
    return *this;
}

AdaptationStats AccumulateStats(const GmmEvaluator& ubm,
                                const Eigen::Ref<const FeatureMatrix>& frames) {
    AdaptationStats stats = AdaptationStats::Zero(ubm.Components(), ubm.Dimension());
    FloatMatrix logLikelihoods;
    for (Eigen::Index start = 0; start < frames.rows(); start += kStatsBlock) {
        const Eigen::Index rows = std::min(kStatsBlock, frames.rows() - start);
        const auto block = frames.middleRows(start, rows);
        ubm.ComponentLogLikelihoods(block, logLikelihoods);
        for (Eigen::Index t = 0; t < rows; ++t) {
            auto row = logLikelihoods.row(t);
            row.array() = (row.array() - row.maxCoeff()).exp();
            row /= row.sum();
        }
        const DoubleMatrix posteriors = logLikelihoods.cast<double>();
        stats.occupancy += posteriors.colwise().sum().transpose();
        stats.first.noalias() += posteriors.transpose() * block.cast<double>();
    }
    return stats;
}

FloatMatrix MapAdaptMeans(const DiagonalGmm& ubm, const AdaptationStats& stats, double relevance) {
    DoubleMatrix means = ubm.means;
    for (Eigen::Index m = 0; m < ubm.Components(); ++m) {
        const double n = stats.occupancy(m);
        if (n <= 0.0) {
            continue;
        }
        const double alpha = n / (n + relevance);
        means.row(m) = alpha * (stats.first.row(m) / n) + (1.0 - alpha) * ubm.means.row(m);
    }
    return means.cast<float>();
}

}  // namespace kestrune
