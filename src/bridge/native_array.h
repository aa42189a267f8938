// An owned native array whose allocation can fail without throwing, so that a call that cannot
// get its memory returns a code to Java instead of letting an exception reach the JVM.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>

#include "bridge/large_buffer.h"

namespace jkestrune {

template <typename T>
class NativeArray {
    // Large arrays live in memory that no constructor or destructor runs over.
    static_assert(std::is_trivial_v<T>);

  public:
    NativeArray() = default;
    ~NativeArray() { Release(); }
    NativeArray(const NativeArray&) = delete;
    NativeArray& operator=(const NativeArray&) = delete;

    // Allocates `count` uninitialised elements (0 is allowed and yields an empty, non-null
    // array); false when the memory is not available. Whatever was held before is released.
    // Arrays of kLargeBufferBytes or more come from LargeBufferAllocate (large_buffer.h).
    [[nodiscard]] bool Allocate(size_t count) {
        Release();
        const size_t bytes = count * sizeof(T);
        if (bytes >= kLargeBufferBytes) {
            data_ = static_cast<T*>(LargeBufferAllocate(bytes));
            largeBytes_ = data_ != nullptr ? bytes : 0;
        } else {
            data_ = new (std::nothrow) T[count];
        }
        return data_ != nullptr;
    }

    T* get() const { return data_; }
    T& operator[](size_t index) const { return data_[index]; }

  private:
    void Release() {
        if (largeBytes_ != 0) {
            LargeBufferRelease(data_, largeBytes_);
        } else {
            delete[] data_;
        }
        data_ = nullptr;
        largeBytes_ = 0;
    }

    T* data_ = nullptr;
    size_t largeBytes_ = 0;  // the size given to LargeBufferAllocate; 0 for the general heap
};

}  // namespace jkestrune
