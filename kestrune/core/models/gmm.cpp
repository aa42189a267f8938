// Diagonal GMM evaluation and EM training.
#include "core/models/gmm.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <vector>

namespace kestrune {
namespace {

// Frames per block in EM, so that the posteriors of a long recording never need one matrix of
// frames × components.
constexpr Eigen::Index kEmBlock = 4096;

// A share of the total weight below which a component counts as unvisited.
constexpr double kUnvisited = 1e-8;

struct DoubleTerms {
    DoubleMatrix quadratic;  // D × M
    DoubleMatrix linear;     // D × M
    Eigen::RowVectorXd constants;
};

DoubleTerms Terms(const DiagonalGmm& gmm) {
    const DoubleMatrix precision = gmm.variances.cwiseInverse();
    DoubleTerms terms;
    terms.quadratic = (-0.5 * precision).transpose();
    terms.linear = gmm.means.cwiseProduct(precision).transpose();
    const double log2Pi = std::log(2.0 * std::numbers::pi);
    terms.constants.resize(gmm.Components());
    for (Eigen::Index m = 0; m < gmm.Components(); ++m) {
        terms.constants(m) =
            std::log(gmm.weights(m)) -
            0.5 * (gmm.Dimension() * log2Pi + gmm.variances.row(m).array().log().sum() +
                   gmm.means.row(m).cwiseProduct(precision.row(m)).dot(gmm.means.row(m)));
    }
    return terms;
}

// Turns each row of log-likelihoods into posteriors in place; returns the rows' log-sums.
Eigen::VectorXd PosteriorsInPlace(DoubleMatrix& logLikelihoods) {
    Eigen::VectorXd logSum(logLikelihoods.rows());
    for (Eigen::Index t = 0; t < logLikelihoods.rows(); ++t) {
        auto row = logLikelihoods.row(t);
        const double top = row.maxCoeff();
        row.array() = (row.array() - top).exp();
        const double sum = row.sum();
        row /= sum;
        logSum(t) = top + std::log(sum);
    }
    return logSum;
}

}  // namespace

bool DiagonalGmm::Valid() const {
    const Eigen::Index m = weights.size();
    if (m < 1 || means.rows() != m || variances.rows() != m || means.cols() < 1 ||
        variances.cols() != means.cols()) {
        return false;
    }
    if (!weights.allFinite() || !means.allFinite() || !variances.allFinite()) {
        return false;
    }
    return (weights.array() > 0.0).all() && (variances.array() > 0.0).all() &&
           std::abs(weights.sum() - 1.0) < 1e-3;
}

GmmEvaluator::GmmEvaluator(const DiagonalGmm& gmm) {
    const DoubleTerms terms = Terms(gmm);
    quadratic_ = terms.quadratic.cast<float>();
    linear_ = terms.linear.cast<float>();
    constants_ = terms.constants.cast<float>();
}

void GmmEvaluator::ComponentLogLikelihoods(const Eigen::Ref<const FeatureMatrix>& frames,
                                           FloatMatrix& out) const {
    out.noalias() = frames.array().square().matrix() * quadratic_;
    out.noalias() += frames * linear_;
    out.rowwise() += constants_;
}

Eigen::RowVectorXd VarianceFloor(const FeatureMatrix& frames, double share) {
    const DoubleMatrix x = frames.cast<double>();
    const Eigen::RowVectorXd mean = x.colwise().mean();
    const Eigen::RowVectorXd variance =
        (x.rowwise() - mean).array().square().colwise().mean().matrix();
    return (variance * share).cwiseMax(1e-10);
}

double EmPass(const FeatureMatrix& frames, DiagonalGmm& gmm, const Eigen::RowVectorXd& floor) {
    const Eigen::Index m = gmm.Components();
    const Eigen::Index d = gmm.Dimension();
    const Eigen::Index n = frames.rows();
    const DoubleTerms terms = Terms(gmm);

    Eigen::VectorXd occupancy = Eigen::VectorXd::Zero(m);
    DoubleMatrix first = DoubleMatrix::Zero(m, d);
    DoubleMatrix second = DoubleMatrix::Zero(m, d);
    double logLikelihood = 0.0;
    DoubleMatrix x, x2, posteriors;
    for (Eigen::Index start = 0; start < n; start += kEmBlock) {
        const Eigen::Index rows = std::min(kEmBlock, n - start);
        x = frames.middleRows(start, rows).cast<double>();
        x2 = x.array().square().matrix();
        posteriors.noalias() = x2 * terms.quadratic;
        posteriors.noalias() += x * terms.linear;
        posteriors.rowwise() += terms.constants;
        logLikelihood += PosteriorsInPlace(posteriors).sum();
        occupancy += posteriors.colwise().sum().transpose();
        first.noalias() += posteriors.transpose() * x;
        second.noalias() += posteriors.transpose() * x2;
    }

    const double total = occupancy.sum();
    for (Eigen::Index k = 0; k < m; ++k) {
        if (occupancy(k) <= kUnvisited * total) {
            gmm.weights(k) = kUnvisited;
            continue;
        }
        gmm.weights(k) = occupancy(k) / total;
        gmm.means.row(k) = first.row(k) / occupancy(k);
        const Eigen::RowVectorXd variance =
            second.row(k) / occupancy(k) - gmm.means.row(k).cwiseAbs2();
        gmm.variances.row(k) = variance.cwiseMax(floor);
    }
    gmm.weights /= gmm.weights.sum();
    return logLikelihood / static_cast<double>(n);
}

double AverageLogLikelihood(const FeatureMatrix& frames, const DiagonalGmm& gmm) {
    const DoubleTerms terms = Terms(gmm);
    double sum = 0.0;
    DoubleMatrix x, logLikelihoods;
    for (Eigen::Index start = 0; start < frames.rows(); start += kEmBlock) {
        const Eigen::Index rows = std::min(kEmBlock, frames.rows() - start);
        x = frames.middleRows(start, rows).cast<double>();
        logLikelihoods.noalias() = x.array().square().matrix() * terms.quadratic;
        logLikelihoods.noalias() += x * terms.linear;
        logLikelihoods.rowwise() += terms.constants;
        sum += PosteriorsInPlace(logLikelihoods).sum();
    }
    return frames.rows() > 0 ? sum / static_cast<double>(frames.rows()) : 0.0;
}

void SplitComponents(DiagonalGmm& gmm, uint32_t components, double offset) {
    const Eigen::Index current = gmm.Components();
    const Eigen::Index target = std::min<Eigen::Index>(components, 2 * current);
    if (target <= current) {
        return;
    }
    // Heaviest first; equal weights keep their index order, so the result is deterministic.
    std::vector<Eigen::Index> order(current);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](Eigen::Index a, Eigen::Index b) {
        return gmm.weights(a) > gmm.weights(b);
    });

    DiagonalGmm split;
    split.weights = Eigen::VectorXd::Zero(target);
    split.means = DoubleMatrix::Zero(target, gmm.Dimension());
    split.variances = DoubleMatrix::Zero(target, gmm.Dimension());
    split.weights.head(current) = gmm.weights;
    split.means.topRows(current) = gmm.means;
    split.variances.topRows(current) = gmm.variances;
    for (Eigen::Index i = 0; i < target - current; ++i) {
        const Eigen::Index k = order[i];
        const Eigen::Index added = current + i;
        const Eigen::RowVectorXd shift = offset * gmm.variances.row(k).cwiseSqrt();
        split.means.row(k) = gmm.means.row(k) + shift;
        split.means.row(added) = gmm.means.row(k) - shift;
        split.variances.row(added) = gmm.variances.row(k);
        split.weights(k) = split.weights(added) = gmm.weights(k) / 2.0;
    }
    gmm = std::move(split);
}

DiagonalGmm TrainGmm(const FeatureMatrix& all, const EmOptions& options,
                     const EmProgress& progress) {
    // Every step-th frame when there are more than the options allow.
    const Eigen::Index step =
        options.maximumFrames == 0
            ? 1
            : std::max<Eigen::Index>(
                  1, (all.rows() + options.maximumFrames - 1) / options.maximumFrames);
    FeatureMatrix subsample;
    if (step > 1) {
        subsample.resize((all.rows() + step - 1) / step, all.cols());
        for (Eigen::Index t = 0; t < subsample.rows(); ++t) {
            subsample.row(t) = all.row(t * step);
        }
    }
    const FeatureMatrix& frames = step > 1 ? subsample : all;
    const Eigen::RowVectorXd floor = VarianceFloor(frames, options.varianceFloor);
    const DoubleMatrix x = frames.cast<double>();

    DiagonalGmm gmm;
    gmm.weights = Eigen::VectorXd::Ones(1);
    gmm.means = x.colwise().mean();
    gmm.variances = (x.rowwise() - gmm.means.row(0)).array().square().colwise().mean().matrix();
    gmm.variances = gmm.variances.cwiseMax(floor);

    const uint32_t wanted = std::max<uint32_t>(options.components, 1);
    while (static_cast<uint32_t>(gmm.Components()) < wanted) {
        SplitComponents(gmm, wanted, options.splitOffset);
        const bool last = static_cast<uint32_t>(gmm.Components()) == wanted;
        const uint32_t passes = last ? options.finalIterations : options.iterationsPerSplit;
        for (uint32_t pass = 1; pass <= passes; ++pass) {
            if (progress) {
                progress(static_cast<uint32_t>(gmm.Components()), pass, passes);
            }
            EmPass(frames, gmm, floor);
        }
    }
    return gmm;
}

}  // namespace kestrune
