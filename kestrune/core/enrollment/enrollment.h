// Enrolling a target: MAP adaptation of a model for each condition (conditions.h) from the
// target's recordings and degraded copies of them, and the genuine scores from which scoring
// later reads honest false-rejection rates.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/base/matrix.h"
#include "core/frontend/augmentation.h"
#include "core/frontend/conditions.h"
#include "core/models/target_model.h"
#include "core/scoring/background.h"
#include "core/scoring/rates.h"

namespace kestrune {

struct EnrollmentOptions {
    // MAP relevance factor: on the validation trials 4 to 16 did equally well and 1 to 2 worse
    // (targets adapted to the few frames of each component overfit them).
    double relevance = 8.0;
    uint32_t minimumFrames = 200;  // speech frames the enrollment must hold
};

// One recording's raw speech frames (Background::Analyse: the background model's and its
// companion's) and what the front end saw in it.
struct EnrollmentRecording {
    FeatureMatrix frames;
    RecordingTraits traits;
    FeatureMatrix companionFrames;  // empty when the background model has no companion
};

// A target's speech: its own recordings, and the degraded copies made of them for the model of
// each condition.
struct EnrollmentSpeech {
    std::vector<EnrollmentRecording> clean;
    std::vector<EnrollmentRecording> noisy;
    std::vector<EnrollmentRecording> telephone;
};

// Copies made of each enrollment recording for each condition model.
inline constexpr int kEnrollmentCopies = 2;

// The speech of recordings (8 kHz samples) for enrollment: their frames, and those of degraded
// copies (white noise at 5-20 dB SNR; telephone channels of varied band edges and codecs).
// Deterministic.
EnrollmentSpeech PrepareEnrollmentSpeech(const Background& ubm,
                                         const std::vector<Samples>& recordings);

// The model for each condition: the clean one adapted on the clean recordings alone, the noisy
// one on them and the noisy copies, the telephone one on them and the telephone copies; each
// recording normalised on its own.
std::array<FloatMatrix, kConditions> AdaptConditionModels(const Background& ubm,
                                                          const EnrollmentSpeech& speech,
                                                          double relevance);

// Parts the target's speech is cut into for its genuine scores: each is left out of the
// adaptation in turn and scored, in segments of several lengths, against the models adapted
// from the rest.
inline constexpr int kHeldOutParts = 10;

// Called with a short description of each step.
using EnrollmentProgress = std::function<void(const std::string& step)>;

// Enrolls a target from its `speech`: the condition models (and the companion's, when the
// background model has one), and genuine scores of held-out
// parts of every kind of recording (clean, noisy, telephone), each normalised by the
// background's cohort as a trial is. Returns false with `error` set when a recording does not
// fit the background model, when one of the target's own recordings holds no speech (silence,
// pure DC, a steady tone or square wave: speech_content.h), or when there is too little speech.
bool EnrollTarget(const Background& ubm, const EnrollmentSpeech& speech,
                  const EnrollmentOptions& options, TargetModel& model, std::string& error,
                  const EnrollmentProgress& progress = {});

// Indices of `limit` items spread evenly from the first to the last of `count` items, or all
// of them when there are no more than `limit`.
std::vector<size_t> SpreadEvenly(size_t count, size_t limit);

}  // namespace kestrune
