// Range checks over whole decoded models.
#include "core/models/model_ranges.h"

#include <algorithm>

namespace kestrune {

// Every mixture value in its range (model_ranges.h), the weights summing to 1.
bool MixtureInRange(const DiagonalGmm& gmm) {
    double sum = 0.0;
    for (Eigen::Index k = 0; k < gmm.Components(); ++k) {
        if (!InRange(gmm.weights(k), kMinWeight, 1.0)) {
            return false;
        }
        sum += gmm.weights(k);
    }
    const auto all = [](const DoubleMatrix& values, bool (*inRange)(double)) {
        return std::all_of(values.data(), values.data() + values.size(), inRange);
    };
    return std::abs(sum - 1.0) < kWeightSumTolerance && all(gmm.means, MeanInRange) &&
           all(gmm.variances, VarianceInRange);
}

bool GenuineSampleInRange(const GenuineSample& sample) {
    return GenuineScoreInRange(sample.score) && InRange(sample.frames, 1.0, kMaxFrames) &&
           InRange(sample.snrDb, 0.0, kMaxSnrDb) && InRange(sample.telephone, 0.0, 1.0);
}

}  // namespace kestrune
