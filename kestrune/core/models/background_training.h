// Training a background model: the frames of labelled background recordings and of degraded
// copies of them, pooled into one mixture trained by EM.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/base/matrix.h"
#include "core/base/option_table.h"
#include "core/frontend/augmentation.h"
#include "core/frontend/front_end.h"
#include "core/models/background_model.h"
#include "core/models/gmm.h"

namespace kestrune {

// One background recording and who speaks in it.
struct LabelledRecording {
    std::string label;
    Samples samples;
};

// The speech frames (not normalised) of one background recording or copy, and who speaks in it.
struct LabelledFeatures {
    std::string label;
    FeatureMatrix frames;
};

struct BackgroundOptions {
    FrontEndConfig frontEnd;
    EmOptions em;
    uint32_t topComponents = kDefaultTopComponents;
    // Degraded copies of each recording that the mixture trains on besides the recording
    // itself (augmentation.h).
    uint32_t copies = 4;
    // Background speakers made into cohort models, spread over the speakers given: 50 gave the
    // same accuracy and calibration as 100 on the validation trials, at half the size.
    uint32_t cohortSpeakers = 50;
};

// The options of training that a tool may set (train-ubm's), described once. The front end's
// are FrontEndFields() (frontend/front_end_fields.h); the rest of EmOptions are the method's.
std::span<const OptionField<BackgroundOptions>> BackgroundOptionFields();

// The frames of every recording and of `copies` degraded copies of each, labelled with the
// recording's speaker; babble is mixed from other speakers' recordings. Deterministic.
std::vector<LabelledFeatures> TrainingSessions(const FrontEnd& frontEnd,
                                               const std::vector<LabelledRecording>& recordings,
                                               uint32_t copies);

// Trains the background mixture on every frame of `recordings` (raw speech frames, each
// recording normalised on its own before it joins the pool). At least one frame is needed.
BackgroundModel TrainBackground(const std::vector<LabelledFeatures>& recordings,
                                const BackgroundOptions& options, const EmProgress& progress = {});

}  // namespace kestrune
