#include "support/fake_engine.h"

#include <algorithm>
#include <cstring>

#include "engine/kestrune.h"
#include "support/event_log.h"
#include "support/per_thread.h"

namespace fakeengine {
namespace {

// What one load handed out, so that DestroyedBuffers can check it gets the same back.
struct Loaded {
    char* names = nullptr;
    void* buffers[4] = {};
    int32_t valueA = 0;
    int32_t valueB = 0;
};

struct State {
    Script script;
    Seen seen;
    std::vector<Loaded> live;
};

State& Current() {
    return testsupport::PerThread<State>();
}

}  // namespace

Script& ScriptFor() {
    return Current().script;
}
Seen& Observed() {
    return Current().seen;
}

int LiveModelSets() {
    return static_cast<int>(Current().live.size());
}

std::string Imbalance() {
    const State& state = Current();
    std::string problems;
    auto add = [&problems](const std::string& problem) {
        problems += (problems.empty() ? "" : "; ") + problem;
    };
    if (!state.live.empty()) {
        add(std::to_string(state.live.size()) + " model set(s) not handed back to the engine");
    }
    if (state.seen.destroyMismatches != 0) {
        add(std::to_string(state.seen.destroyMismatches) +
            " DestroyedBuffers with values the load did not hand out");
    }
    if (state.seen.destroys != state.seen.loads) {
        add(std::to_string(state.seen.destroys) + " DestroyedBuffers for " +
            std::to_string(state.seen.loads) + " loads");
    }
    return problems;
}

void Reset() {
    State& state = Current();
    for (Loaded& loaded : state.live) {
        delete[] loaded.names;
        for (void* buffer : loaded.buffers) {
            delete[] static_cast<int*>(buffer);
        }
    }
    state = State{};
}

}  // namespace fakeengine

using fakeengine::Current;
using testsupport::RecordEvent;

extern "C" {

int32_t COM_IDENTI_CheckedQuantTargetUsers(void) {
    testsupport::FakeScope fakeScope;
    RecordEvent("CheckedQuantTargetUsers");
    return Current().script.maxTargets;
}

int32_t COM_IDENTI_CheckedQuantVerifyStreams(void) {
    testsupport::FakeScope fakeScope;
    RecordEvent("CheckedQuantVerifyStreams");
    return Current().script.maxStreams;
}

uint8_t COM_IDENTI_LoadUBMModels(const char* path) {
    testsupport::FakeScope fakeScope;
    RecordEvent(std::string("LoadUBMModels(") + path + ")");
    Current().seen.paths.emplace_back(path);
    return Current().script.loadUbmAnswer;
}

int32_t COM_IDENTI_GetQntModelsFromSubDirs(const char* path) {
    testsupport::FakeScope fakeScope;
    RecordEvent(std::string("GetQntModelsFromSubDirs(") + path + ")");
    Current().seen.paths.emplace_back(path);
    return Current().script.quantity;
}

void COM_IDENTI_LoadFromSubDirsToBuffers(const char* path, int32_t* targetCount,
                                         int32_t* modelValueA, void** modelBufferA,
                                         void** modelBufferB, void** modelBufferC,
                                         int32_t* modelValueB, void** modelBufferD,
                                         char** targetNames, uint8_t flagA, uint8_t flagB) {
    testsupport::FakeScope fakeScope;
    auto& state = Current();
    RecordEvent(std::string("LoadFromSubDirsToBuffers(") + path + ")");
    state.seen.paths.emplace_back(path);
    state.seen.loads++;
    state.seen.flagA = flagA;
    state.seen.flagB = flagB;
    if (state.script.loadFails) {
        return;
    }
    const auto& targets = state.script.targets;
    fakeengine::Loaded loaded;
    loaded.names = new char[std::max<size_t>(1, targets.size()) * jkestrune::kTargetNameSlot]();
    for (size_t i = 0; i < targets.size(); ++i) {
        const std::string& name = targets[i].name;
        std::memcpy(loaded.names + i * jkestrune::kTargetNameSlot, name.data(),
                    std::min<size_t>(name.size(), jkestrune::kTargetNameSlot));
    }
    for (void*& buffer : loaded.buffers) {
        buffer = new int[4]();
    }
    loaded.valueA = 7;
    loaded.valueB = 11;
    state.live.push_back(loaded);
    *targetCount = state.script.reportedTargetCount.value_or(static_cast<int32_t>(targets.size()));
    *modelValueA = loaded.valueA;
    *modelBufferA = loaded.buffers[0];
    *modelBufferB = loaded.buffers[1];
    *modelBufferC = loaded.buffers[2];
    *modelBufferD = loaded.buffers[3];
    *modelValueB = loaded.valueB;
    *targetNames = loaded.names;
}

int32_t COM_IDENTI_SoundData(const int16_t* samples, int32_t sampleCount, int32_t targetCount,
                             void*, int32_t, void*, void*, void*, int32_t, int32_t* logScores,
                             int32_t* frrValues, int32_t* farValues) {
    testsupport::FakeScope fakeScope;
    auto& state = Current();
    RecordEvent("SoundData(" + std::to_string(sampleCount) + "," + std::to_string(targetCount) +
                ")");
    auto& seen = state.seen;
    seen.scorings++;
    seen.sampleCount = sampleCount;
    seen.scoredTargetCount = targetCount;
    seen.samplesAddress = samples;
    seen.logScores = logScores;
    seen.frrValues = frrValues;
    seen.farValues = farValues;
    if (samples != nullptr && sampleCount > 0) {
        seen.samples.assign(samples,
                            samples + static_cast<size_t>(sampleCount) *
                                          static_cast<size_t>(state.script.captureChannels));
    }
    if (state.script.soundCode != 0) {
        return state.script.soundCode;
    }
    const auto& targets = state.script.targets;
    for (int32_t i = 0; i < targetCount && static_cast<size_t>(i) < targets.size(); ++i) {
        logScores[i] = targets[i].logScore;
        frrValues[i] = targets[i].frr;
        farValues[i] = targets[i].far;
    }
    return 0;
}

void COM_IDENTI_DestroyedBuffers(void** modelBufferA, int32_t* modelValueA, void** modelBufferC,
                                 void** modelBufferB, void** modelBufferD, int32_t* modelValueB,
                                 char** targetNames) {
    testsupport::FakeScope fakeScope;
    auto& state = Current();
    RecordEvent("DestroyedBuffers");
    state.seen.destroys++;
    if (*targetNames == nullptr && *modelBufferA == nullptr) {
        return;  // a failed load: nothing to release
    }
    auto& live = state.live;
    auto it = std::find_if(live.begin(), live.end(), [&](const fakeengine::Loaded& loaded) {
        return loaded.names == *targetNames && loaded.buffers[0] == *modelBufferA &&
               loaded.buffers[1] == *modelBufferB && loaded.buffers[2] == *modelBufferC &&
               loaded.buffers[3] == *modelBufferD && loaded.valueA == *modelValueA &&
               loaded.valueB == *modelValueB;
    });
    if (it == live.end()) {
        state.seen.destroyMismatches++;
        return;
    }
    delete[] it->names;
    for (void* buffer : it->buffers) {
        delete[] static_cast<int*>(buffer);
    }
    live.erase(it);
    *targetNames = nullptr;
    *modelBufferA = *modelBufferB = *modelBufferC = *modelBufferD = nullptr;
}

}  // extern "C"
