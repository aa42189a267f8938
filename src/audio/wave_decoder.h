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
int32_t DecodeWaveSamples(WaveHeader& header, const uint8_t* image, uint32_t length,
                          uint32_t& count, int16_t* samples);

}  // namespace jkestrune
