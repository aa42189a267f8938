// The samples of a real recording in data/fsdd (8 kHz, 16-bit), through the project's own
// WAVE reader.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "audio/wave_decoder.h"
#include "audio/wave_reader.h"
#include "support/corpus.h"

namespace kestrune::testing {

// The samples of `speaker` saying `digit`, take `index`; none when the file cannot be read.
inline std::vector<int16_t> CorpusSamples(int digit, const char* speaker, int index) {
    std::ifstream in(CorpusRecording(digit, speaker, index), std::ios::binary);
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    const auto length = static_cast<uint32_t>(image.size());
    jkestrune::WaveHeader header;
    uint32_t count = 0;
    if (image.empty() ||
        jkestrune::QueryWaveSampleCount(header, image.data(), length, count) != 0) {
        return {};
    }
    std::vector<int16_t> samples(count);
    if (jkestrune::DecodeWaveSamples(header, image.data(), length, count, samples.data()) != 0) {
        return {};
    }
    samples.resize(count);
    return samples;
}

}  // namespace kestrune::testing
