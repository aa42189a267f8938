// Training a background model from labelled recordings, and the directories the tool writes:
// a background-model directory (ubm.krn) and a models directory with one subdirectory per
// target (target.krn).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/models/background.h"
#include "core/models/enrollment.h"
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
    uint32_t topComponents = 5;
    // Degraded copies of each recording that the mixture trains on besides the recording
    // itself (augmentation.h).
    uint32_t copies = 4;
    // Background speakers made into cohort models, spread over the speakers given: 50 gave the
    // same accuracy and calibration as 100 on the validation trials, at half the size.
    uint32_t cohortSpeakers = 50;
};

// The frames of every recording and of `copies` degraded copies of each, labelled with the
// recording's speaker; babble is mixed from other speakers' recordings. Deterministic.
std::vector<LabelledFeatures> TrainingSessions(const FrontEnd& frontEnd,
                                               const std::vector<LabelledRecording>& recordings,
                                               uint32_t copies);

// Trains the background mixture on every frame of `recordings` (raw speech frames, each
// recording normalised on its own before it joins the pool). At least one frame is needed.
BackgroundModel TrainBackground(const std::vector<LabelledFeatures>& recordings,
                                const BackgroundOptions& options, const EmProgress& progress = {});

// Adds cohort models to `model`: up to `speakers` background speakers spread over those of
// `recordings`, each enrolled as a target is (without its genuine scores).
void AddCohort(BackgroundModel& model, const std::vector<LabelledRecording>& recordings,
               uint32_t speakers, const EnrollmentProgress& progress = {});

// Writes ubm.krn into `directory`, creating it if needed.
bool WriteBackgroundDirectory(const std::filesystem::path& directory, const BackgroundModel& model,
                              std::string& error);

// Reads a background model: `path` is a directory holding ubm.krn, or the file itself.
bool ReadBackground(const std::filesystem::path& path, std::shared_ptr<const Background>& ubm,
                    std::string& error);

// True for a name that can be one directory: not empty, not "." or "..", no '/', '\\' or NUL,
// at most 255 bytes.
bool ValidTargetName(const std::string& name);

// Writes `<models>/<name>/target.krn`, creating the directories as needed.
bool WriteTargetModel(const std::filesystem::path& models, const std::string& name,
                      const TargetModel& model, std::string& error);

}  // namespace kestrune
