// Per-recording normalisation: sliding mean (and variance) normalisation, and feature warping.
#include "core/frontend/normalisation.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kestrune {

void NormaliseRecording(FeatureMatrix& features, const FrontEndConfig& config) {
    if (config.warping != 0) {
        // The cepstra only: deltas carry no channel offset, and ranking them among the few
        // frames of a short recording would only add noise.
        FeatureMatrix statics = features.leftCols(config.cepstra);
        WarpFeatures(statics, config.normaliseWindow);
        features.leftCols(config.cepstra) = statics;
    } else {
        NormaliseSliding(features, config.normaliseWindow, config.varianceNormalise != 0);
    }
}

namespace {

// Standard normal quantile (Acklam's rational approximation, relative error below 1.2e-9).
double NormalQuantile(double p) {
    static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,
                                   -2.759285104469687e+02, 1.383577518672690e+02,
                                   -3.066479806614716e+01, 2.506628277459239e+00};
    static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02,
                                   -1.556989798598866e+02, 6.680131188771972e+01,
                                   -1.328068155288572e+01};
    static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01,
                                   -2.400758277161838e+00, -2.549732539343734e+00,
                                   4.374664141464968e+00,  2.938163982698783e+00};
    static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01,
                                   2.445134137142996e+00, 3.754408661907416e+00};
    constexpr double low = 0.02425;
    if (p < low) {
        const double q = std::sqrt(-2.0 * std::log(p));
        return (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
               ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
    }
    if (p > 1.0 - low) {
        const double q = std::sqrt(-2.0 * std::log(1.0 - p));
        return -(((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
               ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
    }
    const double q = p - 0.5;
    const double r = q * q;
    return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
           (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1.0);
}

}  // namespace

void WarpFeatures(FeatureMatrix& features, Eigen::Index window) {
    const Eigen::Index rows = features.rows();
    if (rows == 0) {
        return;
    }
    const Eigen::Index n = (window <= 0 || rows <= window) ? rows : window;
    // Quantiles of the 2n + 1 half-ranks a value can have among n: rank r (values below it,
    // ties counted half) maps to the quantile of (r + 1/2) / n.
    std::vector<float> quantiles(static_cast<size_t>(2 * n + 1));
    for (Eigen::Index h = 0; h <= 2 * n; ++h) {
        const double p = (0.5 * static_cast<double>(h) + 0.5) / static_cast<double>(n);
        quantiles[static_cast<size_t>(h)] =
            static_cast<float>(NormalQuantile(std::clamp(p, 0.5 / n, 1.0 - 0.5 / n)));
    }
    const FeatureMatrix source = features;
    std::vector<float> column(static_cast<size_t>(rows));
    for (Eigen::Index j = 0; j < features.cols(); ++j) {
        for (Eigen::Index t = 0; t < rows; ++t) {
            column[static_cast<size_t>(t)] = source(t, j);
        }
        for (Eigen::Index t = 0; t < rows; ++t) {
            const Eigen::Index start = std::clamp<Eigen::Index>(t - n / 2, 0, rows - n);
            const float x = column[static_cast<size_t>(t)];
            Eigen::Index below = 0, equal = 0;
            for (Eigen::Index k = start; k < start + n; ++k) {
                const float y = column[static_cast<size_t>(k)];
                below += y < x;
                equal += y == x;
            }
            // `equal` counts the value itself; the other equal values count half.
            features(t, j) = quantiles[static_cast<size_t>(2 * below + (equal - 1))];
        }
    }
}

void NormaliseFeatures(FeatureMatrix& features, bool variance) {
    if (features.rows() == 0) {
        return;
    }
    const Eigen::RowVectorXf mean = features.colwise().mean();
    features.rowwise() -= mean;
    if (!variance) {
        return;
    }
    const Eigen::RowVectorXf deviation =
        (features.array().square().colwise().sum() / static_cast<float>(features.rows()))
            .sqrt()
            .max(1e-3f)
            .matrix();
    features.array().rowwise() /= deviation.array();
}

void NormaliseSliding(FeatureMatrix& features, Eigen::Index window, bool variance) {
    const Eigen::Index rows = features.rows();
    if (window <= 0 || rows <= window) {
        NormaliseFeatures(features, variance);
        return;
    }
    // Prefix sums in double, so that long recordings keep their precision.
    const Eigen::Index d = features.cols();
    DoubleMatrix sums = DoubleMatrix::Zero(rows + 1, d);
    DoubleMatrix squares = DoubleMatrix::Zero(rows + 1, d);
    for (Eigen::Index t = 0; t < rows; ++t) {
        const Eigen::RowVectorXd x = features.row(t).cast<double>();
        sums.row(t + 1) = sums.row(t) + x;
        squares.row(t + 1) = squares.row(t) + x.cwiseAbs2();
    }
    for (Eigen::Index t = 0; t < rows; ++t) {
        const Eigen::Index start = std::clamp<Eigen::Index>(t - window / 2, 0, rows - window);
        const Eigen::RowVectorXd mean = (sums.row(start + window) - sums.row(start)) / window;
        Eigen::RowVectorXd x = features.row(t).cast<double>() - mean;
        if (variance) {
            const Eigen::RowVectorXd meanSquare =
                (squares.row(start + window) - squares.row(start)) / window;
            x = x.cwiseQuotient((meanSquare - mean.cwiseAbs2()).cwiseMax(1e-6).cwiseSqrt());
        }
        features.row(t) = x.cast<float>();
    }
}

}  // namespace kestrune
