// Builds WAVE file images for tests, including deliberately odd ones.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct Chunk {
    std::string id;  // four characters
    std::vector<uint8_t> body;
    std::optional<uint32_t> sizeField;  // written instead of body.size()
};

struct WaveSpec {
    int16_t formatTag = 1;
    int16_t channels = 1;
    uint32_t sampleRate = 8000;
    int16_t blockAlign = 2;
    uint16_t bitsPerSample = 16;
    std::vector<uint8_t> formatExtra;     // bytes after the 16 fixed format bytes
    std::vector<Chunk> chunksBeforeData;  // e.g. a LIST chunk
    std::vector<uint8_t> data;
    std::optional<uint32_t> dataSizeField;
};

std::vector<uint8_t> BuildWave(const WaveSpec& spec);

// Interleaved 16-bit little-endian PCM, `channels` samples per frame.
std::vector<uint8_t> Pcm16Wave(const std::vector<int16_t>& samples, int16_t channels = 1);

// One code byte per sample; tag 6 (A-law) or 7 (mu-law).
std::vector<uint8_t> G711Wave(int16_t formatTag, const std::vector<uint8_t>& codes,
                              int16_t channels = 1);

}  // namespace testsupport
