// Enrolling a target: MAP adaptation from the target's recordings, and the genuine and
// impostor score distributions from which scoring later reads honest error rates.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/background.h"
#include "core/matrix.h"
#include "core/rates.h"

namespace kestrune {

// The speech frames (not normalised) of one background recording and who speaks in it.
struct LabelledFeatures {
    std::string label;
    FeatureMatrix frames;
};

struct EnrollmentOptions {
    // Low, so that the targets' well-visited components move close to their own speech: on the
    // validation trials 2 did best (1 and 4 within a few trials, 16 clearly worse).
    double relevance = 2.0;
    // Segment lengths, in speech frames, at which score distributions are measured.
    std::vector<uint32_t> segmentFrames = {32, 64, 128, 256, 512};
    uint32_t maxGenuine = 256;     // genuine segments per length
    uint32_t maxImpostor = 512;    // impostor segments per length
    uint32_t minimumFrames = 200;  // speech frames the enrollment must hold
};

// What a target model file holds.
struct TargetModel {
    uint64_t ubmFingerprint = 0;
    float relevance = 0.0f;
    uint32_t enrollmentFrames = 0;
    FloatMatrix means;                             // M × D
    std::vector<ScoreDistribution> distributions;  // by ascending segment length
};

// Indices of `limit` items spread evenly from the first to the last of `count` items, or all
// of them when there are no more than `limit`.
std::vector<size_t> SpreadEvenly(size_t count, size_t limit);

// Start frames of the segments of `length` frames, half overlapping, in a stream of `frames`;
// when there are more than `limit`, `limit` of them spread evenly from first to last.
std::vector<Eigen::Index> SegmentStarts(Eigen::Index frames, uint32_t length, uint32_t limit);

// The recordings of `background` spoken by anyone but `speaker`: the impostor speech a target
// of that speaker is enrolled against.
std::vector<const LabelledFeatures*> ImpostorsFor(const std::vector<LabelledFeatures>& background,
                                                  const std::string& speaker);

// Called with a short description of each step.
using EnrollmentProgress = std::function<void(const std::string& step)>;

// Enrolls a target from its `recordings` (raw speech frames, one matrix per recording).
// Adaptation uses every frame, each recording normalised on its own. Genuine scores come from
// leaving each segment of the joined recordings out of the adaptation and scoring it; impostor
// scores from segments of the `impostors` (other speakers, joined per label) scored against
// the final model. Segment lengths without both kinds of scores are left out. Returns false
// with `error` set when there is too little speech or no impostor speech.
bool EnrollTarget(const Background& ubm, const std::vector<FeatureMatrix>& recordings,
                  const std::vector<const LabelledFeatures*>& impostors,
                  const EnrollmentOptions& options, TargetModel& model, std::string& error,
                  const EnrollmentProgress& progress = {});

}  // namespace kestrune
