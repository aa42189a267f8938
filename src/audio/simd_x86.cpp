// The x86-64 sample paths. Their functions are compiled for AVX-512 VBMI alone
// (target attributes), so the rest of the library keeps the baseline instruction set and they
// run only after the processor has said it has the instructions.
#include "audio/simd_x86.h"

#if JKESTRUNE_X86_SIMD

#include <immintrin.h>

namespace jkestrune::x86 {
namespace {

// Outputs of this size or more are written past the caches: a recording this long does not
// stay in them anyway, and a streaming store needs no read of the line it fills.
constexpr size_t kStreamingBytes = size_t{4} << 20;

// The table as two byte planes: lo[c] and hi[c] are the low and high byte of code c's sample.
struct BytePlanes {
    alignas(64) uint8_t lo[256];
    alignas(64) uint8_t hi[256];
};

}  // namespace

bool HasAvx512Vbmi() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi");
}

namespace {

#define JKESTRUNE_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// The zero-masking forms with every lane selected: GCC 12's unmasked forms of these intrinsics
// start from a self-initialised "undefined" register, which -Wuninitialized reports.
constexpr __mmask8 kAll8 = 0xFF;
constexpr __mmask16 kAll16 = 0xFFFF;

// Masks of the first `count` lanes (all lanes from the register's width on).
JKESTRUNE_VBMI __mmask64 First64(size_t count) {
    return count >= 64 ? ~__mmask64{0} : (__mmask64{1} << count) - 1;
}

JKESTRUNE_VBMI __mmask32 First32(size_t count) {
    return count >= 32 ? ~__mmask32{0} : (__mmask32{1} << count) - 1;
}

struct Vbmi {
    __m512i lo[4];
    __m512i hi[4];
    __m512i spread;  // puts code qwords i and 4 + i into lane i, see Expand64
};

JKESTRUNE_VBMI Vbmi LoadVbmi(const uint32_t* table) {
    BytePlanes planes;
    for (int i = 0; i < 16; ++i) {
        const __m512i entries = _mm512_loadu_si512(table + 16 * i);
        _mm_store_si128(reinterpret_cast<__m128i*>(planes.lo + 16 * i),
                        _mm512_maskz_cvtepi32_epi8(kAll16, entries));
        _mm_store_si128(
            reinterpret_cast<__m128i*>(planes.hi + 16 * i),
            _mm512_maskz_cvtepi32_epi8(kAll16, _mm512_maskz_srli_epi32(kAll16, entries, 8)));
    }
    Vbmi v;
    for (int i = 0; i < 4; ++i) {
        v.lo[i] = _mm512_load_si512(planes.lo + 64 * i);
        v.hi[i] = _mm512_load_si512(planes.hi + 64 * i);
    }
    v.spread = _mm512_set_epi64(7, 3, 6, 2, 5, 1, 4, 0);
    return v;
}

// The samples of 64 codes, in two registers of 32 samples each. vpermi2b looks a byte up in
// 128 bytes by the code's low seven bits; bit 7 chooses between the two halves of the table.
// Unpacking interleaves low and high bytes within 128-bit lanes, so the codes are first spread
// such that lane i of the unpacked results holds codes 8i to 8i+7 and 32+8i to 32+8i+7.
JKESTRUNE_VBMI void Expand64(const Vbmi& v, __m512i codes, __m512i& first, __m512i& second) {
    codes = _mm512_maskz_permutexvar_epi64(kAll8, v.spread, codes);
    const __mmask64 upper = _mm512_movepi8_mask(codes);
    const __m512i lo =
        _mm512_mask_blend_epi8(upper, _mm512_permutex2var_epi8(v.lo[0], codes, v.lo[1]),
                               _mm512_permutex2var_epi8(v.lo[2], codes, v.lo[3]));
    const __m512i hi =
        _mm512_mask_blend_epi8(upper, _mm512_permutex2var_epi8(v.hi[0], codes, v.hi[1]),
                               _mm512_permutex2var_epi8(v.hi[2], codes, v.hi[3]));
    first = _mm512_unpacklo_epi8(lo, hi);
    second = _mm512_unpackhi_epi8(lo, hi);
}

// Up to 64 codes, with masked loads and stores that touch nothing beyond them.
JKESTRUNE_VBMI void ExpandPart(const Vbmi& v, const uint8_t* in, size_t count, int16_t* out) {
    const __mmask64 mask = First64(count);
    __m512i first;
    __m512i second;
    Expand64(v, _mm512_maskz_loadu_epi8(mask, in), first, second);
    _mm512_mask_storeu_epi16(out, static_cast<__mmask32>(mask), first);
    _mm512_mask_storeu_epi16(out + 32, static_cast<__mmask32>(mask >> 32), second);
}

}  // namespace

JKESTRUNE_VBMI void ExpandAvx512Vbmi(const uint32_t* table, const uint8_t* in, size_t count,
                                     int16_t* out) {
    const Vbmi v = LoadVbmi(table);
    size_t k = 0;
    const bool streaming = count * sizeof(int16_t) >= kStreamingBytes;
    if (streaming) {
        // Streaming stores need 64-byte aligned addresses; samples are 2-byte aligned.
        const size_t misalignment = reinterpret_cast<uintptr_t>(out) % 64;
        k = misalignment == 0 ? 0 : (64 - misalignment) / sizeof(int16_t);
        ExpandPart(v, in, k, out);
    }
    for (; k + 64 <= count; k += 64) {
        __m512i first;
        __m512i second;
        Expand64(v, _mm512_loadu_si512(in + k), first, second);
        if (streaming) {
            _mm512_stream_si512(reinterpret_cast<__m512i*>(out + k), first);
            _mm512_stream_si512(reinterpret_cast<__m512i*>(out + k + 32), second);
        } else {
            _mm512_storeu_si512(out + k, first);
            _mm512_storeu_si512(out + k + 32, second);
        }
    }
    if (streaming) {
        _mm_sfence();  // orders the streaming stores before whatever reads the samples next
    }
    if (k < count) {
        ExpandPart(v, in + k, count - k, out + k);
    }
}

namespace {

// Output byte 2j and 2j + 1 come from input bytes width × j + width - 2 and width × j +
// width - 1 of a 128-byte window: for 32 samples of at most 4 bytes the window suffices.
JKESTRUNE_VBMI __m512i Top16Index(int width) {
    alignas(64) uint8_t index[64];
    for (int j = 0; j < 32; ++j) {
        index[2 * j] = static_cast<uint8_t>(width * j + width - 2);
        index[2 * j + 1] = static_cast<uint8_t>(width * j + width - 1);
    }
    return _mm512_load_si512(index);
}

}  // namespace

JKESTRUNE_VBMI void TakeTop16Avx512Vbmi(int width, const uint8_t* in, size_t count, int16_t* out) {
    const __m512i index = Top16Index(width);
    const size_t inBytes = count * static_cast<size_t>(width);
    size_t k = 0;
    // Whole windows of 128 bytes while they lie within the input.
    for (; k * static_cast<size_t>(width) + 128 <= inBytes; k += 32) {
        const uint8_t* window = in + k * static_cast<size_t>(width);
        const __m512i low = _mm512_loadu_si512(window);
        const __m512i high = _mm512_loadu_si512(window + 64);
        _mm512_storeu_si512(out + k, _mm512_permutex2var_epi8(low, index, high));
    }
    // The rest, up to 32 samples at a time, with loads and stores masked to what is there.
    for (; k < count; k += 32) {
        const size_t samples = count - k < 32 ? count - k : 32;
        const size_t bytes = samples * static_cast<size_t>(width);
        const uint8_t* window = in + k * static_cast<size_t>(width);
        const __m512i low = _mm512_maskz_loadu_epi8(First64(bytes), window);
        const __m512i high =
            _mm512_maskz_loadu_epi8(bytes > 64 ? First64(bytes - 64) : 0, window + 64);
        _mm512_mask_storeu_epi16(out + k, First32(samples),
                                 _mm512_permutex2var_epi8(low, index, high));
    }
}

#undef JKESTRUNE_VBMI

}  // namespace jkestrune::x86

#endif  // JKESTRUNE_X86_SIMD
