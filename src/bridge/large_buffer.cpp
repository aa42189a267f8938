#include "bridge/large_buffer.h"

#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace jkestrune {

#if defined(__linux__)

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

size_t RoundUp(size_t value, size_t step) {
    return (value + step - 1) / step * step;
}

}  // namespace

void* LargeBufferAllocate(size_t bytes) {
    const size_t used = RoundUp(bytes, kHugePage);
    // One huge page more than needed, so that an aligned run of them lies within; the ends
    // outside it are unmapped again straight away.
    const size_t mapped = used + kHugePage;
    void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        return nullptr;
    }
    const auto start = reinterpret_cast<uintptr_t>(base);
    const uintptr_t aligned = RoundUp(start, kHugePage);
    if (aligned > start) {
        munmap(base, aligned - start);
    }
    const uintptr_t end = start + mapped;
    if (end > aligned + used) {
        munmap(reinterpret_cast<void*>(aligned + used), end - (aligned + used));
    }
    auto* memory = reinterpret_cast<void*>(aligned);
    // Without transparent huge pages (or with them switched off) this fails, and the mapping
    // simply keeps its small pages.
    (void)madvise(memory, used, MADV_HUGEPAGE);
    return memory;
}

void LargeBufferRelease(void* memory, size_t bytes) {
    if (memory != nullptr) {
        munmap(memory, RoundUp(bytes, kHugePage));
    }
}

#else

void* LargeBufferAllocate(size_t bytes) {
    return ::operator new(bytes, std::nothrow);
}

void LargeBufferRelease(void* memory, size_t) {
    ::operator delete(memory);
}

#endif

}  // namespace jkestrune
