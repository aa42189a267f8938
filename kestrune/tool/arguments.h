// What the tool's commands share: parsing option values, and reading WAVE files.
#pragma once

#include <charconv>
#include <ostream>
#include <string>
#include <vector>

#include "core/frontend/augmentation.h"

namespace kestrune {

inline constexpr int kUsageError = 2;
inline constexpr int kFailure = 1;

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, code] = std::from_chars(text.data(), end, value);
    return code == std::errc() && ptr == end;
}

bool ParseDouble(const std::string& text, double& value);

// Reads `files` as 8 kHz mono samples into `audio`, reporting every tenth of the way as
// "<command>: read i/n files"; false (reported) at the first file that cannot be read.
bool ReadAudio(const std::vector<std::string>& files, std::vector<Samples>& audio,
               const char* command, std::ostream& log);

}  // namespace kestrune
