// WAVE images and G.711 encoding for tests.
#include "support/wave_writer.h"

#include <cstdlib>
#include <fstream>

namespace kestrune::testing {
namespace {

// mu-law segment ends over biased 16-bit magnitudes.
constexpr int kSegmentEnds[8] = {0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF, 0x3FFF, 0x7FFF};

int Segment(int value) {
    int segment = 0;
    while (segment < 8 && value > kSegmentEnds[segment]) {
        ++segment;
    }
    return segment;
}

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void PutTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(tag[i]));
    }
}

}  // namespace

uint8_t EncodeALaw(int16_t sample) {
    // A-law works on 13-bit magnitudes; negative values are one's-complemented.
    constexpr int kEnds[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
    int value = sample >> 3;
    int mask = 0xD5;
    if (value < 0) {
        mask = 0x55;
        value = -value - 1;
    }
    int segment = 0;
    while (segment < 8 && value > kEnds[segment]) {
        ++segment;
    }
    if (segment >= 8) {
        return static_cast<uint8_t>(0x7F ^ mask);
    }
    const int mantissa = (segment < 2 ? value >> 1 : value >> segment) & 0x0F;
    return static_cast<uint8_t>(((segment << 4) | mantissa) ^ mask);
}

uint8_t EncodeMuLaw(int16_t sample) {
    constexpr int kBias = 0x84;
    int value = sample;
    int mask = 0xFF;
    if (value < 0) {
        value = kBias - value;
        mask = 0x7F;
    } else {
        value += kBias;
    }
    const int segment = Segment(value);
    if (segment >= 8) {
        return static_cast<uint8_t>(0x7F ^ mask);
    }
    return static_cast<uint8_t>(((segment << 4) | ((value >> (segment + 3)) & 0x0F)) ^ mask);
}

std::vector<uint8_t> WaveImage(const std::vector<int16_t>& samples, uint32_t rate,
                               uint16_t channels, WaveEncoding encoding) {
    const uint16_t bytesPerSample = encoding == WaveEncoding::Pcm16 ? 2 : 1;
    const uint16_t tag = encoding == WaveEncoding::Pcm16  ? 1
                         : encoding == WaveEncoding::ALaw ? 6
                                                          : 7;
    const auto dataSize = static_cast<uint32_t>(samples.size() * bytesPerSample);
    std::vector<uint8_t> out;
    PutTag(out, "RIFF");
    Put(out, 36 + dataSize + (dataSize & 1), 4);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    Put(out, 16, 4);
    Put(out, tag, 2);
    Put(out, channels, 2);
    Put(out, rate, 4);
    Put(out, rate * channels * bytesPerSample, 4);
    Put(out, channels * bytesPerSample, 2);
    Put(out, bytesPerSample * 8, 2);
    PutTag(out, "data");
    Put(out, dataSize, 4);
    for (int16_t sample : samples) {
        if (encoding == WaveEncoding::Pcm16) {
            Put(out, static_cast<uint16_t>(sample), 2);
        } else {
            out.push_back(encoding == WaveEncoding::ALaw ? EncodeALaw(sample)
                                                         : EncodeMuLaw(sample));
        }
    }
    if (dataSize & 1) {
        out.push_back(0);
    }
    return out;
}

void WriteWave(const std::filesystem::path& path, const std::vector<int16_t>& samples,
               uint32_t rate, uint16_t channels, WaveEncoding encoding) {
    const std::vector<uint8_t> image = WaveImage(samples, rate, channels, encoding);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
}

}  // namespace kestrune::testing
