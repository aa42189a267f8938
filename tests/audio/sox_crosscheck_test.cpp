// Cross-check against a decoder this project did not write: sox writes WAVE files of every
// encoding we decode, decodes them itself to raw signed 16-bit, and DecodeWaveSamples must give
// the same samples. The files are made at test time in the build tree.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/wave_header.h"
#include "audio_test_support.h"
#include "support/wave_images.h"

namespace jkestrune {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

struct SoxCase {
    const char* name;
    int channels;
    // sox's options for the output file; "-t wavpcm" keeps sox from writing the extensible
    // format it otherwise picks for more than 16 bits or more than two channels.
    const char* outputOptions;
    // Rewrite sox's plain G.711 file as WAVE_FORMAT_EXTENSIBLE (sox never writes that for G.711
    // but reads it), and have sox decode the rewritten file.
    bool rewriteAsExtensible;
    // The tag the file must carry, so that the table covers plain and extensible files.
    int16_t fileTag;
    // PCM sample width in bytes; 0 for G.711.
    int pcmBytes;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SoxCase& c, std::ostream* os) {
    *os << c.name;
}

const SoxCase kCases[] = {
    {"alaw_mono", 1, "-e a-law", false, WAVE_FORMAT_ALAW, 0},
    {"alaw_stereo", 2, "-e a-law", false, WAVE_FORMAT_ALAW, 0},
    {"alaw_stereo_extensible", 2, "-e a-law", true, WAVE_FORMAT_EXTENSIBLE, 0},
    {"mulaw_mono", 1, "-e u-law", false, WAVE_FORMAT_MULAW, 0},
    {"mulaw_stereo", 2, "-e u-law", false, WAVE_FORMAT_MULAW, 0},
    {"mulaw_mono_extensible", 1, "-e u-law", true, WAVE_FORMAT_EXTENSIBLE, 0},
    {"pcm8_mono", 1, "-e unsigned -b 8", false, WAVE_FORMAT_PCM, 1},
    {"pcm8_stereo", 2, "-e unsigned -b 8", false, WAVE_FORMAT_PCM, 1},
    {"pcm8_3ch_extensible", 3, "-e unsigned -b 8", false, WAVE_FORMAT_EXTENSIBLE, 1},
    {"pcm16_mono", 1, "-e signed -b 16", false, WAVE_FORMAT_PCM, 2},
    {"pcm16_stereo", 2, "-e signed -b 16", false, WAVE_FORMAT_PCM, 2},
    {"pcm16_3ch_extensible", 3, "-e signed -b 16", false, WAVE_FORMAT_EXTENSIBLE, 2},
    {"pcm24_mono", 1, "-t wavpcm -e signed -b 24", false, WAVE_FORMAT_PCM, 3},
    {"pcm24_stereo", 2, "-t wavpcm -e signed -b 24", false, WAVE_FORMAT_PCM, 3},
    {"pcm24_mono_extensible", 1, "-e signed -b 24", false, WAVE_FORMAT_EXTENSIBLE, 3},
    {"pcm24_stereo_extensible", 2, "-e signed -b 24", false, WAVE_FORMAT_EXTENSIBLE, 3},
    {"pcm32_mono", 1, "-t wavpcm -e signed -b 32", false, WAVE_FORMAT_PCM, 4},
    {"pcm32_stereo_extensible", 2, "-e signed -b 32", false, WAVE_FORMAT_EXTENSIBLE, 4},
};

constexpr int kFrames = 2000;

// A signal that reaches every G.711 segment and has low-order bits set (so that 24- and 32-bit
// files are not simply 16-bit values shifted up): the extremes first, then a fixed
// pseudo-random sequence of all magnitudes.
Bytes SourceSamples(int channels) {
    const int32_t extremes[] = {INT32_MAX,  INT32_MIN,   0,          -1,
                                1,          0x7FFF8000,  0x00008000, -0x8000,
                                0x7FFF7FFF, -0x7FFF8001, 0x000080FF, -0x0000807F};
    Bytes bytes;
    uint32_t state = 12345;
    for (int i = 0; i < kFrames * channels; ++i) {
        int32_t value;
        if (i < static_cast<int>(std::size(extremes))) {
            value = extremes[i];
        } else {
            state = state * 1664525u + 1013904223u;
            value = static_cast<int32_t>(state) >> (state % 24);  // spread over the segments
        }
        test::AppendLe32(bytes, static_cast<uint32_t>(value));
    }
    return bytes;
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

template <typename T>
std::vector<T> LittleEndianValues(const Bytes& bytes) {
    std::vector<T> values(bytes.size() / sizeof(T));
    std::memcpy(values.data(), bytes.data(), values.size() * sizeof(T));
    return values;
}

// sox writes G.711 with an 18-byte format chunk at offset 12; the same file with a 40-byte
// extensible format chunk naming the tag as its SubFormat.
Bytes AsExtensible(const Bytes& plain) {
    const auto le16 = [&](size_t at) {
        return static_cast<int16_t>(plain[at] | plain[at + 1] << 8);
    };
    const uint32_t fmtSize = plain[16] | plain[17] << 8 | plain[18] << 16 | plain[19] << 24;
    const int16_t tag = le16(20);
    test::Format format{WAVE_FORMAT_EXTENSIBLE, le16(22), le16(32),
                        static_cast<uint16_t>(le16(34))};
    format.samplesPerSec = plain[24] | plain[25] << 8 | plain[26] << 16 | plain[27] << 24;
    const Bytes rest(plain.begin() + 20 + fmtSize, plain.end());
    return test::Riff({test::Chunk("fmt ", test::ExtensibleFormatBody(format, tag)), rest});
}

class SoxCrossCheck : public testing::TestWithParam<SoxCase> {
  protected:
    static bool Run(const std::string& command) {
        const int status = std::system(command.c_str());
        EXPECT_EQ(status, 0) << command;
        return status == 0;
    }
};

TEST_P(SoxCrossCheck, DecodesAsSoxDoes) {
    if (std::system("command -v sox >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "sox is not installed (scripts/install-deps.sh installs it)";
    }
    const SoxCase& c = GetParam();
    const fs::path dir = JKESTRUNE_SOX_WORK_DIR;
    fs::create_directories(dir);
    const fs::path source = dir / (std::string(c.name) + ".s32");
    const fs::path wave = dir / (std::string(c.name) + ".wav");
    const fs::path ref16 = dir / (std::string(c.name) + ".s16");
    const fs::path ref32 = dir / (std::string(c.name) + ".ref.s32");
    WriteFile(source, SourceSamples(c.channels));

    // -D: no dither, in either direction; -V1: only failures on stderr.
    const std::string sox = "sox -D -V1 ";
    const std::string raw32 = "-t raw -r 8000 -e signed -b 32 -c " + std::to_string(c.channels);
    ASSERT_TRUE(Run(sox + raw32 + " '" + source.string() + "' " + c.outputOptions + " '" +
                    wave.string() + "'"));
    if (c.rewriteAsExtensible) {
        WriteFile(wave, AsExtensible(ReadFile(wave)));
    }
    ASSERT_TRUE(
        Run(sox + "'" + wave.string() + "' -t raw -e signed -b 16 '" + ref16.string() + "'"));
    const std::vector<int16_t> soxSamples = LittleEndianValues<int16_t>(ReadFile(ref16));
    ASSERT_EQ(soxSamples.size(), static_cast<size_t>(kFrames * c.channels));

    const test::BothPasses ours = test::RunBothPasses(ReadFile(wave));
    ASSERT_EQ(ours.one.result, 0);
    ASSERT_TRUE(ours.ranTwo);
    ASSERT_EQ(ours.two.result, 0);
    EXPECT_EQ(test::Fields(ours.two.header).tag, c.fileTag);
    EXPECT_EQ(ours.two.count, static_cast<uint32_t>(kFrames));
    ASSERT_EQ(ours.two.samples.size(), soxSamples.size());

    if (c.pcmBytes < 3) {
        // G.711 expands to the same 16-bit values in both; 8-bit and 16-bit PCM convert
        // without any rounding.
        EXPECT_EQ(ours.two.samples, soxSamples);
        return;
    }
    // 24- and 32-bit: we keep the top 16 bits (rounding towards minus infinity); sox rounds to
    // the nearest value and clips at 32767. So sox's 16-bit samples are ours or ours + 1, and
    // ours are exactly sox's lossless 32-bit decoding shifted down by 16.
    ASSERT_TRUE(
        Run(sox + "'" + wave.string() + "' -t raw -e signed -b 32 '" + ref32.string() + "'"));
    const std::vector<int32_t> soxWide = LittleEndianValues<int32_t>(ReadFile(ref32));
    ASSERT_EQ(soxWide.size(), soxSamples.size());
    int roundedUp = 0;
    for (size_t i = 0; i < soxWide.size(); ++i) {
        ASSERT_EQ(ours.two.samples[i], static_cast<int16_t>(soxWide[i] >> 16)) << "sample " << i;
        const int difference = soxSamples[i] - ours.two.samples[i];
        ASSERT_TRUE(difference == 0 || difference == 1) << "sample " << i;
        roundedUp += difference;
    }
    EXPECT_GT(roundedUp, 0) << "the source should have low-order bits that sox rounds up";
}

INSTANTIATE_TEST_SUITE_P(Files, SoxCrossCheck, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SoxCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace jkestrune
