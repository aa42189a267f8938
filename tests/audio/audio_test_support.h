// Runs the two audio passes the way the pipeline does, on an exactly sized copy of an image (so
// that a sanitizer sees any read past its end), and records what they wrote.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/wave_header.h"
#include "support/wave_images.h"

namespace jkestrune::test {

// Formats both pass tests use.
inline constexpr Format kStereo16{WAVE_FORMAT_PCM, 2, 4, 16};
inline constexpr Format kMonoALaw{WAVE_FORMAT_ALAW, 1, 1, 8};
inline constexpr Format kMonoMuLaw{WAVE_FORMAT_MULAW, 1, 1, 8};

// What a count holds when a pass did not write it.
inline constexpr uint32_t kCountUntouched = 0xC0FFEE;
// What a sample slot holds when nothing wrote it.
inline constexpr int16_t kSampleUntouched = 0x5A5A;

// The header's fields as bytes, for comparing a header with another (it has padding).
std::vector<uint8_t> HeaderBytes(const WaveHeader& header);

// The header's values, unpacked. Its packed fields may be misaligned, and gtest's assertions
// bind their arguments to references.
struct HeaderFields {
    uint32_t dataTotal;
    uint32_t riffSize;
    uint32_t fmtSize;
    uint32_t dataSize;
    int16_t tag;
    int16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    int16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t cbSize;
};
HeaderFields Fields(const WaveHeader& header);

struct PassOne {
    int32_t result;
    uint32_t count;
    WaveHeader header;
};

PassOne RunPassOne(const Bytes& image);

struct PassTwo {
    int32_t result;
    uint32_t count;
    WaveHeader header;
    // The buffer as it stands after the pass: `slots` samples, each kSampleUntouched before.
    std::vector<int16_t> samples;
    // Slots written behind the `slots` that the buffer holds. Must stay 0.
    int overrun;
};

// Runs DecodeWaveSamples with a buffer of `slots` samples on `header` (a fresh one by default).
PassTwo RunPassTwo(const Bytes& image, uint32_t slots, const WaveHeader& header = WaveHeader());

// Both passes as the pipeline runs them: pass 2 only after pass 1 gave a count above 0, with
// pass 1's header and a buffer of exactly pass 1's count.
struct BothPasses {
    PassOne one;
    PassTwo two;
    bool ranTwo;
};
BothPasses RunBothPasses(const Bytes& image);

}  // namespace jkestrune::test
