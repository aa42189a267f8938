// The portable expansion loop and the choice between it and the processor-specific paths.
#include "audio/g711_expand.h"

#include <bit>
#include <cstring>

#include "audio/g711_expand_x86.h"

namespace jkestrune {
namespace {

static_assert(std::endian::native == std::endian::little,
              "four samples are assembled into one little-endian 64-bit store");

uint64_t Lookup(const uint32_t* table, uint64_t codes, int byte) {
    return static_cast<uint16_t>(table[(codes >> (8 * byte)) & 0xFF]);
}

// Eight codes are read with one load and their samples written with two stores. A loop of one
// byte load, one lookup and one 16-bit store per sample is held up by its memory operations
// (three per sample), not by the lookups.
void ExpandPortable(const uint32_t* table, const uint8_t* in, size_t count, int16_t* out) {
    size_t k = 0;
    for (; k + 8 <= count; k += 8) {
        uint64_t codes;
        std::memcpy(&codes, in + k, sizeof codes);
        const uint64_t first = Lookup(table, codes, 0) | Lookup(table, codes, 1) << 16 |
                               Lookup(table, codes, 2) << 32 | Lookup(table, codes, 3) << 48;
        const uint64_t second = Lookup(table, codes, 4) | Lookup(table, codes, 5) << 16 |
                                Lookup(table, codes, 6) << 32 | Lookup(table, codes, 7) << 48;
        std::memcpy(out + k, &first, sizeof first);
        std::memcpy(out + k + 4, &second, sizeof second);
    }
    for (; k < count; ++k) {
        out[k] = static_cast<int16_t>(table[in[k]]);
    }
}

bool Always() {
    return true;
}

constexpr G711ExpandPath kPaths[] = {
    {"portable", Always, ExpandPortable},
#if JKESTRUNE_X86_EXPAND
    {"avx2", x86::HasAvx2, x86::ExpandAvx2},
    {"avx512vbmi", x86::HasAvx512Vbmi, x86::ExpandAvx512Vbmi},
#endif
};

}  // namespace

std::span<const G711ExpandPath> G711ExpandPaths() {
    return kPaths;
}

void ExpandG711(const uint32_t (&table)[256], const uint8_t* in, size_t count, int16_t* out) {
    // The processor is asked on every call rather than once into a variable of ours: the
    // library keeps no state, and the question costs a load and a test.
    for (size_t i = std::size(kPaths); i-- > 1;) {
        if (kPaths[i].supported()) {
            kPaths[i].expand(table, in, count, out);
            return;
        }
    }
    ExpandPortable(table, in, count, out);
}

}  // namespace jkestrune
