// Creation of the per-request WaveHeader.
#include "audio/wave_header.h"

#include <cstring>

namespace jkestrune {

namespace {
// The header image with no data: "RIFF", a RIFF size that covers the rest of the 46 bytes,
// "WAVE", an 18-byte "fmt " chunk and an empty "data" chunk.
constexpr uint32_t kEmptyRiffSize = sizeof(WaveHeaderImage) - 8;
constexpr uint32_t kFormatChunkSize = sizeof(WaveFormat);
}  // namespace

WaveHeader::WaveHeader() : dataTotal(0), image{} {
    std::memcpy(image.riffId, "RIFF", 4);
    image.riffSize = kEmptyRiffSize;
    std::memcpy(image.waveId, "WAVE", 4);
    std::memcpy(image.fmtId, "fmt ", 4);
    image.fmtSize = kFormatChunkSize;
    std::memcpy(image.dataId, "data", 4);
    image.dataSize = 0;
}

}  // namespace jkestrune
