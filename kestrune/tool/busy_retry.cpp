// Concurrency and busy answers of the engine, for the tools.
#include "tool/busy_retry.h"

#include <algorithm>

namespace kestrune {

unsigned ConcurrentCalls(unsigned requested, int32_t engineStreams, size_t work) {
    size_t calls = requested;
    if (engineStreams > 0) {
        calls = std::min(calls, static_cast<size_t>(engineStreams));
    }
    calls = std::min(calls, work);
    return static_cast<unsigned>(std::max<size_t>(calls, 1));
}

int32_t CallRetryingBusy(const std::function<int32_t()>& call, const BusyRetry& retry,
                         const std::function<void(std::chrono::milliseconds)>& wait) {
    std::chrono::milliseconds pause = retry.firstWait;
    int32_t answer = call();
    for (int tried = 1; answer == kEngineBusy && tried < retry.tries; ++tried) {
        wait(pause);
        pause = std::min(pause * 2, retry.lastWait);
        answer = call();
    }
    return answer;
}

}  // namespace kestrune
