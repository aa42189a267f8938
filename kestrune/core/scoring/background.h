// The background model (UBM) prepared for use: everything derived from it that scoring needs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/base/matrix.h"
#include "core/frontend/front_end.h"
#include "core/models/background_model.h"
#include "core/models/gmm.h"
#include "core/models/target_model.h"
#include "core/scoring/scoring.h"

namespace kestrune {

// One recording's speech frames, not yet normalised, as the background model's front end
// computes them and as its companion's does (empty without a companion). Both front ends find
// the same speech frames, so row r of each is the same stretch of the recording.
struct TrialFrames {
    FeatureMatrix own;
    FeatureMatrix companion;
};

// A background model ready for use: immutable, shared by every thread and every target set
// loaded against it.
class Background {
  public:
    // `model` must be consistent (BackgroundModel as decoded from a file, or trained).
    Background(BackgroundModel model, uint64_t fingerprint);

    const BackgroundModel& model() const { return model_; }
    const DiagonalGmm& gmm() const { return model_.gmm; }
    const FrontEnd& frontEnd() const { return frontEnd_; }
    const GmmEvaluator& evaluator() const { return evaluator_; }
    // The cohort prepared for scoring (empty banks when the model has no cohort).
    const ConditionBanks& cohort() const { return cohort_; }
    // Identifies this model's parameters (its companion's too); target models record it.
    uint64_t fingerprint() const { return fingerprint_; }
    // The model whose scores are fused with this one's, prepared likewise; null when there is
    // none.
    const Background* companion() const { return companion_.get(); }

    // Speech frames of a recording, not yet normalised.
    FeatureMatrix RawFeatures(const int16_t* samples, size_t count) const {
        return frontEnd_.Compute(samples, count);
    }
    // The same for this model and its companion, with the recording's traits (as this model's
    // front end measures them) into `traits` when given.
    TrialFrames Analyse(const int16_t* samples, size_t count, RecordingTraits* traits) const;
    // Normalises frames that are scored or adapted on together, as one recording.
    void Normalise(FeatureMatrix& frames) const { NormaliseRecording(frames, model_.frontEnd); }

  private:
    BackgroundModel model_;
    FrontEnd frontEnd_;
    GmmEvaluator evaluator_;
    ConditionBanks cohort_;
    uint64_t fingerprint_;
    std::unique_ptr<const Background> companion_;
};

// True when `model` was adapted from `ubm` (its recorded fingerprint) and has its shape, and
// its companion's when `ubm` has a companion.
bool TargetFitsBackground(const TargetModel& model, const Background& ubm);

}  // namespace kestrune
