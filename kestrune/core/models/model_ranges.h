// The ranges a value read from a model file must lie in. A file is anything its reader was
// given, so "finite" is not enough: a finite but absurd value (a mean of 1e19, a genuine score
// of 1e30) overflows later arithmetic or sizes a table from it. Each bound is wide enough for
// any model the tools can produce from speech, and tight enough that every computation made
// from values inside it stays finite and every size made from it stays small. A file with a
// value outside its range is refused as a damaged file is.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/models/gmm.h"
#include "core/models/target_model.h"

namespace kestrune {

// Features are normalised cepstra (|x| of a few units, raw c0 some hundreds); a mean this far
// out is no speech, and with the variance floor below it keeps every squared distance finite.
inline constexpr double kMaxAbsMean = 1e4;
// Trained variances are floored at a share of the data's (about 1e-4 and up); 1e8 is beyond
// any cepstrum's spread. Their product with the means' range stays far inside a float.
inline constexpr double kMinVariance = 1e-12;
inline constexpr double kMaxVariance = 1e8;
// Training never keeps a component it does not visit; weights sum to 1 within rounding.
inline constexpr double kMinWeight = 1e-12;
inline constexpr double kWeightSumTolerance = 1e-3;
// Genuine scores are cohort-normalised (z-scores, tens at most); beyond a million the curve
// built from them would be meaningless, and its size is computed from their spread.
inline constexpr double kMaxAbsGenuineScore = 1e6;
// Frames of one sample or of one enrollment, 10 ms each: 1e8 is eleven days of speech.
inline constexpr double kMaxFrames = 1e8;
// The MAP relevance factor is a small count (8 by default); 1e6 would leave a model unadapted.
inline constexpr double kMaxRelevance = 1e6;

// The weights of fused scores multiply cohort-normalised scores (units); training gives weights
// of about 1, and beyond 100 one model would drown the other.
inline constexpr double kMaxFusionWeight = 100.0;

// Whether `value` lies in [low, high]; false for NaN.
inline bool InRange(double value, double low, double high) {
    return value >= low && value <= high;
}

inline bool MeanInRange(double value) {
    return InRange(value, -kMaxAbsMean, kMaxAbsMean);
}

inline bool VarianceInRange(double value) {
    return InRange(value, kMinVariance, kMaxVariance);
}

inline bool GenuineScoreInRange(double value) {
    return InRange(value, -kMaxAbsGenuineScore, kMaxAbsGenuineScore);
}

// A score a trial computes for one target is trusted inside this bound: normalised scores of
// real speech are a few tens, and a target whose score leaves it (or is not finite) was made
// from values no speech gives. It keeps every reported score, in thousandths, far from int32's
// ends.
inline constexpr double kMaxAbsTrialScore = 1e6;

inline bool TrialScoreInRange(double value) {
    return InRange(value, -kMaxAbsTrialScore, kMaxAbsTrialScore);
}

// Every weight, mean and variance of `gmm` in its range, the weights summing to 1.
bool MixtureInRange(const DiagonalGmm& gmm);

// Score, frames, SNR and telephone weight of a genuine sample in their ranges.
bool GenuineSampleInRange(const GenuineSample& sample);

}  // namespace kestrune
