// What a target model file holds: the target's adapted means for each condition, and the
// genuine scores measured at enrollment from which scoring reads false-rejection rates.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/base/matrix.h"
#include "core/frontend/conditions.h"

namespace kestrune {

// One genuine score measured at enrollment: a held-out part of the target's speech scored
// against a model adapted without it, normalised by the cohort as a trial would be.
struct GenuineSample {
    float score = 0.0f;
    float frames = 0.0f;
    float snrDb = 0.0f;
    float telephone = 0.0f;
};

// What a target model file holds.
struct TargetModel {
    uint64_t ubmFingerprint = 0;
    float relevance = 0.0f;
    uint32_t enrollmentFrames = 0;
    std::array<FloatMatrix, kConditions> means;  // M × D for each condition
    // Adapted from the background model's companion, as `means` from the model itself; empty
    // (0 × 0) when the background model has no companion.
    std::array<FloatMatrix, kConditions> companionMeans;
    std::vector<GenuineSample> genuine;
};

}  // namespace kestrune
