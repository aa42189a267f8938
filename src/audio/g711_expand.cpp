// The portable expansion loop and the choice between it and the processor-specific paths.
#include "audio/g711_expand.h"

#include "audio/cpu_paths.h"
#include "audio/simd_x86.h"

namespace jkestrune {
namespace {

// One byte load, one lookup and one store per sample. Compilers unroll this well, and on the
// machines measured it is as fast as any scalar rearrangement tried (eight codes per load,
// four samples per store): the loads and stores of the lookups set the pace either way.
void ExpandPortable(const uint32_t* table, const uint8_t* in, size_t count, int16_t* out) {
    for (size_t k = 0; k < count; ++k) {
        out[k] = static_cast<int16_t>(table[in[k]]);
    }
}

constexpr G711ExpandPath kPaths[] = {
    {"portable", AlwaysSupported, ExpandPortable},
#if JKESTRUNE_X86_SIMD
    {"avx512vbmi", x86::HasAvx512Vbmi, x86::ExpandAvx512Vbmi},
#endif
};

}  // namespace

std::span<const G711ExpandPath> G711ExpandPaths() {
    return kPaths;
}

void ExpandG711(const uint32_t (&table)[256], const uint8_t* in, size_t count, int16_t* out) {
    PreferredPath(kPaths).expand(table, in, count, out);
}

}  // namespace jkestrune
