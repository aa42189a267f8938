// The targets' panels are kept as bfloat16: the upper half of a float, 8 bits of precision.
// Scoring a short recording reads every target's panels once for only a few frames, so its time
// is the reading of those panels from memory; half the bytes is nearly half that time. The
// panels hold each component's mean shift over its variance and the offset that goes with it,
// both of a few units: rounded to 8 bits they move a trial's scores by about a thousandth of the
// cohort's spread, far below what separates speakers.
#pragma once

#include <bit>
#include <cstdint>

namespace kestrune {

// Rounded to the nearest bfloat16, ties to even; NaN stays NaN (a NaN's low bits alone could
// otherwise round it into infinity).
constexpr uint16_t ToBfloat16(float value) {
    const auto bits = std::bit_cast<uint32_t>(value);
    if ((bits & 0x7fffffffu) > 0x7f800000u) {
        return static_cast<uint16_t>((bits >> 16) | 0x0040u);
    }
    const uint32_t rounded = bits + 0x7fffu + ((bits >> 16) & 1u);
    return static_cast<uint16_t>(rounded >> 16);
}

constexpr float FromBfloat16(uint16_t value) {
    return std::bit_cast<float>(static_cast<uint32_t>(value) << 16);
}

}  // namespace kestrune
