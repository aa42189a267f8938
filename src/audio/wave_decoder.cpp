// Pass 2: the data chunk as interleaved signed 16-bit samples.
#include "audio/wave_decoder.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "audio/g711_expand.h"
#include "audio/g711_tables.h"
#include "audio/pcm_top16.h"
#include "audio/wave_parse.h"
#include "return_codes.h"

namespace jkestrune {
namespace {

// 16-bit PCM is handed on by copying its little-endian bytes.
static_assert(std::endian::native == std::endian::little);

// The sample loops below do one load (or lookup) and one store per sample and nothing else, so
// that the compiler can unroll and vectorise them.
using SampleLoop = void (*)(const uint8_t* in, size_t sampleCount, int16_t* out);

void Copy16(const uint8_t* in, size_t sampleCount, int16_t* out) {
    std::memcpy(out, in, sampleCount * sizeof(int16_t));
}

void Unsigned8(const uint8_t* in, size_t sampleCount, int16_t* out) {
    for (size_t k = 0; k < sampleCount; ++k) {
        out[k] = static_cast<int16_t>((in[k] - 128) * 256);
    }
}

// The top 16 bits of little-endian signed samples `kWidth` bytes wide: their last two bytes,
// on the fastest path the processor has (pcm_top16.h).
template <int kWidth>
void Top16(const uint8_t* in, size_t sampleCount, int16_t* out) {
    TakeTop16(kWidth, in, sampleCount, out);
}

// One lookup per code byte, on the fastest path the processor has (g711_expand.h).
template <const uint32_t (&kTable)[256]>
void Expand(const uint8_t* in, size_t sampleCount, int16_t* out) {
    ExpandG711(kTable, in, sampleCount, out);
}

struct Decoding {
    SampleLoop loop;
    uint32_t inputWidth;  // input bytes per sample
};

// How a decoded tag's data is turned into samples. For PCM the width of a sample is
// nBlockAlign / nChannels, whatever wBitsPerSample says: 8-bit data is unsigned, wider data is
// cut to its top 16 bits, and any width other than 1, 3 or 4 is copied as 16-bit values.
Decoding DecodingFor(int16_t tag, int16_t blockAlign, int16_t channels) {
    switch (tag) {
        case WAVE_FORMAT_ALAW:
            return {Expand<kALawToLinear>, 1};
        case WAVE_FORMAT_MULAW:
            return {Expand<kMuLawToLinear>, 1};
        default:
            break;
    }
    switch (blockAlign / channels) {
        case 1:
            return {Unsigned8, 1};
        case 3:
            return {Top16<3>, 3};
        case 4:
            return {Top16<4>, 4};
        default:
            return {Copy16, 2};
    }
}

bool IsDecoded(int16_t tag) {
    return tag == WAVE_FORMAT_PCM || tag == WAVE_FORMAT_ALAW || tag == WAVE_FORMAT_MULAW;
}

// Writes exactly layout.sampleCount samples. The parse admits no frame narrower than one byte
// per channel, so the data holds every sample; should the count ever ask for more, the slots
// without input bytes are set to 0 rather than read from beyond the data.
void DecodeSamples(const WaveLayout& layout, int16_t* samples) {
    const Decoding decoding =
        DecodingFor(layout.decodeTag, layout.format.nBlockAlign, layout.format.nChannels);
    const size_t wanted = layout.sampleCount;
    const size_t present = std::min<size_t>(wanted, layout.dataSize / decoding.inputWidth);
    decoding.loop(layout.data, present, samples);
    std::fill(samples + present, samples + wanted, int16_t{0});
}

}  // namespace

int32_t DecodeWaveSamples(WaveHeader& header, const uint8_t* image, uint32_t length,
                          uint32_t& count, int16_t* samples) {
    WaveLayout layout{};
    if (!ParseWave(image, length, layout)) {
        return ERR_NO_AUDIO;
    }
    header.image.format = layout.format;
    if (!IsDecoded(layout.decodeTag)) {
        count = 0;
        return kSuccess;
    }
    // The header describes the input as taken in: its bytes, not those of the samples.
    header.dataTotal += layout.dataSize;
    header.image.riffSize += layout.dataSize;
    header.image.dataSize += layout.dataSize;
    if (layout.sampleCount > 0) {  // also keeps nChannels 0 out of DecodingFor's division
        DecodeSamples(layout, samples);
    }
    count = layout.frames;
    return kSuccess;
}

}  // namespace jkestrune
