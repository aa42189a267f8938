// The portable loop for wide PCM and the choice between it and the processor-specific paths.
#include "audio/pcm_top16.h"

#include "audio/cpu_paths.h"
#include "audio/simd_x86.h"

namespace jkestrune {
namespace {

template <size_t kWidth>
void Top16(const uint8_t* in, size_t count, int16_t* out) {
    for (size_t k = 0; k < count; ++k) {
        const uint8_t* sample = in + k * kWidth;
        out[k] = static_cast<int16_t>(sample[kWidth - 2] | sample[kWidth - 1] << 8);
    }
}

void TakePortable(int width, const uint8_t* in, size_t count, int16_t* out) {
    if (width == 3) {
        Top16<3>(in, count, out);
    } else {
        Top16<4>(in, count, out);
    }
}

constexpr Top16Path kPaths[] = {
    {"portable", AlwaysSupported, TakePortable},
#if JKESTRUNE_X86_SIMD
    {"avx512vbmi", x86::HasAvx512Vbmi, x86::TakeTop16Avx512Vbmi},
#endif
};

}  // namespace

std::span<const Top16Path> Top16Paths() {
    return kPaths;
}

void TakeTop16(int width, const uint8_t* in, size_t count, int16_t* out) {
    PreferredPath(kPaths).take(width, in, count, out);
}

}  // namespace jkestrune
