#include "support/wave_builder.h"

namespace testsupport {
namespace {

void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void PutId(std::vector<uint8_t>& out, const std::string& id) {
    out.insert(out.end(), id.begin(), id.end());
}

}  // namespace

std::vector<uint8_t> BuildWave(const WaveSpec& spec) {
    std::vector<uint8_t> out;
    PutId(out, "RIFF");
    Put32(out, 0);  // patched below
    PutId(out, "WAVE");
    PutId(out, "fmt ");
    Put32(out, static_cast<uint32_t>(16 + spec.formatExtra.size()));
    Put16(out, static_cast<uint16_t>(spec.formatTag));
    Put16(out, static_cast<uint16_t>(spec.channels));
    Put32(out, spec.sampleRate);
    Put32(out, spec.sampleRate * static_cast<uint32_t>(spec.blockAlign));
    Put16(out, static_cast<uint16_t>(spec.blockAlign));
    Put16(out, spec.bitsPerSample);
    out.insert(out.end(), spec.formatExtra.begin(), spec.formatExtra.end());
    for (const Chunk& chunk : spec.chunksBeforeData) {
        PutId(out, chunk.id);
        Put32(out, chunk.sizeField.value_or(static_cast<uint32_t>(chunk.body.size())));
        out.insert(out.end(), chunk.body.begin(), chunk.body.end());
    }
    PutId(out, "data");
    Put32(out, spec.dataSizeField.value_or(static_cast<uint32_t>(spec.data.size())));
    out.insert(out.end(), spec.data.begin(), spec.data.end());
    const auto riffSize = static_cast<uint32_t>(out.size() - 8);
    for (int k = 0; k < 4; ++k) {
        out[4 + k] = static_cast<uint8_t>(riffSize >> (8 * k));
    }
    return out;
}

std::vector<uint8_t> Pcm16Wave(const std::vector<int16_t>& samples, int16_t channels) {
    WaveSpec spec;
    spec.channels = channels;
    spec.blockAlign = static_cast<int16_t>(2 * channels);
    for (int16_t sample : samples) {
        Put16(spec.data, static_cast<uint16_t>(sample));
    }
    return BuildWave(spec);
}

std::vector<uint8_t> G711Wave(int16_t formatTag, const std::vector<uint8_t>& codes,
                              int16_t channels) {
    WaveSpec spec;
    spec.formatTag = formatTag;
    spec.channels = channels;
    spec.blockAlign = channels;
    spec.bitsPerSample = 8;
    spec.data = codes;
    return BuildWave(spec);
}

}  // namespace testsupport
