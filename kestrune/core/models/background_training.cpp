// Background training.
#include "core/models/background_training.h"

#include <algorithm>
#include <random>

#include "core/models/model_files.h"

namespace kestrune {
namespace {

// Four draws of each kind of degradation (kDegradationKinds); more copies multiply the training
// frames and time without new kinds of condition.
constexpr uint32_t kMaxCopies = 4 * kDegradationKinds;

using Field = OptionField<BackgroundOptions>;

constexpr Field kFields[] = {
    {"components", &FieldOf<&BackgroundOptions::components>, 0, kMaxComponents,
     "mixture components; 0 chooses them from the amount of speech (a power of two with 2 s "
     "of speech each, 8 to 256)"},
    {"top", &FieldOf<&BackgroundOptions::topComponents>, 1, kMaxComponents,
     "components evaluated per frame when scoring (at most the components)"},
    {"copies", &FieldOf<&BackgroundOptions::copies>, 0, kMaxCopies,
     "degraded copies of each file trained on besides it: telephone channels, white noise, "
     "babble"},
    {"cohort", &FieldOf<&BackgroundOptions::cohortSpeakers>, 2, kMaxCohort,
     "background speakers made into cohort models, which put every trial's scores on one "
     "scale"},
    {"companion", &FieldOf<&BackgroundOptions::companion>, 0, 1,
     "1: also train a companion model over linear-frequency cepstra whose scores are fused "
     "with the model's own; 0: none"},
    {"companion-top", &FieldOf<&BackgroundOptions::companionTopComponents>, 1, kMaxComponents,
     "components the companion evaluates per frame when scoring"},
};

}  // namespace

uint32_t ComponentsForSpeech(int64_t speechFrames) {
    uint32_t components = kFewestChosenComponents;
    while (components < kMostChosenComponents &&
           speechFrames >= 2 * static_cast<int64_t>(components) * kSpeechFramesPerComponent) {
        components *= 2;
    }
    return components;
}

std::span<const OptionField<BackgroundOptions>> BackgroundOptionFields() {
    return kFields;
}

BackgroundOptions CompanionOptions(const BackgroundOptions& options) {
    BackgroundOptions companion = options;
    companion.frontEnd.linearFilters = 1 - options.frontEnd.linearFilters;
    companion.topComponents = options.companionTopComponents;
    companion.companion = 0;
    return companion;
}

std::vector<LabelledFeatures> TrainingSessions(const FrontEnd& frontEnd,
                                               const std::vector<LabelledRecording>& recordings,
                                               uint32_t copies) {
    std::vector<LabelledFeatures> sessions;
    for (const LabelledRecording& recording : recordings) {
        sessions.push_back({recording.label,
                            frontEnd.Compute(recording.samples.data(), recording.samples.size())});
    }
    std::mt19937 random(20261208);
    for (const LabelledRecording& recording : recordings) {
        std::vector<const Samples*> others;
        for (const LabelledRecording& other : recordings) {
            if (other.label != recording.label) {
                others.push_back(&other.samples);
            }
        }
        for (uint32_t copy = 0; copy < copies; ++copy) {
            const Samples degraded =
                DegradedCopy(recording.samples, static_cast<int>(copy), others, random);
            sessions.push_back(
                {recording.label, frontEnd.Compute(degraded.data(), degraded.size())});
        }
    }
    return sessions;
}

BackgroundModel TrainBackground(const std::vector<LabelledFeatures>& recordings,
                                const BackgroundOptions& options, const EmProgress& progress) {
    Eigen::Index rows = 0;
    for (const LabelledFeatures& recording : recordings) {
        rows += recording.frames.rows();
    }
    FeatureMatrix pool(rows, options.frontEnd.Dimension());
    Eigen::Index row = 0;
    for (const LabelledFeatures& recording : recordings) {
        FeatureMatrix frames = recording.frames;
        NormaliseRecording(frames, options.frontEnd);
        pool.middleRows(row, frames.rows()) = frames;
        row += frames.rows();
    }
    BackgroundModel model;
    model.frontEnd = options.frontEnd;
    model.gmm = TrainGmm(pool, options.em, progress);
    model.topComponents =
        std::min<uint32_t>(options.topComponents, static_cast<uint32_t>(model.gmm.Components()));
    return model;
}

}  // namespace kestrune
