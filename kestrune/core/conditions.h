// The recording conditions a target has its own model for. A telephone channel removes the
// bands below 300 Hz and above 3.4 kHz, which no normalisation restores, so each target keeps
// one model for wideband speech (adapted on its clean recordings and noisy copies of them) and
// one for telephone speech (its clean recordings and copies through telephone channels); a
// trial is scored against the model of the condition its spectrum shows.
#pragma once

#include <cmath>

namespace kestrune {

// Out-of-band level (RecordingTraits::outOfBandDb) at which a trial counts as telephone speech
// with even odds, and the width of the transition: wideband speech measured -7 to -27 dB on
// the development recordings, telephone copies -31 to -41 dB.
inline constexpr float kTelephoneBandDb = -29.0f;
inline constexpr float kTelephoneBandWidthDb = 1.5f;

// Weights below this (or above 1 minus it) score one model only.
inline constexpr double kSingleModelWeight = 0.02;

// The weight of the telephone model in a trial's score, from its out-of-band level.
inline double TelephoneWeight(float outOfBandDb) {
    return 1.0 / (1.0 + std::exp((outOfBandDb - kTelephoneBandDb) / kTelephoneBandWidthDb));
}

}  // namespace kestrune
