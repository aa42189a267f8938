// The engine before any background model is loaded (its own process, so that no other test
// has loaded one).
#include <gtest/gtest.h>

#include "core/contract/engine_codes.h"
#include "engine/kestrune.h"

namespace {

TEST(ContractUnloaded, ScoringWithoutABackgroundModelSaysSo) {
    jkestrune::ModelSet set;
    COM_IDENTI_LoadFromSubDirsToBuffers(".", &set.targetCount, &set.modelValueA, &set.modelBufferA,
                                        &set.modelBufferB, &set.modelBufferC, &set.modelValueB,
                                        &set.modelBufferD, &set.targetNames, 1, 1);
    EXPECT_EQ(set.targetCount, 0);
    EXPECT_EQ(set.modelBufferA, nullptr);
    const int16_t samples[4000] = {};
    int32_t log = 0, frr = 0, far = 0;
    EXPECT_EQ(COM_IDENTI_SoundData(samples, 4000, 0, nullptr, 0, nullptr, nullptr, nullptr, 0, &log,
                                   &frr, &far),
              kestrune::KS_ERR_NO_UBM);
    EXPECT_EQ(COM_IDENTI_SoundData(samples, 4000, 0, nullptr, 0, nullptr, nullptr, nullptr, 0,
                                   nullptr, nullptr, nullptr),
              kestrune::KS_ERR_NO_UBM);
    COM_IDENTI_DestroyedBuffers(&set.modelBufferA, &set.modelValueA, &set.modelBufferC,
                                &set.modelBufferB, &set.modelBufferD, &set.modelValueB,
                                &set.targetNames);
}

}  // namespace
