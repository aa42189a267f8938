#include "support/event_log.h"

#include "support/per_thread.h"

namespace testsupport {

namespace {
struct EventLogTag {};
}  // namespace

std::vector<std::string>& Events() {
    return PerThread<std::vector<std::string>, EventLogTag>();
}

int FindEvent(const std::string& event, size_t from) {
    const auto& events = Events();
    for (size_t i = from; i < events.size(); ++i) {
        if (events[i] == event) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace testsupport
