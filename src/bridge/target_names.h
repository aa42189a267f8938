// Reading the engine's target names, which come in fixed 256-byte slots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/kestrune.h"

namespace jkestrune {

// The name in slot `target`: the bytes up to the slot's first NUL, or all 256 bytes of the
// slot when it has none, so that a name without its NUL is never read past its slot.
std::string_view TargetName(const char* targetNames, int32_t target);

// Room for the longest conversion of one slot (every byte replaced by three) and its NUL.
inline constexpr size_t kModifiedUtf8NameCapacity = 3 * kTargetNameSlot + 1;

// Writes `bytes` in the form NewStringUTF expects (modified UTF-8), NUL-terminated, into `out`
// of `capacity` bytes, and returns the length written; what does not fit is left out, at a
// character boundary. Engines write standard UTF-8, which differs for characters beyond the
// Basic Multilingual Plane (four bytes there, a surrogate pair of three bytes each here) and for
// NUL; bytes that form no character become U+FFFD. Uses no heap.
size_t ToModifiedUtf8(std::string_view bytes, char* out, size_t capacity);

}  // namespace jkestrune
