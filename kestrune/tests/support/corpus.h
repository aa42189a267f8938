// The real recordings in data/fsdd: six speakers saying each digit, takes 5 to 49.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kestrune::testing {

inline constexpr int kCorpusSpeakerCount = 6;
inline constexpr const char* kCorpusSpeakers[kCorpusSpeakerCount] = {
    "george", "jackson", "lucas", "nicolas", "theo", "yweweler"};

// The file of `speaker` saying `digit`, take `index`.
std::filesystem::path CorpusRecording(int digit, const char* speaker, int index);

// Every digit of every take in [first, last] of `speaker`, take by take.
std::vector<std::string> CorpusRecordings(const char* speaker, int first, int last);

}  // namespace kestrune::testing
