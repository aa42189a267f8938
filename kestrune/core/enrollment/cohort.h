// The cohort of a background model: background speakers enrolled as targets are, whose scores
// on a trial show how an impostor scores on it (test normalisation).
#pragma once

#include <cstdint>
#include <vector>

#include "core/enrollment/enrollment.h"
#include "core/models/background_model.h"
#include "core/models/background_training.h"

namespace kestrune {

// A cohort model adapted from little speech stays close to the background model: its scores
// on any trial spread far less than a real impostor's, so that normalising by such a cohort
// inflates every score and the rates drawn from it (a background of single spoken digits, each
// file its own speaker, reported genuine trials in 5-dB noise at FRR <= 5 % four times in ten).
// Files given without a speaker, each its own speaker, are therefore pooled into one cohort
// speaker with the unlabelled files that follow them, in the order given (which usually keeps a
// speaker's files together), until the pool has this much speech: 10 s, chosen on validation
// trials among 3, 5, 10 and 20 s. Named speakers are distinct by the caller's word and are
// never pooled.
inline constexpr Eigen::Index kCohortSpeechFrames = 1000;

struct CohortCandidate {
    Eigen::Index frames = 0;  // speech frames
    bool poolable = false;    // an unlabelled file, which may be pooled with its neighbours
};

// The cohort's speakers, each a group of candidates (indices, in order): a candidate that is
// not poolable stands alone; a run of poolable ones is cut into pools of at least
// `minimumFrames` each, a short remainder joining the pool before it.
std::vector<std::vector<size_t>> PoolCohortSpeakers(const std::vector<CohortCandidate>& candidates,
                                                    Eigen::Index minimumFrames);

// Adds cohort models to `model`: up to `speakers` cohort speakers (background speakers, pooled
// by PoolCohortSpeakers) spread over those of `recordings`, each enrolled as a target is
// (without its genuine scores).
void AddCohort(BackgroundModel& model, const std::vector<LabelledRecording>& recordings,
               uint32_t speakers, const EnrollmentProgress& progress = {});

// Trains the companion of a model trained with `options` (CompanionOptions) on the same
// `recordings` and their `options.copies` degraded copies, with its own cohort, and attaches it
// to `model` with kCompanionWeight.
void AddCompanion(BackgroundModel& model, const std::vector<LabelledRecording>& recordings,
                  const BackgroundOptions& options, const EnrollmentProgress& progress = {});

}  // namespace kestrune
