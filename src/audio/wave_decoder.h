// Pass 2 over a WAVE file image: turns its data chunk into interleaved signed 16-bit samples.
#pragma once

#include <cstdint>

#include "audio/wave_header.h"

namespace jkestrune {

// Parses `image` exactly as QueryWaveSampleCount does, records its format and data size in
// `header`, and decodes the data into `samples`, which must hold the count that
// QueryWaveSampleCount gave for the same image and length; no more is ever written. `count`
// receives the number of frames decoded (0 for a format that is not decoded). Returns 0, or
// ERR_NO_AUDIO in exactly the cases in which QueryWaveSampleCount fails, with nothing written.
//
// Decoded: PCM (tag 1; 8-bit unsigned, 24- and 32-bit as their top 16 bits, other widths copied
// as 16-bit values, the width being nBlockAlign / nChannels), A-law (6) and μ-law (7), also when
// WAVE_FORMAT_EXTENSIBLE names one of them as its SubFormat. For any other format nothing is
// written and the header's totals stay as they are. Slots for which the data holds no bytes
// (an nBlockAlign too small for one sample per channel) are set to 0.
int32_t DecodeWaveSamples(WaveHeader& header, const uint8_t* image, uint32_t length,
                          uint32_t& count, int16_t* samples);

}  // namespace jkestrune
