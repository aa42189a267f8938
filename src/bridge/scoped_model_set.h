// The engine's loaded targets for one call: loaded by the engine and handed back to it for
// release exactly once, whichever way the call ends.
#pragma once

#include "engine/kestrune.h"

namespace jkestrune {

class ScopedModelSet {
  public:
    ScopedModelSet() = default;
    ~ScopedModelSet() {
        if (loaded_) {
            COM_IDENTI_DestroyedBuffers(&set_.modelBufferA, &set_.modelValueA, &set_.modelBufferC,
                                        &set_.modelBufferB, &set_.modelBufferD, &set_.modelValueB,
                                        &set_.targetNames);
        }
    }
    ScopedModelSet(const ScopedModelSet&) = delete;
    ScopedModelSet& operator=(const ScopedModelSet&) = delete;

    // Has the engine load the targets under `modelsDir`. A failed load is not reported by the
    // engine; it leaves the preset values (no targets), which the release accepts as well.
    void Load(const char* modelsDir) {
        set_ = ModelSet{};
        COM_IDENTI_LoadFromSubDirsToBuffers(
            modelsDir, &set_.targetCount, &set_.modelValueA, &set_.modelBufferA, &set_.modelBufferB,
            &set_.modelBufferC, &set_.modelValueB, &set_.modelBufferD, &set_.targetNames, 1, 1);
        loaded_ = true;
    }

    // Has the engine score `sampleCount` samples against every loaded target.
    [[nodiscard]] int32_t Score(const int16_t* samples, int32_t sampleCount,
                                const ScoreArrays& scores) const {
        return COM_IDENTI_SoundData(samples, sampleCount, set_.targetCount, set_.modelBufferA,
                                    set_.modelValueA, set_.modelBufferC, set_.modelBufferB,
                                    set_.modelBufferD, set_.modelValueB, scores.logScores,
                                    scores.frrValues, scores.farValues);
    }

    int32_t targetCount() const { return set_.targetCount; }
    const char* targetNames() const { return set_.targetNames; }

  private:
    ModelSet set_;
    bool loaded_ = false;
};

}  // namespace jkestrune
