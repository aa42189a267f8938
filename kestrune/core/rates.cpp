// Error rates from normalised scores.
#include "core/rates.h"

#include <algorithm>
#include <cmath>

namespace kestrune {
namespace {

// Kernel widths of the genuine-score estimate, chosen on the validation trials: length on a
// natural-log scale, estimated SNR in dB, telephone weight, and the score itself.
constexpr double kLengthWidth = 0.5;
constexpr double kSnrWidth = 6.0;
constexpr double kTelephoneWidth = 0.3;
constexpr double kScoreWidth = 0.4;

double NormalCdf(double x) {
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

}  // namespace

double FalseAcceptancePercent(double z) {
    return 100.0 * NormalCdf(-z);
}

double FalseRejectionPercent(const std::vector<GenuineSample>& genuine,
                             const TrialConditions& conditions, double score) {
    if (genuine.empty()) {
        return 0.0;
    }
    // Log-weights first, so that the nearest sample weighs 1 however far the trial lies from
    // all of them.
    const double logFrames = std::log(std::max(conditions.frames, 1.0));
    std::vector<double> exponents(genuine.size());
    for (size_t i = 0; i < genuine.size(); ++i) {
        const GenuineSample& sample = genuine[i];
        const double length =
            (std::log(std::max<double>(sample.frames, 1.0)) - logFrames) / kLengthWidth;
        const double snr = (sample.snrDb - conditions.snrDb) / kSnrWidth;
        const double telephone = (sample.telephone - conditions.telephone) / kTelephoneWidth;
        exponents[i] = -0.5 * (length * length + snr * snr + telephone * telephone);
    }
    const double nearest = *std::max_element(exponents.begin(), exponents.end());
    double weights = 0.0, below = 0.0;
    for (size_t i = 0; i < genuine.size(); ++i) {
        const double weight = std::exp(exponents[i] - nearest);
        weights += weight;
        below += weight * NormalCdf((score - genuine[i].score) / kScoreWidth);
    }
    return 100.0 * below / weights;
}

int32_t PercentThousandths(double percent) {
    if (!(percent > 0.0)) {
        return 0;
    }
    return static_cast<int32_t>(std::lround(std::min(percent, 100.0) * 1000.0));
}

}  // namespace kestrune
