// Vectors of 4, 8 or 16 floats (the compilers' generic vectors), their loads from floats and from
// bfloat16, and the exponential and the logarithm over all lanes at once. A function that carries a
// target attribute gets these operations in that instruction set; each kernel uses the width of its
// registers (GCC splits wider vectors through memory). Vectors are passed by reference only:
// passing one of 32 or 64 bytes by value has a different calling convention with and without AVX,
// which compilers warn about.
#pragma once

#include <cstdint>
#include <cstring>

namespace kestrune::lanes {

typedef float Floats4 __attribute__((vector_size(16)));
typedef float Floats8 __attribute__((vector_size(32)));
typedef float Floats16 __attribute__((vector_size(64)));

// The lane count of a vector type.
template <typename V>
inline constexpr int kWidth = static_cast<int>(sizeof(V) / sizeof(float));

#define KESTRUNE_LANES_INLINE [[gnu::always_inline]] inline

template <typename V>
KESTRUNE_LANES_INLINE void Load(V& v, const float* from) {
    std::memcpy(&v, from, sizeof v);
}

// The floats of 16 bfloat16 values (bfloat16.h), each one's bits moved to the upper half of a
// 32-bit lane, into as many vectors V as they fill. Converted as one vector of 16 whatever V's
// width: the compilers widen 8 or 16 of them at once in every instruction set, but a vector of 4
// halves is taken apart lane by lane.
template <typename V>
KESTRUNE_LANES_INLINE void LoadBfloat16(V (&v)[16 / kWidth<V>], const uint16_t* from) {
    typedef uint16_t Halves __attribute__((vector_size(32)));
    typedef uint32_t Words __attribute__((vector_size(64)));
    Halves halves;
    std::memcpy(&halves, from, sizeof halves);
    const Words words = __builtin_convertvector(halves, Words) << 16;
    std::memcpy(&v, &words, sizeof words);
}

template <typename V>
KESTRUNE_LANES_INLINE void Store(float* to, const V& v) {
    std::memcpy(to, &v, sizeof v);
}

template <typename V>
KESTRUNE_LANES_INLINE void Broadcast(V& v, float value) {
    v = V{} + value;
}

template <typename V>
KESTRUNE_LANES_INLINE void Max(V& v, const V& other) {
    v = v > other ? v : other;
}

// x := e^x, as the Cephes single-precision exponential (within 2 ulp): x = n ln 2 + r with
// |r| <= ln 2 / 2, e^r by its degree-7 polynomial, 2^n put into the exponent bits. Arguments
// are clamped to [-87.3, 88.3], where the result is a normal float.
template <typename V>
KESTRUNE_LANES_INLINE void Exp(V& x) {
    typedef int32_t Ints __attribute__((vector_size(sizeof(V))));
    x = x < -87.3f ? V{} - 87.3f : x;
    x = x > 88.3f ? V{} + 88.3f : x;
    // Round to nearest by adding and subtracting 1.5 * 2^23.
    const V n = (x * 1.44269504088896341f + 12582912.0f) - 12582912.0f;
    const V r = x - n * 0.693359375f + n * 2.12194440e-4f;
    V p = 1.9875691500e-4f * r + 1.3981999507e-3f;
    p = p * r + 8.3334519073e-3f;
    p = p * r + 4.1665795894e-2f;
    p = p * r + 1.6666665459e-1f;
    p = p * r + 5.0000001201e-1f;
    p = p * (r * r) + r + 1.0f;
    const Ints bits = (__builtin_convertvector(n, Ints) + 127) << 23;
    V scale;
    std::memcpy(&scale, &bits, sizeof scale);
    x = p * scale;
}

// x := ln x for positive normal x, as the Cephes single-precision logarithm (within 2 ulp):
// x = 2^e m with m in [sqrt(1/2), sqrt(2)), ln m by its polynomial in m - 1.
template <typename V>
KESTRUNE_LANES_INLINE void Log(V& x) {
    typedef int32_t Ints __attribute__((vector_size(sizeof(V))));
    Ints bits;
    std::memcpy(&bits, &x, sizeof bits);
    V e = __builtin_convertvector((bits >> 23) - 126, V);
    bits = (bits & 0x007fffff) | 0x3f000000;  // the mantissa in [1/2, 1)
    V m;
    std::memcpy(&m, &bits, sizeof m);
    const Ints small = m < 0.707106781186547524f;
    e = e - (small ? V{} + 1.0f : V{});
    m = m - 1.0f + (small ? m : V{});
    const V z = m * m;
    V y = 7.0376836292e-2f * m - 1.1514610310e-1f;
    y = y * m + 1.1676998740e-1f;
    y = y * m - 1.2420140846e-1f;
    y = y * m + 1.4249322787e-1f;
    y = y * m - 1.6668057665e-1f;
    y = y * m + 2.0000714765e-1f;
    y = y * m - 2.4999993993e-1f;
    y = y * m + 3.3333331174e-1f;
    y = y * m * z;
    y = y - 2.12194440e-4f * e;
    y = y - 0.5f * z;
    x = m + y + 0.693359375f * e;
}

}  // namespace kestrune::lanes
