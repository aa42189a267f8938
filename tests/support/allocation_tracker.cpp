#include "support/allocation_tracker.h"

#include <cstdlib>
#include <map>
#include <new>

#include "support/event_log.h"

namespace testsupport {
namespace {

struct Tracker {
    bool active = false;
    ReleaseLabeler labeler;
    std::map<void*, size_t> blocks;
    std::map<size_t, int> failCountdown;
};

Tracker& State() {
    thread_local Tracker tracker;
    return tracker;
}

bool Tracking() {
    return State().active && !FakeScope::Active();
}

void* Allocate(size_t size, bool nothrow) {
    if (Tracking()) {
        Tracker& tracker = State();
        FakeScope scope;  // the tracker's own maps allocate too
        auto fail = tracker.failCountdown.find(size);
        if (fail != tracker.failCountdown.end() && --fail->second == 0) {
            tracker.failCountdown.erase(fail);
            if (nothrow) {
                return nullptr;
            }
            throw std::bad_alloc();
        }
        void* block = std::malloc(size == 0 ? 1 : size);
        if (block != nullptr) {
            tracker.blocks[block] = size;
        }
        return block;
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr && !nothrow) {
        throw std::bad_alloc();
    }
    return block;
}

void Release(void* block) {
    if (block == nullptr) {
        return;
    }
    Tracker& tracker = State();
    if (!FakeScope::Active() && !tracker.blocks.empty()) {
        FakeScope scope;
        auto it = tracker.blocks.find(block);
        if (it != tracker.blocks.end()) {
            const size_t size = it->second;
            tracker.blocks.erase(it);
            if (tracker.labeler) {
                const std::string label = tracker.labeler(block, size);
                if (!label.empty()) {
                    Events().push_back("free " + label);
                }
            }
        }
    }
    std::free(block);
}

}  // namespace

void StartAllocationTracking(ReleaseLabeler labeler) {
    FakeScope scope;
    Tracker& tracker = State();
    tracker.blocks.clear();
    tracker.labeler = std::move(labeler);
    tracker.active = true;
}

void StopAllocationTracking() {
    FakeScope scope;
    Tracker& tracker = State();
    tracker.active = false;
    tracker.labeler = nullptr;
    tracker.failCountdown.clear();
}

void FailAllocationOfSize(size_t size, int nth) {
    FakeScope scope;
    State().failCountdown[size] = nth;
}

int OutstandingTrackedBlocks() {
    return static_cast<int>(State().blocks.size());
}

}  // namespace testsupport

void* operator new(size_t size) {
    return testsupport::Allocate(size, false);
}
void* operator new[](size_t size) {
    return testsupport::Allocate(size, false);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return testsupport::Allocate(size, true);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return testsupport::Allocate(size, true);
}
void operator delete(void* block) noexcept {
    testsupport::Release(block);
}
void operator delete[](void* block) noexcept {
    testsupport::Release(block);
}
void operator delete(void* block, size_t) noexcept {
    testsupport::Release(block);
}
void operator delete[](void* block, size_t) noexcept {
    testsupport::Release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    testsupport::Release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    testsupport::Release(block);
}
