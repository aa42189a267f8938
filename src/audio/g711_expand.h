// G.711 expansion: code bytes to 16-bit linear samples through a 256-entry table, with paths
// for particular processors chosen at run time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace jkestrune {

// Sets out[k] to the low 16 bits of table[in[k]] for every k below `count`, and writes nothing
// else. Takes the fastest path that the processor supports, asking it anew on every call.
void ExpandG711(const uint32_t (&table)[256], const uint8_t* in, size_t count, int16_t* out);

// One implementation of ExpandG711. Every path gives the same samples as the portable one.
struct G711ExpandPath {
    const char* name;
    // Whether the processor (and the operating system) can run this path.
    bool (*supported)();
    void (*expand)(const uint32_t* table, const uint8_t* in, size_t count, int16_t* out);
};

// Every path built into this library, the portable loop first and the preferred one last, so
// that tests and benchmarks can run each of them.
std::span<const G711ExpandPath> G711ExpandPaths();

}  // namespace jkestrune
