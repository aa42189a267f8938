// An engine linked into the native tests in place of kestrune: each thread scripts its own
// answers and sees what the library passed, so that tests (and threads) stay independent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/engine_script.h"

namespace fakeengine {

using Target = enginescript::Target;

struct Script : enginescript::Script {
    // How many samples per reported sample the engine reads back, so that a test can see the
    // interleaved channels behind a frame count.
    int captureChannels = 1;
};

struct Seen {
    std::vector<std::string> paths;  // every path argument, in call order
    int loads = 0;
    int scorings = 0;
    int destroys = 0;
    int destroyMismatches = 0;  // DestroyedBuffers with values the load did not hand out
    uint8_t flagA = 0;
    uint8_t flagB = 0;
    int32_t sampleCount = -1;
    int32_t scoredTargetCount = -1;
    std::vector<int16_t> samples;
    const int16_t* samplesAddress = nullptr;
    const int32_t* logScores = nullptr;
    const int32_t* frrValues = nullptr;
    const int32_t* farValues = nullptr;
};

// This thread's script and observations.
Script& ScriptFor();
Seen& Observed();
// Model sets loaded on this thread and not yet destroyed.
int LiveModelSets();
// What is wrong with this thread's loads and destroys: model sets not handed back, destroys
// with values no load handed out, destroys and loads not one to one. Empty when each load was
// destroyed exactly once.
std::string Imbalance();
// Frees what a faulty test left loaded and clears the script and observations.
void Reset();

}  // namespace fakeengine
