// An owned native array whose allocation can fail without throwing, so that a call that cannot
// get its memory returns a code to Java instead of letting an exception reach the JVM.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace jkestrune {

template <typename T>
class NativeArray {
  public:
    // Allocates `count` uninitialised elements (0 is allowed and yields an empty, non-null
    // array); false when the memory is not available. Whatever was held before is released.
    [[nodiscard]] bool Allocate(size_t count) {
        data_.reset(new (std::nothrow) T[count]);
        return data_ != nullptr;
    }

    T* get() const { return data_.get(); }
    T& operator[](size_t index) const { return data_[index]; }

  private:
    std::unique_ptr<T[]> data_;
};

}  // namespace jkestrune
