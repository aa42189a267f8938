// The container parse that both audio passes run, so that they cannot disagree about an image.
#pragma once

#include <cstdint>

#include "audio/wave_header.h"

namespace jkestrune {

// What a WAVE file image holds, as far as the two passes need it.
struct WaveLayout {
    // The input's own format fields, with cbSize set to 0.
    WaveFormat format;
    // The tag the data is decoded as: the input's tag, or for WAVE_FORMAT_EXTENSIBLE the tag
    // named by a known SubFormat (PCM, A-law, μ-law). Any other value is not decoded.
    int16_t decodeTag;
    // The first byte of the data chunk's body.
    const uint8_t* data;
    // The bytes of the data chunk that the image holds: the chunk's size field, or fewer when the
    // image ends first. Never 0.
    uint32_t dataSize;
    // Whole frames in dataSize: dataSize / nBlockAlign, the divisor sign-widened from 16 bits
    // (an nBlockAlign of 32768 or more leaves 0 frames for any real image).
    uint32_t frames;
    // frames × nChannels: the number of 16-bit slots the decoded samples take (at most dataSize).
    uint32_t sampleCount;
};

// Reads `image` (`length` bytes, may be null) and fills `layout`. Fails, leaving `layout`
// undefined, for: a null image; an image without "RIFF" at offset 0; a chunk walk from offset
// 12 that finds no "fmt " chunk with a "data" chunk behind it before the image ends (a chunk
// whose size carries the walk past the end ends it too); a data chunk whose size field is 0 or
// whose body holds no byte; an nBlockAlign of 0 or smaller than nChannels; a negative nChannels.
// Reads no byte outside [image, image + length). On success sampleCount never exceeds dataSize.
[[nodiscard]] bool ParseWave(const uint8_t* image, uint32_t length, WaveLayout& layout);

}  // namespace jkestrune
