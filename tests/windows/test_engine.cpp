// The test kestrune.dll: the fake engine of the native tests, exporting the seven engine
// functions through kestrune.def and the hooks of test_engine_hooks.h, so that a test program
// can load jkestrune.dll beside it and drive the engine through the library.
#include <algorithm>
#include <cstring>

#include "support/fake_engine.h"
#include "windows/test_engine_hooks.h"

#define TEST_ENGINE_HOOK extern "C" __declspec(dllexport)

TEST_ENGINE_HOOK void TestEngine_Reset(void) {
    fakeengine::Reset();
}

TEST_ENGINE_HOOK void TestEngine_SetAnswers(const TestEngineAnswers* answers) {
    fakeengine::Script& script = fakeengine::ScriptFor();
    script.maxTargets = answers->maxTargets;
    script.maxStreams = answers->maxStreams;
    script.loadUbmAnswer = answers->loadUbmAnswer;
    script.quantity = answers->quantity;
    script.soundCode = answers->soundCode;
}

TEST_ENGINE_HOOK void TestEngine_AddTarget(const char* name, int32_t logScore, int32_t frr,
                                           int32_t far) {
    fakeengine::ScriptFor().targets.push_back({name, logScore, frr, far});
}

TEST_ENGINE_HOOK void TestEngine_GetSeen(TestEngineSeen* out) {
    const fakeengine::Seen& seen = fakeengine::Observed();
    out->loads = seen.loads;
    out->scorings = seen.scorings;
    out->destroys = seen.destroys;
    out->destroyMismatches = seen.destroyMismatches;
    out->liveModelSets = fakeengine::LiveModelSets();
    out->flagA = seen.flagA;
    out->flagB = seen.flagB;
    out->sampleCount = seen.sampleCount;
    out->scoredTargetCount = seen.scoredTargetCount;
    out->pathCount = static_cast<int32_t>(seen.paths.size());
}

TEST_ENGINE_HOOK int32_t TestEngine_GetSamples(int16_t* samples, int32_t capacity) {
    const auto& seen = fakeengine::Observed().samples;
    const size_t copied = std::min(seen.size(), static_cast<size_t>(std::max(capacity, 0)));
    std::copy_n(seen.begin(), copied, samples);
    return static_cast<int32_t>(seen.size());
}

TEST_ENGINE_HOOK int32_t TestEngine_GetPath(int32_t index, char* buffer, int32_t capacity) {
    const auto& paths = fakeengine::Observed().paths;
    if (index < 0 || static_cast<size_t>(index) >= paths.size()) {
        return -1;
    }
    const std::string& path = paths[static_cast<size_t>(index)];
    if (capacity < 0 || path.size() >= static_cast<size_t>(capacity)) {
        return -1;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<int32_t>(path.size());
}
