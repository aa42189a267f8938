// The directories the engine reads and the tool writes: a background-model directory (ubm.krn)
// and a models directory with one subdirectory per target (target.krn).
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "core/models/background_model.h"
#include "core/models/target_model.h"
#include "core/scoring/background.h"

namespace kestrune {

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
