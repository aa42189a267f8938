// Sixteen floats as one value (the compilers' generic vectors), with the exponential and the
// logarithm over all of them. A function that includes this header and carries a target
// attribute gets these operations in that instruction set: one 512-bit register, two 256-bit
// or four 128-bit ones. Vectors are passed by reference only: a 64-byte vector passed by value
// has a different calling convention with and without AVX-512, which compilers warn about.
#pragma once

#include <cstdint>
#include <cstring>

namespace kestrune::lanes {

inline constexpr int kLanes = 16;

// Aligned to 16 bytes only: the loads and stores do not assume more, and on Windows the
// compilers do not realign the stack for over-aligned locals.
typedef float Floats __attribute__((vector_size(64), aligned(16)));
typedef int32_t Ints __attribute__((vector_size(64), aligned(16)));

#define KESTRUNE_LANES_INLINE [[gnu::always_inline]] inline

KESTRUNE_LANES_INLINE void Load(Floats& v, const float* from) {
    std::memcpy(&v, from, sizeof v);
}

KESTRUNE_LANES_INLINE void Store(float* to, const Floats& v) {
    std::memcpy(to, &v, sizeof v);
}

KESTRUNE_LANES_INLINE void Broadcast(Floats& v, float value) {
    v = Floats{} + value;
}

KESTRUNE_LANES_INLINE void Max(Floats& v, const Floats& other) {
    v = v > other ? v : other;
}

// x := e^x, as the Cephes single-precision exponential (within 2 ulp): x = n ln 2 + r with
// |r| <= ln 2 / 2, e^r by its degree-7 polynomial, 2^n put into the exponent bits. Arguments
// are clamped to [-87.3, 88.3], where the result is a normal float.
KESTRUNE_LANES_INLINE void Exp(Floats& x) {
    x = x < -87.3f ? Floats{} - 87.3f : x;
    x = x > 88.3f ? Floats{} + 88.3f : x;
    // Round to nearest by adding and subtracting 1.5 * 2^23.
    const Floats n = (x * 1.44269504088896341f + 12582912.0f) - 12582912.0f;
    const Floats r = x - n * 0.693359375f + n * 2.12194440e-4f;
    Floats p = 1.9875691500e-4f * r + 1.3981999507e-3f;
    p = p * r + 8.3334519073e-3f;
    p = p * r + 4.1665795894e-2f;
    p = p * r + 1.6666665459e-1f;
    p = p * r + 5.0000001201e-1f;
    p = p * (r * r) + r + 1.0f;
    const Ints bits = (__builtin_convertvector(n, Ints) + 127) << 23;
    Floats scale;
    std::memcpy(&scale, &bits, sizeof scale);
    x = p * scale;
}

// x := ln x for positive normal x, as the Cephes single-precision logarithm (within 2 ulp):
// x = 2^e m with m in [sqrt(1/2), sqrt(2)), ln m by its polynomial in m - 1.
KESTRUNE_LANES_INLINE void Log(Floats& x) {
    Ints bits;
    std::memcpy(&bits, &x, sizeof bits);
    Floats e = __builtin_convertvector((bits >> 23) - 126, Floats);
    bits = (bits & 0x007fffff) | 0x3f000000;  // the mantissa in [1/2, 1)
    Floats m;
    std::memcpy(&m, &bits, sizeof m);
    const Ints small = m < 0.707106781186547524f;
    e = e - (small ? Floats{} + 1.0f : Floats{});
    m = m - 1.0f + (small ? m : Floats{});
    const Floats z = m * m;
    Floats y = 7.0376836292e-2f * m - 1.1514610310e-1f;
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
