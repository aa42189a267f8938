// The layout of a models directory: one target per immediate subdirectory that holds a target
// model file; the subdirectory's name is the target's name.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kestrune {

struct TargetDirectory {
    std::string name;  // UTF-8 as the file system gives it
    std::filesystem::path modelFile;
};

// The subdirectories of `models` that hold a target model file, sorted by the bytes of their
// names. A missing or unreadable directory gives none.
std::vector<TargetDirectory> FindTargetDirectories(const std::filesystem::path& models);

}  // namespace kestrune
