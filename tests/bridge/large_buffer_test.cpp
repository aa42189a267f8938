// The memory of a call's large buffers: usable over its whole length, and returned to the system
// when it is released, so that nothing of a call outlives it.
#include "bridge/large_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "bridge/identification_fixture.h"
#include "bridge/native_array.h"

#if defined(__linux__)
#include <sys/mman.h>

#include <cerrno>
#endif

namespace testsupport {
namespace {

using jkestrune::kLargeBufferBytes;
using jkestrune::LargeBufferAllocate;
using jkestrune::LargeBufferRelease;
using jkestrune::NativeArray;

// Whether any page of [memory, memory + bytes) is still mapped into the process.
[[maybe_unused]] bool Mapped(const void* memory, size_t bytes) {
#if defined(__linux__)
    const auto start = reinterpret_cast<uintptr_t>(memory) & ~uintptr_t{4095};
    const size_t length = reinterpret_cast<uintptr_t>(memory) + bytes - start;
    // msync fails with ENOMEM exactly when part of the range is not mapped.
    return msync(reinterpret_cast<void*>(start), length, MS_ASYNC) == 0 || errno != ENOMEM;
#else
    (void)memory;
    (void)bytes;
    return false;
#endif
}

// Writes a pattern over every byte and reads it back.
void ExpectUsable(uint8_t* memory, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
        memory[i] = static_cast<uint8_t>(i * 31 + 7);
    }
    for (size_t i = 0; i < bytes; ++i) {
        ASSERT_EQ(memory[i], static_cast<uint8_t>(i * 31 + 7)) << "byte " << i << " of " << bytes;
    }
}

TEST(LargeBuffer, EverySizeIsUsableAndUnmappedAtRelease) {
    const size_t hugePage = size_t{2} << 20;
    for (const size_t bytes :
         {size_t{1}, hugePage - 1, hugePage, hugePage + 1, 5 * hugePage + 4097}) {
        SCOPED_TRACE(bytes);
        auto* memory = static_cast<uint8_t*>(LargeBufferAllocate(bytes));
        ASSERT_NE(memory, nullptr);
#if defined(__linux__)
        EXPECT_EQ(reinterpret_cast<uintptr_t>(memory) % hugePage, 0u) << "not huge-page aligned";
#endif
        ExpectUsable(memory, bytes);
        LargeBufferRelease(memory, bytes);
#if defined(__linux__)
        EXPECT_FALSE(Mapped(memory, bytes)) << "the memory outlives its release";
#endif
    }
    LargeBufferRelease(nullptr, hugePage);  // ignored
}

TEST(LargeBuffer, NativeArrayReleasesOnReallocationAndDestruction) {
    const size_t count = kLargeBufferBytes / sizeof(int16_t) + 3;
    [[maybe_unused]] const int16_t* first = nullptr;
    {
        NativeArray<int16_t> samples;
        ASSERT_TRUE(samples.Allocate(count));
        first = samples.get();
        ExpectUsable(reinterpret_cast<uint8_t*>(samples.get()), count * sizeof(int16_t));
        ASSERT_TRUE(samples.Allocate(16));  // small: from the heap, the large block goes
#if defined(__linux__)
        EXPECT_FALSE(Mapped(first, count * sizeof(int16_t)));
#endif
        ASSERT_TRUE(samples.Allocate(count));
        first = samples.get();
        samples[count - 1] = 42;
        EXPECT_EQ(samples[count - 1], 42);
    }
#if defined(__linux__)
    EXPECT_FALSE(Mapped(first, count * sizeof(int16_t))) << "not released by the destructor";
#endif
}

// A recording whose copy and samples both take the large path reaches the engine whole, and
// none of the call's large memory is left mapped afterwards.
TEST_F(IdentificationTest, LongRecordingReachesTheEngineWhole) {
    std::vector<int16_t> samples(kLargeBufferBytes / sizeof(int16_t) + 1001);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(i * 40503);
    }
    ScriptTargets({{"a", 1, 2, 3}});
    ASSERT_EQ(RunAll({.audio = Pcm16Wave(samples)}, NewResults(1)), 0);
    const auto& seen = fakeengine::Observed();
    ASSERT_EQ(seen.sampleCount, static_cast<int32_t>(samples.size()));
    EXPECT_TRUE(seen.samples == samples) << "the engine was handed other samples";
#if defined(__linux__)
    EXPECT_FALSE(Mapped(seen.samplesAddress, samples.size() * sizeof(int16_t)))
        << "the samples outlive the call";
#endif
}

}  // namespace
}  // namespace testsupport
