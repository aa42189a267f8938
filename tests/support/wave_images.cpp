#include "support/wave_images.h"

namespace jkestrune::test {

void AppendLe16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void AppendLe32(Bytes& out, uint32_t value) {
    AppendLe16(out, static_cast<uint16_t>(value));
    AppendLe16(out, static_cast<uint16_t>(value >> 16));
}

namespace {
void AppendId(Bytes& out, const char* id) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(id[i]));
    }
}
}  // namespace

Bytes FormatBody(const Format& format, uint32_t size) {
    Bytes body;
    AppendLe16(body, static_cast<uint16_t>(format.tag));
    AppendLe16(body, static_cast<uint16_t>(format.channels));
    AppendLe32(body, format.samplesPerSec);
    AppendLe32(body, format.samplesPerSec * static_cast<uint16_t>(format.blockAlign));
    AppendLe16(body, static_cast<uint16_t>(format.blockAlign));
    AppendLe16(body, format.bitsPerSample);
    if (size > body.size()) {
        body.resize(size, 0);
    }
    return body;
}

Bytes ExtensibleFormatBody(const Format& format, uint32_t subFormatTag) {
    Bytes body = FormatBody(format, 16);
    AppendLe16(body, 22);                    // cbSize
    AppendLe16(body, format.bitsPerSample);  // valid bits
    AppendLe32(body, 0);                     // channel mask
    AppendLe32(body, subFormatTag);
    const uint8_t tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                              0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    body.insert(body.end(), tail, tail + sizeof tail);
    return body;
}

Bytes ChunkClaiming(const char* id, uint32_t claimedSize, const Bytes& body) {
    Bytes chunk;
    chunk.reserve(8 + body.size());
    AppendId(chunk, id);
    AppendLe32(chunk, claimedSize);
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

Bytes Chunk(const char* id, const Bytes& body) {
    return ChunkClaiming(id, static_cast<uint32_t>(body.size()), body);
}

Bytes Riff(std::initializer_list<Bytes> parts, const char* riffId, const char* formType) {
    Bytes rest;
    AppendId(rest, formType);
    for (const Bytes& part : parts) {
        rest.insert(rest.end(), part.begin(), part.end());
    }
    return ChunkClaiming(riffId, static_cast<uint32_t>(rest.size()), rest);
}

Bytes SimpleWave(const Format& format, const Bytes& data) {
    return Riff({Chunk("fmt ", FormatBody(format)), Chunk("data", data)});
}

Bytes Pcm16Data(const std::vector<int16_t>& samples) {
    Bytes data;
    for (int16_t sample : samples) {
        AppendLe16(data, static_cast<uint16_t>(sample));
    }
    return data;
}

Bytes Pcm16Wave(const std::vector<int16_t>& samples, int16_t channels) {
    return SimpleWave({1, channels, static_cast<int16_t>(2 * channels), 16}, Pcm16Data(samples));
}

Bytes G711Wave(int16_t formatTag, const Bytes& codes) {
    return SimpleWave({formatTag, 1, 1, 8}, codes);
}

}  // namespace jkestrune::test
