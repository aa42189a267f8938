// WAVE images and G.711 encoding for tests.
#include "support/wave_writer.h"

#include "support/wave_images.h"

#include <cstdlib>
#include <fstream>

namespace kestrune::testing {
namespace {

namespace wave = jkestrune::test;

// mu-law segment ends over biased 16-bit magnitudes.
constexpr int kSegmentEnds[8] = {0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF, 0x3FFF, 0x7FFF};

int Segment(int value) {
    int segment = 0;
    while (segment < 8 && value > kSegmentEnds[segment]) {
        ++segment;
    }
    return segment;
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
    const int16_t tag = encoding == WaveEncoding::Pcm16  ? 1
                        : encoding == WaveEncoding::ALaw ? 6
                                                         : 7;
    wave::Bytes data;
    for (int16_t sample : samples) {
        if (encoding == WaveEncoding::Pcm16) {
            wave::AppendLe16(data, static_cast<uint16_t>(sample));
        } else {
            data.push_back(encoding == WaveEncoding::ALaw ? EncodeALaw(sample)
                                                          : EncodeMuLaw(sample));
        }
    }
    const wave::Format format{tag, static_cast<int16_t>(channels),
                              static_cast<int16_t>(channels * bytesPerSample),
                              static_cast<uint16_t>(8 * bytesPerSample), rate};
    // A data chunk of odd size is followed by its pad byte.
    return wave::Riff({wave::Chunk("fmt ", wave::FormatBody(format)), wave::Chunk("data", data),
                       wave::Bytes(data.size() % 2)});
}

void WriteWave(const std::filesystem::path& path, const std::vector<int16_t>& samples,
               uint32_t rate, uint16_t channels, WaveEncoding encoding) {
    const std::vector<uint8_t> image = WaveImage(samples, rate, channels, encoding);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
}

}  // namespace kestrune::testing
