// Wide PCM cut to 16 bits: the top two bytes of 24- and 32-bit little-endian samples, with
// paths for particular processors chosen at run time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace jkestrune {

// Sets out[k] to the last two bytes (little-endian) of the `width`-byte sample that starts at
// in + k × width, for every k below `count`; `width` is 3 or 4. Reads no byte at or beyond
// in + count × width and writes nothing but the `count` samples. Takes the fastest path that
// the processor supports, asking it anew on every call.
void TakeTop16(int width, const uint8_t* in, size_t count, int16_t* out);

// One implementation of TakeTop16. Every path gives the same samples as the portable one.
struct Top16Path {
    const char* name;
    bool (*supported)();
    void (*take)(int width, const uint8_t* in, size_t count, int16_t* out);
};

// Every path built into this library, the portable loop first and the preferred one last.
std::span<const Top16Path> Top16Paths();

}  // namespace jkestrune
