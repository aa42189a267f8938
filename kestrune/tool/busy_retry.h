// How the tools share the engine's scoring places. The engine scores a limited number of
// recordings at once and answers a call beyond that with "busy"; a tool that started more
// calls than that would see refusals that say nothing about the recordings. So the tools start
// no more concurrent calls than the engine allows, and a busy answer that still comes (another
// process or library user holding places) is retried with exponential backoff, then reported
// as a failure of the run rather than as an answer about the recording.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace kestrune {

// The engine's answer to a call beyond its stream limit.
inline constexpr int32_t kEngineBusy = 4106;

// Tries of one call, and the waits between them: `firstWait`, doubling up to `lastWait`
// (5, 10, ..., 320, 320, 320 ms: 1.3 s in all before a call is given up).
struct BusyRetry {
    int tries = 10;
    std::chrono::milliseconds firstWait{5};
    std::chrono::milliseconds lastWait{320};
};

// The number of concurrent calls to make: the `requested` threads, at most `engineStreams`
// (when the engine states a positive limit) and at most one per item of work; at least 1.
unsigned ConcurrentCalls(unsigned requested, int32_t engineStreams, size_t work);

// Makes `call` until it answers anything but kEngineBusy or the tries are spent, calling
// `wait` between tries; returns the last answer.
int32_t CallRetryingBusy(const std::function<int32_t()>& call, const BusyRetry& retry,
                         const std::function<void(std::chrono::milliseconds)>& wait);

}  // namespace kestrune
