// One ordered log per thread of what the fakes saw (JNI calls, engine calls, buffer releases),
// so that a test can assert the order in which different kinds of resources were released.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

std::vector<std::string>& Events();

// Marks code of the fakes themselves, whose own allocations are not the code under test's.
class FakeScope {
  public:
    FakeScope() { ++Depth(); }
    ~FakeScope() { --Depth(); }
    FakeScope(const FakeScope&) = delete;
    FakeScope& operator=(const FakeScope&) = delete;
    static bool Active() { return Depth() > 0; }

  private:
    static int& Depth() {
        thread_local int depth = 0;
        return depth;
    }
};

inline void RecordEvent(std::string event) {
    FakeScope scope;
    Events().push_back(std::move(event));
}

// Index of the first event equal to `event` at or after `from`, or -1.
int FindEvent(const std::string& event, size_t from = 0);

}  // namespace testsupport
