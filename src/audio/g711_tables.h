// The two G.711 expansion tables, built in as constant data.
#pragma once

#include <cstdint>

namespace jkestrune {

// Indexed by the code byte; the low 16 bits of each entry are the signed 16-bit linear value,
// the high 16 bits are zero. A-law values are the reconstruction levels scaled by 8 (0xD5 is
// +8, 0xAA is +32256), μ-law values those scaled by 4 (0x80 is +32124, 0xFF and 0x7F are 0).
extern const uint32_t kALawToLinear[256];
extern const uint32_t kMuLawToLinear[256];

}  // namespace jkestrune
