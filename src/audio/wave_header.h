// The per-request record of a recording's format, in WAVE file layout, which both audio passes
// fill and in which the decoding pass keeps running totals of the audio data taken in.
#pragma once

#include <cstdint>

namespace jkestrune {

#pragma pack(push, 1)
// The 18 format bytes, laid out field for field like WAVEFORMATEX.
struct WaveFormat {
    int16_t wFormatTag;
    int16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    int16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};

// A canonical 46-byte WAVE header image (little-endian, packed).
struct WaveHeaderImage {
    char riffId[4];
    uint32_t riffSize;
    char waveId[4];
    char fmtId[4];
    uint32_t fmtSize;
    WaveFormat format;
    char dataId[4];
    uint32_t dataSize;
};
#pragma pack(pop)

static_assert(sizeof(WaveFormat) == 18);
static_assert(sizeof(WaveHeaderImage) == 46);

// Describes the audio as it was taken in: the input's own format tag and data size, not those
// of the decoded samples. Invariants: image.riffSize == 38 + image.dataSize, and
// dataTotal == image.dataSize.
struct WaveHeader {
    // Fixed IDs and sizes, totals 0; the format fields are 0 until a pass fills them.
    WaveHeader();

    uint32_t dataTotal;
    WaveHeaderImage image;
};

// Format tags.
inline constexpr int16_t WAVE_FORMAT_PCM = 1;
inline constexpr int16_t WAVE_FORMAT_ALAW = 6;
inline constexpr int16_t WAVE_FORMAT_MULAW = 7;
inline constexpr int16_t WAVE_FORMAT_EXTENSIBLE = static_cast<int16_t>(0xFFFE);

}  // namespace jkestrune
