// The recording conditions a target has its own model for. A telephone channel removes the
// bands below 300 Hz and above 3.4 kHz, which no normalisation restores, and noise fills the
// spectrum's valleys; a model adapted on noisy copies of a target's speech holds up in noise
// but is less sharp on clean speech. So each target keeps three models: for clean speech (its
// recordings alone), for noisy speech (with noisy copies) and for telephone speech (with
// copies through telephone channels), and a trial is scored against the models its own
// spectrum and noise floor call for.
#pragma once

#include <array>
#include <cmath>

#include "core/frontend/front_end.h"

namespace kestrune {

enum Condition : int { kClean = 0, kNoisy = 1, kTelephone = 2 };
inline constexpr int kConditions = 3;

// Out-of-band level (RecordingTraits::outOfBandDb) at which a trial counts as telephone speech
// with even odds, and the width of the transition: wideband speech measured -7 to -27 dB on
// the development recordings, telephone copies -31 to -41 dB.
inline constexpr float kTelephoneBandDb = -29.0f;
inline constexpr float kTelephoneBandWidthDb = 1.5f;

// Signal-to-noise ratio (RecordingTraits::snrDb) at which a wideband trial counts as noisy
// with even odds, and the width of the transition: noise at 10 dB measured 9-12 dB on the
// development recordings, clean speech 40 dB (no steady floor) for all but a few with a hum.
inline constexpr float kNoisySnrDb = 16.0f;
inline constexpr float kNoisySnrWidthDb = 2.0f;

// Weights below this are left out (the model is not scored).
inline constexpr double kNegligibleWeight = 0.02;

// How far speech of this SNR counts as noisy: 0 (clean) to 1 (noisy).
inline double NoisyWeight(double snrDb) {
    return 1.0 / (1.0 + std::exp((snrDb - kNoisySnrDb) / kNoisySnrWidthDb));
}

// The weight of each condition's models in a trial's score.
inline std::array<double, kConditions> ConditionWeights(const RecordingTraits& traits) {
    const double telephone =
        1.0 / (1.0 + std::exp((traits.outOfBandDb - kTelephoneBandDb) / kTelephoneBandWidthDb));
    const double noisy = NoisyWeight(traits.snrDb);
    std::array<double, kConditions> weights = {(1.0 - telephone) * (1.0 - noisy),
                                               (1.0 - telephone) * noisy, telephone};
    double total = 0.0;
    for (double& weight : weights) {
        weight = weight < kNegligibleWeight ? 0.0 : weight;
        total += weight;
    }
    for (double& weight : weights) {
        weight /= total;
    }
    return weights;
}

}  // namespace kestrune
