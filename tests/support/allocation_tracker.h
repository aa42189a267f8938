// Replaces the global operator new and delete of the test program it is linked into, so that a
// test can see which heap blocks the code under test releases, and in which order relative to
// its JNI and engine calls, and can make a chosen allocation fail. Only allocations made on the
// tracking thread outside the fakes are seen. Link it into one test program only.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace testsupport {

// Names a released block ("audio copy", "samples", ...), or returns "" to leave it out.
using ReleaseLabeler = std::function<std::string(const void* block, size_t size)>;

// From now on, on this thread: record allocations; on the release of a recorded block append
// "free <label>" to Events() when the labeler names it.
void StartAllocationTracking(ReleaseLabeler labeler);
void StopAllocationTracking();

// Makes the n-th tracked allocation (1-based, counted from now) of exactly `size` bytes fail:
// nothrow forms return null, the others throw std::bad_alloc.
void FailAllocationOfSize(size_t size, int nth = 1);

// Tracked blocks not yet released.
int OutstandingTrackedBlocks();

}  // namespace testsupport
