// Builders of WAVE file images for the audio tests: chunk by chunk, with whatever sizes a test
// wants the fields to claim.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace jkestrune::test {

using Bytes = std::vector<uint8_t>;

void AppendLe16(Bytes& out, uint16_t value);
void AppendLe32(Bytes& out, uint32_t value);

// The format fields of a "fmt " chunk body.
struct Format {
    int16_t tag;
    int16_t channels;
    int16_t blockAlign;
    uint16_t bitsPerSample;
    uint32_t samplesPerSec = 8000;
};

// The 16 format bytes followed by zeros up to `size` (16 has no cbSize, 18 has cbSize 0). A
// size below 16 still writes the 16 bytes.
Bytes FormatBody(const Format& format, uint32_t size = 16);

// A 40-byte WAVE_FORMAT_EXTENSIBLE body whose SubFormat is the GUID of `subFormatTag`
// (xxxxxxxx-0000-0010-8000-00AA00389B71). `format.tag` is written as given.
Bytes ExtensibleFormatBody(const Format& format, uint32_t subFormatTag);

// A chunk: ID, size field, body. The size field is the body's size unless `claimedSize` is
// given. No pad byte is added.
Bytes Chunk(const char* id, const Bytes& body);
Bytes ChunkClaiming(const char* id, uint32_t claimedSize, const Bytes& body);

// "RIFF", the size of the rest, the form type, then the parts in order.
Bytes Riff(std::initializer_list<Bytes> parts, const char* riffId = "RIFF",
           const char* formType = "WAVE");

// The usual image: a 16-byte "fmt " chunk directly followed by the "data" chunk.
Bytes SimpleWave(const Format& format, const Bytes& data);

// 16-bit samples as little-endian bytes: the body of a 16-bit PCM data chunk.
Bytes Pcm16Data(const std::vector<int16_t>& samples);

// Interleaved 16-bit PCM at 8 kHz, `channels` samples per frame.
Bytes Pcm16Wave(const std::vector<int16_t>& samples, int16_t channels = 1);

// One code byte per sample at 8 kHz: tag 6 is A-law, 7 is mu-law.
Bytes G711Wave(int16_t formatTag, const Bytes& codes);

}  // namespace jkestrune::test
