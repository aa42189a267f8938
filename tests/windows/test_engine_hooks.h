// What the test kestrune.dll exports beside the seven engine functions: hooks with which a test
// program that reaches the engine only through jkestrune.dll scripts the engine's answers and
// reads back what it was given. Only C types cross: the program and the DLL each carry their
// own copy of the C++ runtime.
#pragma once

#include <cstdint>

extern "C" {

// The engine's answers to the calls that take no audio, and its code from scoring.
struct TestEngineAnswers {
    int32_t maxTargets;
    int32_t maxStreams;
    uint8_t loadUbmAnswer;
    int32_t quantity;
    int32_t soundCode;
};

// What the engine saw since the last reset.
struct TestEngineSeen {
    int32_t loads;
    int32_t scorings;
    int32_t destroys;
    int32_t destroyMismatches;  // buffers handed back that the load did not hand out
    int32_t liveModelSets;      // loaded and not yet destroyed
    uint8_t flagA;
    uint8_t flagB;
    int32_t sampleCount;  // as passed to scoring, -1 before
    int32_t scoredTargetCount;
    int32_t pathCount;  // path arguments received, in call order
};

// Forgets the script and the observations.
typedef void (*TestEngineReset)(void);
typedef void (*TestEngineSetAnswers)(const TestEngineAnswers* answers);
// Adds a target that loads and scores with these values.
typedef void (*TestEngineAddTarget)(const char* name, int32_t logScore, int32_t frr, int32_t far);
typedef void (*TestEngineGetSeen)(TestEngineSeen* seen);
// Copies up to `capacity` of the samples scoring received; returns how many it received.
typedef int32_t (*TestEngineGetSamples)(int16_t* samples, int32_t capacity);
// Copies the `index`-th path argument, NUL-terminated, into `buffer`; returns its length, or -1
// when there is no such path or it does not fit.
typedef int32_t (*TestEngineGetPath)(int32_t index, char* buffer, int32_t capacity);

}  // extern "C"
