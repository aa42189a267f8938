#include "audio/wave_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/wave_reader.h"
#include "audio_test_support.h"
#include "return_codes.h"
#include "support/wave_images.h"

namespace jkestrune {
namespace {

using test::Bytes;
using test::Chunk;
using test::ChunkClaiming;
using test::ExtensibleFormatBody;
using test::Format;
using test::FormatBody;
using test::kMonoALaw;
using test::kMonoMuLaw;
using test::kStereo16;
using test::Pcm16Data;
using test::Riff;
using test::SimpleWave;
using Samples = std::vector<int16_t>;

Bytes ExtensibleWave(const Format& format, uint32_t subFormat, const Bytes& data) {
    return Riff({Chunk("fmt ", ExtensibleFormatBody(format, subFormat)), Chunk("data", data)});
}

const Format kMono8{WAVE_FORMAT_PCM, 1, 1, 8};
const Format kMono24{WAVE_FORMAT_PCM, 1, 3, 24};
const Format kStereo24{WAVE_FORMAT_PCM, 2, 6, 24};
const Format kMono32{WAVE_FORMAT_PCM, 1, 4, 32};
const Format kStereoALaw{WAVE_FORMAT_ALAW, 2, 2, 8};

Format Extensible(int16_t channels, int16_t blockAlign, uint16_t bits) {
    return {WAVE_FORMAT_EXTENSIBLE, channels, blockAlign, bits};
}

// A decoded image: the samples pass 2 must write and the frames it must report.
struct DecodeCase {
    std::string what;
    Bytes image;
    Samples samples;
    uint32_t frames;
};

void ExpectDecoded(const std::vector<DecodeCase>& cases) {
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.what);
        const test::BothPasses both = test::RunBothPasses(c.image);
        ASSERT_EQ(both.one.result, 0);
        ASSERT_EQ(both.one.count, c.samples.size()) << "pass 1 sized the buffer differently";
        ASSERT_TRUE(both.ranTwo);
        EXPECT_EQ(both.two.result, 0);
        EXPECT_EQ(both.two.count, c.frames);
        EXPECT_EQ(both.two.samples, c.samples);
        EXPECT_EQ(both.two.overrun, 0);
    }
}

TEST(WaveDecoderPcm, SixteenBitIsCopiedUnchanged) {
    const Samples stereo = {0, -1, 32767, -32768, 0x1234, -2};
    ExpectDecoded({
        {"stereo", SimpleWave(kStereo16, Pcm16Data(stereo)), stereo, 3},
        {"the odd byte is left",
         SimpleWave({WAVE_FORMAT_PCM, 1, 2, 16}, {1, 0, 2, 0, 9}),
         {1, 2},
         2},
        // wBitsPerSample is never consulted: the width comes from nBlockAlign / nChannels.
        {"bits say 12", SimpleWave({WAVE_FORMAT_PCM, 2, 4, 12}, Pcm16Data(stereo)), stereo, 3},
        {"streaming data size: the bytes present",
         Riff({Chunk("fmt ", FormatBody(kStereo16)),
               ChunkClaiming("data", 0xFFFFFFFFu, Pcm16Data({7, -7, 9}))}),
         {7, -7},
         1},
    });
}

TEST(WaveDecoderPcm, OtherWidthsAreConvertedToSixteenBits) {
    ExpectDecoded({
        {"8-bit is unsigned around 128",
         SimpleWave(kMono8, {0, 1, 127, 128, 129, 255}),
         {-32768, -32512, -256, 0, 256, 32512},
         6},
        {"8-bit stereo",
         SimpleWave({WAVE_FORMAT_PCM, 2, 2, 8}, {0, 255, 128, 127}),
         {-32768, 32512, 0, -256},
         2},
        // Top 16 bits: a truncation towards minus infinity, so -1 stays -1.
        {"24-bit",
         SimpleWave(kMono24, {0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0xFF, 0xFF,
                              0x7F, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF}),
         {0x1234, -1, -32768, 32767, 0, -256},
         6},
        {"24-bit stereo keeps the interleaving",
         SimpleWave(kStereo24,
                    {0x00, 0x01, 0x02, 0x00, 0x03, 0x04, 0x00, 0x05, 0x06, 0x00, 0x07, 0x08}),
         {0x0201, 0x0403, 0x0605, 0x0807},
         2},
        {"32-bit",
         SimpleWave(kMono32, {0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00,
                              0x80, 0xFF, 0xFF, 0xFF, 0x7F}),
         {0x1234, -1, -32768, 32767},
         4},
        {"24 bits in 4-byte containers",
         SimpleWave({WAVE_FORMAT_PCM, 1, 4, 24}, {0x00, 0x56, 0x34, 0x12}),
         {0x1234},
         1},
        {"a width of 5 is copied as 16-bit values",
         SimpleWave({WAVE_FORMAT_PCM, 1, 5, 40}, {1, 0, 2, 0, 3, 0, 4, 0, 5, 0}),
         {1, 2},
         2},
    });
}

TEST(WaveDecoderG711, ExpandsEveryByteThroughItsTable) {
    ExpectDecoded({
        {"A-law stereo",
         SimpleWave(kStereoALaw, {0xD5, 0x55, 0xAA, 0x2A}),
         {8, -8, 32256, -32256},
         2},
        {"mu-law mono", SimpleWave(kMonoMuLaw, {0xFF, 0x7F, 0x00, 0x80}), {0, 0, -32124, 32124}, 4},
        {"an odd A-law length keeps every byte",
         SimpleWave(kMonoALaw, {0xD5, 0xD5, 0xD5}),
         {8, 8, 8},
         3},
    });
}

TEST(WaveDecoderExtensible, KnownSubFormatsAreDecodedAsTheirTag) {
    const Samples stereo = {100, -100, 200, -200};
    ExpectDecoded({
        {"PCM 16-bit", ExtensibleWave(Extensible(2, 4, 16), WAVE_FORMAT_PCM, Pcm16Data(stereo)),
         stereo, 2},
        {"PCM 24-bit",
         ExtensibleWave(Extensible(1, 3, 24), WAVE_FORMAT_PCM, {0x56, 0x34, 0x12}),
         {0x1234},
         1},
        {"PCM 8-bit", ExtensibleWave(Extensible(1, 1, 8), WAVE_FORMAT_PCM, {255}), {32512}, 1},
        {"A-law", ExtensibleWave(Extensible(1, 1, 8), WAVE_FORMAT_ALAW, {0xAA}), {32256}, 1},
        {"mu-law", ExtensibleWave(Extensible(1, 1, 8), WAVE_FORMAT_MULAW, {0x80}), {32124}, 1},
    });
}

TEST(WaveDecoderUndecoded, WritesNothingButTheFormat) {
    const Bytes data = Pcm16Data({1, 2, 3, 4});
    Bytes wrongGuid = ExtensibleFormatBody(Extensible(1, 2, 16), WAVE_FORMAT_PCM);
    wrongGuid[39] ^= 0x01;
    const Bytes pcmGuid = ExtensibleFormatBody(Extensible(1, 2, 16), WAVE_FORMAT_PCM);
    const struct {
        std::string what;
        Bytes image;
        int16_t tag;
    } cases[] = {
        {"IEEE float", SimpleWave({3, 1, 2, 16}, data), 3},
        {"ADPCM", SimpleWave({2, 1, 2, 16}, data), 2},
        {"tag 0", SimpleWave({0, 1, 2, 16}, data), 0},
        {"negative tag", SimpleWave({-2, 1, 2, 16}, data), -2},
        {"extensible float", ExtensibleWave(Extensible(1, 2, 16), 3, data), WAVE_FORMAT_EXTENSIBLE},
        {"extensible ADPCM", ExtensibleWave(Extensible(1, 2, 16), 2, data), WAVE_FORMAT_EXTENSIBLE},
        {"extensible with another GUID", Riff({Chunk("fmt ", wrongGuid), Chunk("data", data)}),
         WAVE_FORMAT_EXTENSIBLE},
        // The SubFormat is only looked for in a format chunk of 40 bytes or more.
        {"extensible tag in an 18-byte format chunk",
         Riff({Chunk("fmt ", FormatBody(Extensible(1, 2, 16), 18)), Chunk("data", data)}),
         WAVE_FORMAT_EXTENSIBLE},
        // Offset 24 of a 16-byte format chunk's body is the body of the chunk behind it.
        {"a PCM GUID in the chunk behind a short extensible format chunk",
         Riff({Chunk("fmt ", FormatBody(Extensible(1, 2, 16), 16)),
               Chunk("JUNK", Bytes(pcmGuid.end() - 16, pcmGuid.end())), Chunk("data", data)}),
         WAVE_FORMAT_EXTENSIBLE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const test::BothPasses both = test::RunBothPasses(c.image);
        ASSERT_EQ(both.one.result, 0);
        EXPECT_EQ(both.one.count, 4u) << "counted like PCM";
        ASSERT_TRUE(both.ranTwo);
        EXPECT_EQ(both.two.result, 0);
        EXPECT_EQ(both.two.count, 0u);
        EXPECT_EQ(both.two.samples, Samples(4, test::kSampleUntouched));
        const test::HeaderFields h = test::Fields(both.two.header);
        EXPECT_EQ(h.tag, c.tag);
        EXPECT_EQ(h.channels, 1);
        EXPECT_EQ(h.dataTotal, 0u);
        EXPECT_EQ(h.riffSize, 38u);
        EXPECT_EQ(h.dataSize, 0u);
    }
}

TEST(WaveDecoderHeader, GrowsByTheInputDataSize) {
    // One header through three decodes: the totals add up the input's bytes, whatever the
    // decoded samples take.
    WaveHeader header;
    const struct {
        std::string what;
        Bytes image;
        uint32_t grownTo;
    } steps[] = {
        {"mu-law, 400 bytes", SimpleWave(kMonoMuLaw, Bytes(400, 0xFF)), 400},
        {"16-bit with an odd byte", SimpleWave({WAVE_FORMAT_PCM, 1, 2, 16}, Bytes(801, 0)), 1201},
        {"a streaming size counts the bytes present",
         Riff({Chunk("fmt ", FormatBody(kMonoALaw)),
               ChunkClaiming("data", 0xFFFFFFFFu, Bytes(99, 0xD5))}),
         1300},
        {"an undecoded tag adds nothing", SimpleWave({3, 1, 4, 32}, Bytes(400, 0)), 1300},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        const test::PassTwo pass = test::RunPassTwo(step.image, 1000, header);
        ASSERT_EQ(pass.result, 0);
        header = pass.header;
        const test::HeaderFields h = test::Fields(header);
        EXPECT_EQ(h.dataTotal, step.grownTo);
        EXPECT_EQ(h.dataSize, step.grownTo);
        EXPECT_EQ(h.riffSize, 38 + step.grownTo);
    }
    EXPECT_EQ(test::Fields(header).tag, 3) << "the last input's format";
    EXPECT_EQ(test::Fields(header).blockAlign, 4);
}

TEST(WaveDecoderFailure, WritesNothing) {
    WaveHeader used;
    used.dataTotal = used.image.dataSize = 10;
    used.image.riffSize = 48;
    const Bytes good = SimpleWave(kMonoMuLaw, {1, 2, 3});
    Bytes notRiff = good;
    notRiff[3] = 'X';
    const struct {
        std::string what;
        Bytes image;
    } cases[] = {
        {"not RIFF", notRiff},
        {"no data chunk", Riff({Chunk("fmt ", FormatBody(kMonoMuLaw))})},
        {"empty data chunk", SimpleWave(kMonoMuLaw, {})},
        {"nBlockAlign 0", SimpleWave({WAVE_FORMAT_MULAW, 1, 0, 8}, {1, 2, 3})},
        {"negative nChannels", SimpleWave({WAVE_FORMAT_MULAW, -3, 1, 8}, {1, 2, 3})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const test::PassTwo pass = test::RunPassTwo(c.image, 3, used);
        EXPECT_EQ(pass.result, ERR_NO_AUDIO);
        EXPECT_EQ(pass.count, test::kCountUntouched);
        EXPECT_EQ(test::HeaderBytes(pass.header), test::HeaderBytes(used));
        EXPECT_EQ(pass.samples, Samples(3, test::kSampleUntouched));
    }

    uint32_t count = 5;
    int16_t sample = 9;
    EXPECT_EQ(DecodeWaveSamples(used, nullptr, 64, count, &sample), ERR_NO_AUDIO);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(sample, 9);
}

TEST(WaveDecoderAgreement, PassTwoWritesExactlyWhatPassOneCounted) {
    const Bytes fmt = Chunk("fmt ", FormatBody(kStereo16));
    const struct {
        std::string what;
        Bytes image;
    } cases[] = {
        {"200 channels of mu-law", SimpleWave({WAVE_FORMAT_MULAW, 200, 200, 8}, Bytes(2000, 0x12))},
        {"8-bit with a padded frame", SimpleWave({WAVE_FORMAT_PCM, 2, 3, 8}, Bytes(30, 7))},
        {"32-bit with channels 3 in blocks of 13",
         SimpleWave({WAVE_FORMAT_PCM, 3, 13, 32}, Bytes(130, 7))},
        {"streaming size, partial frame", Riff({fmt, ChunkClaiming("data", ~0u, Bytes(7, 1))})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const test::BothPasses both = test::RunBothPasses(c.image);
        ASSERT_EQ(both.one.result, 0);
        ASSERT_TRUE(both.ranTwo);
        EXPECT_EQ(both.two.result, 0);
        EXPECT_EQ(both.two.overrun, 0);
        const auto channels = static_cast<uint32_t>(test::Fields(both.one.header).channels);
        EXPECT_EQ(both.two.count * channels, both.one.count);
        EXPECT_EQ(
            std::count(both.two.samples.begin(), both.two.samples.end(), test::kSampleUntouched), 0)
            << "a slot of the count was left unwritten";
    }
}

TEST(WaveDecoderAgreement, NoChannelsWritesNoSampleEvenWithoutABuffer) {
    const Bytes image = SimpleWave({WAVE_FORMAT_ALAW, 0, 1, 8}, {1, 2, 3});
    WaveHeader header;
    uint32_t count = 7;
    ASSERT_EQ(QueryWaveSampleCount(header, image.data(), image.size(), count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(DecodeWaveSamples(header, image.data(), image.size(), count, nullptr), 0);
    EXPECT_EQ(count, 3u) << "frames, as for any decoded tag";
}

}  // namespace
}  // namespace jkestrune
