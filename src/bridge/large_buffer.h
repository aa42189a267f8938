// Memory for the large buffers of one call (the copy of a long recording and its samples),
// mapped for the call and returned to the system when the call releases it.
#pragma once

#include <cstddef>

namespace jkestrune {

// Buffers of this size or more are taken from LargeBufferAllocate, smaller ones from the
// general heap. The heap may hand back memory that earlier calls touched, which costs nothing
// to fill, but in a JVM's native threads it mostly returns freed blocks of this size to the
// system and maps them afresh in small pages: measured at 4 to 5 ms per MB, thirty times the
// decoding. A fresh mapping in huge pages costs its zeroing, 0.08 to 0.14 ms per MB.
inline constexpr size_t kLargeBufferBytes = size_t{2} << 20;

// At least `bytes` bytes of uninitialised memory, or null when the system has none. Where huge
// pages can be had (Linux), the memory is a fresh mapping aligned to them and advised to use them,
// so that filling it takes one page fault per 2 MiB instead of one per 4 KiB; a page fault costs
// more than the decoding of the page it brings in. Elsewhere, the general heap.
void* LargeBufferAllocate(size_t bytes);

// Releases memory from LargeBufferAllocate(bytes), with the same `bytes`. Null is ignored.
void LargeBufferRelease(void* memory, size_t bytes);

}  // namespace jkestrune
