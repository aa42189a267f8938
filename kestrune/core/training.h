// Training a background model from labelled recordings, and the directories the tool writes:
// a background-model directory (ubm.krn, impostors.krn) and a models directory with one
// subdirectory per target (target.krn).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/background.h"
#include "core/enrollment.h"
#include "core/gmm.h"

namespace kestrune {

struct BackgroundOptions {
    FrontEndConfig frontEnd;
    EmOptions em;
    uint32_t topComponents = 5;
};

// Moves about `share` of `recordings` (chosen pseudo-randomly with a fixed seed, so the same
// input always gives the same choice) into `heldOut`. Held-out recordings are the impostor
// speech that enrollment scores targets against: speech the background model was fitted to
// scores lower against any target than unseen speech does, so impostor scores from it would
// understate false acceptance.
void HoldOutImpostorSpeech(std::vector<LabelledFeatures>& recordings, double share,
                           std::vector<LabelledFeatures>& heldOut);

// Trains the background mixture on every frame of `recordings` (raw speech frames, each
// recording normalised on its own before it joins the pool). At least one frame is needed.
BackgroundModel TrainBackground(const std::vector<LabelledFeatures>& recordings,
                                const BackgroundOptions& options, const EmProgress& progress = {});

// Writes ubm.krn and impostors.krn (`impostors`, the held-out speech) into `directory`,
// creating it if needed.
bool WriteBackgroundDirectory(const std::filesystem::path& directory, const BackgroundModel& model,
                              const std::vector<LabelledFeatures>& impostors, std::string& error);

// Reads a background-model directory. The impostor speech must belong to the same model.
bool ReadBackgroundDirectory(const std::filesystem::path& directory,
                             std::shared_ptr<const Background>& ubm,
                             std::vector<LabelledFeatures>& impostors, std::string& error);

// True for a name that can be one directory: not empty, not "." or "..", no '/', '\\' or NUL,
// at most 255 bytes.
bool ValidTargetName(const std::string& name);

// Writes `<models>/<name>/target.krn`, creating the directories as needed.
bool WriteTargetModel(const std::filesystem::path& models, const std::string& name,
                      const TargetModel& model, std::string& error);

}  // namespace kestrune
