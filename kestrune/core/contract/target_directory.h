// The layout of a models directory: one target per immediate subdirectory that holds a target
// model file; the subdirectory's name is the target's name.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/contract/file_identity.h"

namespace kestrune {

struct TargetDirectory {
    std::string name;        // UTF-8 as the file system gives it
    FileIdentity modelFile;  // when it was listed; its path is the model file's
};

// The subdirectories of `models` that hold a target model file, sorted by the bytes of their
// names, with one status call per model file. A missing or unreadable directory gives none.
// On Linux the listing of an unchanged directory may come from a watch (directory_watch.h).
std::vector<TargetDirectory> FindTargetDirectories(const std::filesystem::path& models);

// The scan itself, each time.
std::vector<TargetDirectory> ScanTargetDirectories(const std::filesystem::path& models);

}  // namespace kestrune
