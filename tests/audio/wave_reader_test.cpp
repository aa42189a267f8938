#include "audio/wave_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "return_codes.h"
#include "support/wave_images.h"

namespace jkestrune {
namespace {

using test::Bytes;
using test::Chunk;
using test::ChunkClaiming;
using test::Format;
using test::FormatBody;
using test::kMonoALaw;
using test::kMonoMuLaw;
using test::kStereo16;
using test::Riff;
using test::RunPassOne;
using test::SimpleWave;

const Format kMono16{WAVE_FORMAT_PCM, 1, 2, 16};

Bytes Zeros(size_t n) {
    return Bytes(n, 0);
}

// A case of pass 1: the image, and the result and count it must give (count 0 with
// ERR_NO_AUDIO means "left untouched").
struct CountCase {
    std::string what;
    Bytes image;
    int32_t result;
    uint32_t count;
};

void ExpectCounts(const std::vector<CountCase>& cases) {
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.what);
        const test::PassOne pass = RunPassOne(c.image);
        EXPECT_EQ(pass.result, c.result);
        if (c.result == ERR_NO_AUDIO) {
            EXPECT_EQ(pass.count, test::kCountUntouched) << "count written on failure";
            EXPECT_EQ(test::HeaderBytes(pass.header), test::HeaderBytes(WaveHeader()))
                << "header written on failure";
        } else {
            EXPECT_EQ(pass.count, c.count);
        }
    }
}

TEST(WaveReaderContainer, RecognisesOnlyARiffImage) {
    const Bytes good = SimpleWave(kMono16, Zeros(8));
    Bytes lowerRiff = good;
    lowerRiff[0] = 'r';
    Bytes otherForm = good;
    std::copy_n("AVI ", 4, otherForm.begin() + 8);
    Bytes riffSizeWrong = good;
    riffSizeWrong[4] = 0x01;
    riffSizeWrong[7] = 0x7F;
    const Bytes headerless(400, 0xFF);  // raw μ-law silence
    ExpectCounts({
        {"canonical", good, 0, 4},
        {"an empty image", Bytes(), ERR_NO_AUDIO, 0},
        {"lower-case riff", lowerRiff, ERR_NO_AUDIO, 0},
        {"RIFX, the big-endian container",
         Riff({Chunk("fmt ", FormatBody(kMono16)), Chunk("data", Zeros(8))}, "RIFX"), ERR_NO_AUDIO,
         0},
        {"headerless audio is not guessed at", headerless, ERR_NO_AUDIO, 0},
        {"a form type other than WAVE is not checked", otherForm, 0, 4},
        {"a RIFF size that disagrees with the length is not checked", riffSizeWrong, 0, 4},
        {"only the RIFF header", Bytes(good.begin(), good.begin() + 12), ERR_NO_AUDIO, 0},
        {"shorter than the RIFF header", Bytes(good.begin(), good.begin() + 7), ERR_NO_AUDIO, 0},
        {"cut inside the format fields", Bytes(good.begin(), good.begin() + 30), ERR_NO_AUDIO, 0},
        {"cut inside the data chunk's header", Bytes(good.begin(), good.begin() + 40), ERR_NO_AUDIO,
         0},
        {"upper-case FMT is not a format chunk",
         Riff({Chunk("FMT ", FormatBody(kMono16)), Chunk("data", Zeros(8))}), ERR_NO_AUDIO, 0},
        {"upper-case DATA is not a data chunk",
         Riff({Chunk("fmt ", FormatBody(kMono16)), Chunk("DATA", Zeros(8))}), ERR_NO_AUDIO, 0},
    });
}

TEST(WaveReaderContainer, NullImageLeavesCountAndHeaderAlone) {
    WaveHeader header;
    uint32_t count = 77;
    EXPECT_EQ(QueryWaveSampleCount(header, nullptr, 100, count), ERR_NO_AUDIO);
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(test::HeaderBytes(header), test::HeaderBytes(WaveHeader()));
}

TEST(WaveReaderWalk, FindsTheFirstDataChunkBehindTheFormat) {
    const Bytes fmt16 = Chunk("fmt ", FormatBody(kMono16, 16));
    const Bytes fmt18 = Chunk("fmt ", FormatBody(kMono16, 18));
    const Bytes data = Chunk("data", Zeros(800));
    const Bytes list26 = Chunk("LIST", Zeros(26));
    const Bytes list27 = Chunk("LIST", Zeros(27));
    const Bytes fact = Chunk("fact", {0x90, 0x01, 0, 0});
    ExpectCounts({
        {"16-byte format chunk", Riff({fmt16, data}), 0, 400},
        {"18-byte format chunk", Riff({fmt18, data}), 0, 400},
        {"a 26-byte LIST is stepped over", Riff({fmt16, list26, data}), 0, 400},
        {"fact and LIST", Riff({fmt18, fact, list26, data}), 0, 400},
        {"odd-sized LIST with its pad byte", Riff({fmt16, list27, Zeros(1), data}), 0, 400},
        {"odd-sized LIST from a writer that does not pad", Riff({fmt16, list27, data}), 0, 400},
        {"odd-sized format chunk with its pad byte",
         Riff({Chunk("fmt ", FormatBody(kMono16, 17)), Zeros(1), data}), 0, 400},
        {"JUNK before the format chunk", Riff({Chunk("JUNK", Zeros(28)), fmt16, data}), 0, 400},
        {"bext and an odd JUNK before the format chunk",
         Riff({Chunk("bext", Zeros(602)), Chunk("JUNK", Zeros(3)), Zeros(1), fmt16, data}), 0, 400},
        {"a data chunk before the format chunk is not the data",
         Riff({Chunk("data", Zeros(10)), fmt16, data}), 0, 400},
        {"the first data chunk behind the format ends the walk",
         Riff({fmt16, Chunk("data", Zeros(6)), data}), 0, 3},
        {"an empty first data chunk fails even with audio behind it",
         Riff({fmt16, Chunk("data", {}), data}), ERR_NO_AUDIO, 0},
        {"a data chunk with no format chunk", Riff({data}), ERR_NO_AUDIO, 0},
        {"a format chunk with no data chunk", Riff({fmt16, list26}), ERR_NO_AUDIO, 0},
        {"fewer than 8 bytes behind the last chunk", Riff({fmt16, Zeros(7)}), ERR_NO_AUDIO, 0},
    });
}

TEST(WaveReaderWalk, EndsWhenAChunkSizeLeavesTheImage) {
    const Bytes fmt = Chunk("fmt ", FormatBody(kMono16));
    const Bytes data = Chunk("data", Zeros(8));
    ExpectCounts({
        // 2^32 - 8 + 8 wraps to a step of 0 in 32-bit arithmetic: must not loop.
        {"LIST of 2^32 - 8", Riff({fmt, ChunkClaiming("LIST", 0xFFFFFFF8u, Zeros(4)), data}),
         ERR_NO_AUDIO, 0},
        {"LIST of 2^32 - 1", Riff({fmt, ChunkClaiming("LIST", 0xFFFFFFFFu, Zeros(4)), data}),
         ERR_NO_AUDIO, 0},
        {"LIST reaching exactly the end", Riff({fmt, ChunkClaiming("LIST", 20, Zeros(4)), data}),
         ERR_NO_AUDIO, 0},
        {"format chunk of 2^32 - 8",
         Riff({ChunkClaiming("fmt ", 0xFFFFFFF8u, FormatBody(kMono16)), data}), ERR_NO_AUDIO, 0},
    });
}

TEST(WaveReaderCounts, FramesTimesChannels) {
    const Format float32{3, 1, 4, 32};
    const Format nonsenseTag{0x1234, 1, 2, 16};
    const Format noChannels{WAVE_FORMAT_PCM, 0, 2, 16};
    const Format hugeBlockAlign{WAVE_FORMAT_PCM, 1, static_cast<int16_t>(0x8000), 16};
    const Format stereo8{WAVE_FORMAT_PCM, 2, 2, 8};
    ExpectCounts({
        {"mono 16-bit, 800 bytes", SimpleWave(kMono16, Zeros(800)), 0, 400},
        {"stereo 16-bit, 800 bytes", SimpleWave(kStereo16, Zeros(800)), 0, 400},
        {"mono mu-law, 400 bytes", SimpleWave(kMonoMuLaw, Zeros(400)), 0, 400},
        {"a trailing partial frame counts for nothing", SimpleWave(kMono16, Zeros(801)), 0, 400},
        {"an odd mono A-law length keeps every byte", SimpleWave(kMonoALaw, Zeros(801)), 0, 801},
        {"less than one frame", SimpleWave(kStereo16, Zeros(3)), 0, 0},
        {"no channels", SimpleWave(noChannels, Zeros(800)), 0, 0},
        {"tag 3 is counted like PCM", SimpleWave(float32, Zeros(800)), 0, 200},
        {"an unknown tag is counted like PCM", SimpleWave(nonsenseTag, Zeros(800)), 0, 400},
        // Sign-widened, 0x8000 divides by 2^32 - 32768: no frame in any image shorter than that.
        {"nBlockAlign 32768 is a negative divisor", SimpleWave(hugeBlockAlign, Zeros(65536)), 0, 0},
        {"stereo 8-bit", SimpleWave(stereo8, Zeros(10)), 0, 10},
    });
}

TEST(WaveReaderBounds, DataChunkLongerThanTheImageIsReadAsThePresentBytes) {
    const Bytes fmt = Chunk("fmt ", FormatBody(kStereo16));
    ExpectCounts({
        {"streaming size 0xFFFFFFFF", Riff({fmt, ChunkClaiming("data", 0xFFFFFFFFu, Zeros(801))}),
         0, 400},
        {"size fixed up too late", Riff({fmt, ChunkClaiming("data", 4000, Zeros(10))}), 0, 4},
        {"claims bytes but holds none", Riff({fmt, ChunkClaiming("data", 4000, {})}), ERR_NO_AUDIO,
         0},
        {"claims 0 bytes but holds some", Riff({fmt, ChunkClaiming("data", 0, Zeros(800))}),
         ERR_NO_AUDIO, 0},
        {"shorter than claimed by less than a frame",
         Riff({fmt, ChunkClaiming("data", 8, Zeros(3))}), 0, 0},
    });
}

TEST(WaveReaderFields, RejectsImpossibleFrameSizesAndNegativeChannels) {
    ExpectCounts({
        {"nBlockAlign 0", SimpleWave({WAVE_FORMAT_PCM, 1, 0, 16}, Zeros(8)), ERR_NO_AUDIO, 0},
        {"nChannels -1", SimpleWave({WAVE_FORMAT_PCM, -1, 2, 16}, Zeros(8)), ERR_NO_AUDIO, 0},
        {"nChannels -32768",
         SimpleWave({WAVE_FORMAT_MULAW, static_cast<int16_t>(0x8000), 1, 8}, Zeros(8)),
         ERR_NO_AUDIO, 0},
        {"nChannels 0 is no failure", SimpleWave({WAVE_FORMAT_PCM, 0, 2, 16}, Zeros(8)), 0, 0},
        // Would count 32767 samples per data byte: a few kilobytes asking for gigabytes.
        {"nBlockAlign below nChannels", SimpleWave({WAVE_FORMAT_MULAW, 32767, 1, 8}, Zeros(10)),
         ERR_NO_AUDIO, 0},
        {"PCM nBlockAlign below nChannels", SimpleWave({WAVE_FORMAT_PCM, 2, 1, 16}, Zeros(4)),
         ERR_NO_AUDIO, 0},
        {"an unknown tag too", SimpleWave({3, 4, 2, 32}, Zeros(8)), ERR_NO_AUDIO, 0},
        {"nBlockAlign equal to nChannels", SimpleWave({WAVE_FORMAT_ALAW, 3, 3, 8}, Zeros(9)), 0, 9},
    });
}

TEST(WaveReaderHeader, TakesTheInputFormatAndLeavesTheTotals) {
    Format format{WAVE_FORMAT_EXTENSIBLE, 2, 6, 24, 44100};
    Bytes body = test::ExtensibleFormatBody(format, WAVE_FORMAT_PCM);
    body[8] = 0x11;  // an nAvgBytesPerSec that no rule derives, to see it copied as it stands
    const Bytes image = Riff({Chunk("fmt ", body), Chunk("data", Zeros(60))});

    const test::PassOne pass = RunPassOne(image);
    ASSERT_EQ(pass.result, 0);
    EXPECT_EQ(pass.count, 20u);
    const test::HeaderFields h = test::Fields(pass.header);
    EXPECT_EQ(h.tag, WAVE_FORMAT_EXTENSIBLE) << "the input's own tag";
    EXPECT_EQ(h.channels, 2);
    EXPECT_EQ(h.samplesPerSec, 44100u);
    EXPECT_EQ(h.avgBytesPerSec, (44100u * 6 & ~0xFFu) | 0x11u);
    EXPECT_EQ(h.blockAlign, 6);
    EXPECT_EQ(h.bitsPerSample, 24);
    EXPECT_EQ(h.cbSize, 0) << "the input's cbSize is 22";
    EXPECT_EQ(h.dataTotal, 0u);
    EXPECT_EQ(h.riffSize, 38u);
    EXPECT_EQ(h.dataSize, 0u);
}

TEST(WaveReaderHeader, FreshHeaderIsAnEmptyWaveHeaderImage) {
    const WaveHeader header;
    EXPECT_EQ(std::string(header.image.riffId, 4), "RIFF");
    EXPECT_EQ(std::string(header.image.waveId, 4), "WAVE");
    EXPECT_EQ(std::string(header.image.fmtId, 4), "fmt ");
    EXPECT_EQ(std::string(header.image.dataId, 4), "data");
    const test::HeaderFields h = test::Fields(header);
    EXPECT_EQ(h.riffSize, 38u);
    EXPECT_EQ(h.fmtSize, 18u);
    EXPECT_EQ(h.dataSize, 0u);
    EXPECT_EQ(h.dataTotal, 0u);
    EXPECT_EQ(h.tag, 0) << "no format before a pass";
    EXPECT_EQ(h.channels, 0);
    EXPECT_EQ(h.blockAlign, 0);
}

}  // namespace
}  // namespace jkestrune
