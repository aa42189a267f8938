// The limit on concurrent scoring calls.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/contract/stream_gate.h"

namespace kestrune {
namespace {

TEST(StreamGate, AdmitsUpToTheLimitAndFreesPlacesOnRelease) {
    StreamGate gate(3);
    std::vector<std::unique_ptr<StreamGate::Pass>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<StreamGate::Pass>(gate));
        EXPECT_TRUE(held.back()->admitted()) << i;
    }
    {
        const StreamGate::Pass refused(gate);
        EXPECT_FALSE(refused.admitted());
    }
    // The refused pass gave back what it never had: still full, not over-full.
    EXPECT_FALSE(StreamGate::Pass(gate).admitted());
    held.pop_back();
    EXPECT_TRUE(StreamGate::Pass(gate).admitted());
}

}  // namespace
}  // namespace kestrune
