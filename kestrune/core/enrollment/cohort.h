// The cohort of a background model: background speakers enrolled as targets are, whose scores
// on a trial show how an impostor scores on it (test normalisation).
#pragma once

#include <cstdint>
#include <vector>

#include "core/enrollment/enrollment.h"
#include "core/models/background_model.h"
#include "core/models/background_training.h"

namespace kestrune {

// Adds cohort models to `model`: up to `speakers` background speakers spread over those of
// `recordings`, each enrolled as a target is (without its genuine scores).
void AddCohort(BackgroundModel& model, const std::vector<LabelledRecording>& recordings,
               uint32_t speakers, const EnrollmentProgress& progress = {});

// Trains the companion of a model trained with `options` (CompanionOptions) on the same
// `recordings` and their `options.copies` degraded copies, with its own cohort, and attaches it
// to `model` with kCompanionWeight.
void AddCompanion(BackgroundModel& model, const std::vector<LabelledRecording>& recordings,
                  const BackgroundOptions& options, const EnrollmentProgress& progress = {});

}  // namespace kestrune
