// Error rates from normalised scores.
#include "core/scoring/rates.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "core/frontend/conditions.h"

namespace kestrune {
namespace {

// Kernel widths of the genuine-score estimate, chosen on the validation trials: length on a
// natural-log scale, estimated SNR in dB, telephone weight, and the score itself.
constexpr double kLengthWidth = 0.6;
constexpr double kSnrWidth = 6.0;
constexpr double kTelephoneWidth = 0.3;
constexpr double kScoreWidth = 0.4;

// How much higher a held-out part scores as a degraded copy made at enrollment than real
// recordings in the same noise or channel do, in normalised score units. A copy's noise is
// white and its channel one of those the condition model itself was adapted on; real noise
// and channels are others, and real degraded trials scored lower, the more so the lower their
// SNR: the noisy copies' optimism grows by kNoisyCopyOptimismPer10Db for every 10 dB below
// kNoisySnrDb. Chosen on the validation trials (brown noise and babble at 10 and 5 dB, a
// 300-3400 Hz mu-law channel), together with kLengthExponent: the share of genuine trials
// reported at FRR <= 5 % went from 7.1 (10 dB), 17.0 (5 dB) and 7.9 % (telephone), averaged
// over the protocols, to 3.5, 5.7 and 3.2 %.
constexpr double kNoisyCopyOptimism = 2.0;
constexpr double kNoisyCopyOptimismPer10Db = 2.0;
constexpr double kTelephoneCopyOptimism = 2.5;

// Genuine normalised scores grow with the trial's length, about as its speech frames to this
// power: each held-out sample is carried to the trial's length before it is weighted, so that
// the many short samples near a long trial do not drag its curve down. Without it, long clean
// trials were reported at FRR <= 5 % far less often than 5 % of the time (1.0 % of the clean
// and 1.1 % of the 2-s validation trials; with it 3.7 and 2.3 %). Chosen on the validation
// trials (0, 0.1, 0.15, 0.2, 0.25, 0.5).
constexpr double kLengthExponent = 0.2;
// A sample is carried at most this factor longer or shorter: the development trials measure
// the growth over about that range, and no further.
constexpr double kMaxCarriedLengthRatio = 4.0;

double DegradedCopyOptimism(const GenuineSample& sample) {
    const double noisy = NoisyWeight(sample.snrDb);
    const double belowNoisy = std::max(0.0, (kNoisySnrDb - sample.snrDb) / 10.0);
    return (kNoisyCopyOptimism + kNoisyCopyOptimismPer10Db * belowNoisy) * noisy *
               (1.0 - sample.telephone) +
           kTelephoneCopyOptimism * sample.telephone;
}

double NormalCdf(double x) {
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

// The continued fraction of the incomplete beta function (modified Lentz's method).
double BetaContinuedFraction(double a, double b, double x) {
    constexpr double kTiny = 1e-300;
    double c = 1.0;
    double d = 1.0 - (a + b) * x / (a + 1.0);
    d = 1.0 / (std::abs(d) < kTiny ? kTiny : d);
    double fraction = d;
    for (int m = 1; m <= 300; ++m) {
        for (int half = 0; half < 2; ++half) {
            const double numerator =
                half == 0 ? m * (b - m) * x / ((a + 2 * m - 1) * (a + 2 * m))
                          : -(a + m) * (a + b + m) * x / ((a + 2 * m) * (a + 2 * m + 1));
            d = 1.0 + numerator * d;
            d = 1.0 / (std::abs(d) < kTiny ? kTiny : d);
            c = 1.0 + numerator / c;
            c = std::abs(c) < kTiny ? kTiny : c;
            fraction *= c * d;
            if (half == 1 && std::abs(c * d - 1.0) < 1e-12) {
                return fraction;
            }
        }
    }
    return fraction;
}

// I_x(a, b), the regularised incomplete beta function, for x in [0, 1].
double RegularisedIncompleteBeta(double a, double b, double x) {
    if (x <= 0.0) {
        return 0.0;
    }
    if (x >= 1.0) {
        return 1.0;
    }
    const double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) +
                                  a * std::log(x) + b * std::log1p(-x));
    // The fraction converges fast on the side of x below the mean; the other side by symmetry.
    if (x < (a + 1.0) / (a + b + 2.0)) {
        return front * BetaContinuedFraction(a, b, x) / a;
    }
    return 1.0 - front * BetaContinuedFraction(b, a, 1.0 - x) / b;
}

// A genuine sample as a trial in `conditions` reads it: its score carried to the trial's
// length, and its weight relative to the nearest sample's.
struct WeightedSample {
    double score = 0.0;
    double weight = 0.0;
};

std::vector<WeightedSample> WeightedSamples(const std::vector<GenuineSample>& genuine,
                                            const TrialConditions& conditions) {
    // Log-weights first, so that the nearest sample weighs 1 however far the trial lies from
    // all of them.
    const double logFrames = std::log(std::max(conditions.frames, 1.0));
    const double maxLogRatio = std::log(kMaxCarriedLengthRatio);
    std::vector<WeightedSample> weighted(genuine.size());
    double nearest = -std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < genuine.size(); ++i) {
        const GenuineSample& sample = genuine[i];
        const double logRatio = logFrames - std::log(std::max<double>(sample.frames, 1.0));
        const double length = logRatio / kLengthWidth;
        const double snr = (sample.snrDb - conditions.snrDb) / kSnrWidth;
        const double telephone = (sample.telephone - conditions.telephone) / kTelephoneWidth;
        weighted[i].weight = -0.5 * (length * length + snr * snr + telephone * telephone);
        weighted[i].score =
            sample.score *
            std::exp(kLengthExponent * std::clamp(logRatio, -maxLogRatio, maxLogRatio));
        nearest = std::max(nearest, weighted[i].weight);
    }
    for (WeightedSample& sample : weighted) {
        sample.weight = std::exp(sample.weight - nearest);
    }
    return weighted;
}

// Points of a tabulated curve: spaced a tenth of the kernel's width apart, the curve is
// smooth to far better than a thousandth of a percent between them.
constexpr double kCurveStep = kScoreWidth / 10.0;
// The curve is flat (0 or 100 %) beyond this many kernel widths outside the samples.
constexpr double kCurveMargin = 6.0;

}  // namespace

double FalseAcceptancePercent(double z, double degreesOfFreedom) {
    if (!(degreesOfFreedom > 0.0)) {
        return 100.0 * NormalCdf(-z);
    }
    // Student's t: P(T > z) = I_x(n / 2, 1 / 2) / 2 with x = n / (n + z^2), for z >= 0.
    const double n = degreesOfFreedom;
    const double tail = 0.5 * RegularisedIncompleteBeta(n / 2.0, 0.5, n / (n + z * z));
    return 100.0 * (z >= 0.0 ? tail : 1.0 - tail);
}

double ImpostorSpread(double frames) {
    // NaN or fewer than one frame count as one.
    return std::sqrt(1.0 + kShortTrialImpostorVariance / (frames > 1.0 ? frames : 1.0));
}

double FalseRejectionPercent(const std::vector<GenuineSample>& genuine,
                             const TrialConditions& conditions, double score) {
    if (genuine.empty()) {
        return 0.0;
    }
    double total = 0.0, below = 0.0;
    for (const WeightedSample& sample : WeightedSamples(genuine, conditions)) {
        total += sample.weight;
        below += sample.weight * NormalCdf((score - sample.score) / kScoreWidth);
    }
    return 100.0 * below / total;
}

std::vector<GenuineSample> PoolGenuineSamples(
    const std::vector<std::vector<GenuineSample>>& perTarget) {
    std::vector<GenuineSample> pooled;
    for (const auto& samples : perTarget) {
        pooled.insert(pooled.end(), samples.begin(), samples.end());
    }
    if (pooled.size() > kPooledSamples) {
        // A fixed pseudo-random choice: a stride would pick the same lengths and conditions
        // from every target, as each target lists its samples in the same order.
        std::mt19937 random(20261208);
        std::shuffle(pooled.begin(), pooled.end(), random);
        pooled.resize(kPooledSamples);
    }
    for (GenuineSample& sample : pooled) {
        sample.score -= static_cast<float>(DegradedCopyOptimism(sample));
    }
    return pooled;
}

FalseRejectionCurve::FalseRejectionCurve(const std::vector<GenuineSample>& genuine,
                                         const TrialConditions& conditions) {
    if (genuine.empty()) {
        return;
    }
    // The samples' weights gathered on a grid of scores, smoothed by the score kernel (a
    // Gaussian of kScoreWidth, tabulated once), then summed into the curve.
    const std::vector<WeightedSample> weighted = WeightedSamples(genuine, conditions);
    double low = weighted.front().score, high = low;
    for (const WeightedSample& sample : weighted) {
        low = std::min(low, sample.score);
        high = std::max(high, sample.score);
    }
    // The grid's size comes from the samples' spread, which files set: it is checked before
    // any cast, and a spread wider than the table allows coarsens the grid instead.
    const double span = high - low + 2.0 * kCurveMargin * kScoreWidth;
    if (!std::isfinite(span) || !(span > 0.0)) {
        return;
    }
    step_ = std::max(kCurveStep, span / static_cast<double>(kMaxCurvePoints - 8));
    // At least two points beyond the samples on each side, so that a coarse grid still ends
    // flat at 0 and 100 %.
    const double margin = std::max(kCurveMargin * kScoreWidth, 2.0 * step_);
    first_ = low - margin;
    const auto points =
        std::min(static_cast<size_t>((high - low + 2.0 * margin) / step_) + 2, kMaxCurvePoints);
    std::vector<double> mass(points, 0.0);
    double total = 0.0;
    for (const WeightedSample& sample : weighted) {
        // Split between the two nearest points, which keeps the mean of the samples exact.
        const double position =
            std::clamp((sample.score - first_) / step_, 0.0, static_cast<double>(points - 2));
        const auto below = static_cast<size_t>(position);
        const double fraction = position - static_cast<double>(below);
        mass[below] += sample.weight * (1.0 - fraction);
        mass[below + 1] += sample.weight * fraction;
        total += sample.weight;
    }
    const auto reach = static_cast<ptrdiff_t>(kCurveMargin * kScoreWidth / step_);
    std::vector<double> kernel(static_cast<size_t>(2 * reach + 1));
    for (ptrdiff_t k = -reach; k <= reach; ++k) {
        // The share of a sample at offset k below each point: the normal CDF at the offset.
        kernel[static_cast<size_t>(k + reach)] =
            NormalCdf(static_cast<double>(k) * step_ / kScoreWidth);
    }
    // Each point takes all the mass more than `reach` points below it whole (a running sum,
    // added in the same order as point by point) and the mass within reach through the kernel:
    // linear in the points, whatever their number.
    percent_.assign(points, 0.0);
    double farBelow = 0.0;  // the mass of points 0 .. p - reach - 1
    for (size_t p = 0; p < points; ++p) {
        const auto signedP = static_cast<ptrdiff_t>(p);
        if (signedP - reach - 1 >= 0) {
            farBelow += mass[static_cast<size_t>(signedP - reach - 1)];
        }
        double below = farBelow;
        const auto first = static_cast<size_t>(std::max<ptrdiff_t>(signedP - reach, 0));
        const auto last = static_cast<size_t>(std::min<ptrdiff_t>(signedP + reach, points - 1));
        for (size_t q = first; q <= last; ++q) {
            const auto offset = signedP - static_cast<ptrdiff_t>(q);
            below += mass[q] * kernel[static_cast<size_t>(offset + reach)];
        }
        percent_[p] = 100.0 * below / total;
    }
}

double FalseRejectionCurve::Percent(double score) const {
    if (percent_.empty()) {
        return 0.0;
    }
    const double position = (score - first_) / step_;
    if (!(position > 0.0)) {
        return percent_.front();
    }
    if (position >= static_cast<double>(percent_.size() - 1)) {
        return percent_.back();
    }
    const auto below = static_cast<size_t>(position);
    const double fraction = position - static_cast<double>(below);
    return percent_[below] + fraction * (percent_[below + 1] - percent_[below]);
}

int32_t PercentThousandths(double percent) {
    if (!(percent > 0.0)) {
        return 0;
    }
    return static_cast<int32_t>(std::lround(std::min(percent, 100.0) * 1000.0));
}

}  // namespace kestrune
