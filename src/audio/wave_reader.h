// Pass 1 over a WAVE file image: finds the format and the data chunk and reports how many
// 16-bit sample slots the decoded recording needs.
#pragma once

#include <cstdint>

#include "audio/wave_header.h"

namespace jkestrune {

// Parses `image` (`length` bytes; may be null) and, on success, copies its format into
// `header` and writes `count`: frames × channels, the number of 16-bit slots that
// DecodeWaveSamples will need for the same image and length. Returns 0, or ERR_NO_AUDIO with
// `count` and `header` untouched (null image, no readable RIFF/WAVE container, an empty data
// chunk, an nBlockAlign of 0 or below nChannels, a negative
// nChannels). A readable header whose data holds no
// whole frame, or that has 0 channels, succeeds with a count of 0. A data chunk that claims more
// bytes than the image holds is read as the bytes present. Never reads outside
// [image, image + length).
int32_t QueryWaveSampleCount(WaveHeader& header, const uint8_t* image, uint32_t length,
                             uint32_t& count);

}  // namespace jkestrune
