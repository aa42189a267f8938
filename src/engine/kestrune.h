// The engine library's C interface: the seven functions that jkestrune imports by name from
// kestrune, and the records the library keeps for them. Any engine build that exports these
// names with these arguments can be dropped in beside the library.
#pragma once

#include <cstdint>

extern "C" {

// The largest number of targets the engine will load.
int32_t COM_IDENTI_CheckedQuantTargetUsers(void);

// The largest number of recordings the engine scores at the same time.
int32_t COM_IDENTI_CheckedQuantVerifyStreams(void);

// Loads the background models from `path`; 0 means failure, any other value success.
uint8_t COM_IDENTI_LoadUBMModels(const char* path);

// The number of target models under `path`.
int32_t COM_IDENTI_GetQntModelsFromSubDirs(const char* path);

// Loads every target model under `path` into engine-owned buffers. The caller presets all
// eight outputs to 0/null; a failed load leaves them so. `targetNames` receives
// `targetCount` NUL-terminated names in 256-byte slots.
void COM_IDENTI_LoadFromSubDirsToBuffers(const char* path, int32_t* targetCount,
                                         int32_t* modelValueA, void** modelBufferA,
                                         void** modelBufferB, void** modelBufferC,
                                         int32_t* modelValueB, void** modelBufferD,
                                         char** targetNames, uint8_t flagA, uint8_t flagB);

// Scores `sampleCount` 16-bit samples against every loaded target. 0: all `targetCount`
// entries of the three arrays are written (thousandths); anything else is the engine's
// error code.
int32_t COM_IDENTI_SoundData(const int16_t* samples, int32_t sampleCount, int32_t targetCount,
                             void* modelBufferA, int32_t modelValueA, void* modelBufferC,
                             void* modelBufferB, void* modelBufferD, int32_t modelValueB,
                             int32_t* logScores, int32_t* frrValues, int32_t* farValues);

// Releases what COM_IDENTI_LoadFromSubDirsToBuffers filled in, including the preset values
// of a failed load.
void COM_IDENTI_DestroyedBuffers(void** modelBufferA, int32_t* modelValueA, void** modelBufferC,
                                 void** modelBufferB, void** modelBufferD, int32_t* modelValueB,
                                 char** targetNames);

}  // extern "C"

namespace jkestrune {

// Bytes per name slot in ModelSet::targetNames, NUL included.
inline constexpr int kTargetNameSlot = 256;

// The targets one load produced. Only the count and the names mean something to the library;
// the other six values are the engine's and are handed back to it unchanged.
struct ModelSet {
    int32_t targetCount = 0;
    int32_t modelValueA = 0;
    void* modelBufferA = nullptr;
    void* modelBufferB = nullptr;
    void* modelBufferC = nullptr;
    int32_t modelValueB = 0;
    void* modelBufferD = nullptr;
    char* targetNames = nullptr;
};

// Per-target results in ModelSet order, each in thousandths: the log-likelihood score and the
// false-rejection and false-acceptance rates in percent.
struct ScoreArrays {
    int32_t* logScores = nullptr;
    int32_t* frrValues = nullptr;
    int32_t* farValues = nullptr;
};

}  // namespace jkestrune
