#include "support/event_log.h"

namespace testsupport {

std::vector<std::string>& Events() {
    thread_local std::vector<std::string> events;
    return events;
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
