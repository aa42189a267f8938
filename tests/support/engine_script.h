// What a scripted engine answers, described once for every test double of the engine: the fake
// linked into the native tests (support/fake_engine.h), the scripted libkestrune.so that the
// JVM tests load (scripted_engine/), and the identification fuzzer's cases
// (fuzz/identification_case.h). Each double adds only what is its own (how it is scripted,
// what it records).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace enginescript {

// One loaded target and the values a scoring reports for it.
struct Target {
    std::string name;  // up to 256 bytes; a name of 256 bytes fills its slot without a NUL
    int32_t logScore = 0;
    int32_t frr = 0;
    int32_t far = 0;
};

// The engine's answers to the seven functions.
struct Script {
    int32_t maxTargets = 0;       // CheckedQuantTargetUsers
    int32_t maxStreams = 0;       // CheckedQuantVerifyStreams
    uint8_t loadUbmAnswer = 1;    // LoadUBMModels
    int32_t quantity = 0;         // GetQntModelsFromSubDirs
    std::vector<Target> targets;  // LoadFromSubDirsToBuffers, and what SoundData scores
    // Reported as the load's target count instead of targets.size() (for example a negative
    // count).
    std::optional<int32_t> reportedTargetCount;
    bool loadFails = false;  // the load hands out nothing
    int32_t soundCode = 0;   // SoundData's answer; not 0: no values are written
};

}  // namespace enginescript
