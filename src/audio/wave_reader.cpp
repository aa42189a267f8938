// Pass 1: the sample count that sizes the caller's buffer.
#include "audio/wave_reader.h"

#include "audio/wave_parse.h"
#include "return_codes.h"

namespace jkestrune {

int32_t QueryWaveSampleCount(WaveHeader& header, const uint8_t* image, uint32_t length,
                             uint32_t& count) {
    WaveLayout layout{};
    if (!ParseWave(image, length, layout)) {
        return ERR_NO_AUDIO;
    }
    header.image.format = layout.format;
    // Counted alike for every tag, decoded or not: the buffer is sized before the tag matters.
    count = layout.sampleCount;
    return kSuccess;
}

}  // namespace jkestrune
