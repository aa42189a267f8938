// The x86-64 sample paths, declared for the dispatchers. They exist where GCC or Clang build
// for x86-64 outside Windows (whose 64-bit ABI does not keep the stack aligned for spilled
// 512-bit registers under these compilers); elsewhere only the portable loop is built. There
// is no AVX2 path: a 16-way vpshufb lookup and a vpgatherdd lookup were both measured slower
// than the portable loop.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(_WIN32)
#define JKESTRUNE_X86_SIMD 1
#else
#define JKESTRUNE_X86_SIMD 0
#endif

#if JKESTRUNE_X86_SIMD
namespace jkestrune::x86 {

bool HasAvx512Vbmi();
// G.711 expansion (g711_expand.h): the whole table held in eight registers, looked up with
// two-source byte permutes; large outputs are written with streaming stores.
void ExpandAvx512Vbmi(const uint32_t* table, const uint8_t* in, size_t count, int16_t* out);

// Wide PCM cut to 16 bits (pcm_top16.h): one two-source byte permute picks the top two bytes
// of 32 samples.
void TakeTop16Avx512Vbmi(int width, const uint8_t* in, size_t count, int16_t* out);

}  // namespace jkestrune::x86
#endif
