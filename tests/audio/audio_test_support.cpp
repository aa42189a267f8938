#include "audio_test_support.h"

#include <cstring>
#include <memory>

#include "audio/wave_decoder.h"
#include "audio/wave_reader.h"

namespace jkestrune::test {
namespace {

constexpr size_t kGuardSlots = 16;

// An exactly sized heap copy; a null pointer for an empty image would be a different case, so
// an empty image still gets a (zero-sized) allocation.
std::unique_ptr<uint8_t[]> ExactCopy(const Bytes& image) {
    auto copy = std::make_unique<uint8_t[]>(image.size());
    if (!image.empty()) {
        std::memcpy(copy.get(), image.data(), image.size());
    }
    return copy;
}

}  // namespace

std::vector<uint8_t> HeaderBytes(const WaveHeader& header) {
    std::vector<uint8_t> bytes(sizeof header.dataTotal + sizeof header.image);
    std::memcpy(bytes.data(), &header.dataTotal, sizeof header.dataTotal);
    std::memcpy(bytes.data() + sizeof header.dataTotal, &header.image, sizeof header.image);
    return bytes;
}

HeaderFields Fields(const WaveHeader& header) {
    const WaveHeaderImage& image = header.image;
    return {header.dataTotal,
            image.riffSize,
            image.fmtSize,
            image.dataSize,
            image.format.wFormatTag,
            image.format.nChannels,
            image.format.nSamplesPerSec,
            image.format.nAvgBytesPerSec,
            image.format.nBlockAlign,
            image.format.wBitsPerSample,
            image.format.cbSize};
}

PassOne RunPassOne(const Bytes& image) {
    PassOne pass{0, kCountUntouched, WaveHeader()};
    const auto copy = ExactCopy(image);
    pass.result = QueryWaveSampleCount(pass.header, copy.get(), static_cast<uint32_t>(image.size()),
                                       pass.count);
    return pass;
}

PassTwo RunPassTwo(const Bytes& image, uint32_t slots, const WaveHeader& header) {
    PassTwo pass{0, kCountUntouched, header, {}, 0};
    const auto copy = ExactCopy(image);
    std::vector<int16_t> buffer(slots + kGuardSlots, kSampleUntouched);
    pass.result = DecodeWaveSamples(pass.header, copy.get(), static_cast<uint32_t>(image.size()),
                                    pass.count, buffer.data());
    for (size_t i = slots; i < buffer.size(); ++i) {
        pass.overrun += buffer[i] != kSampleUntouched;
    }
    buffer.resize(slots);
    pass.samples = std::move(buffer);
    return pass;
}

BothPasses RunBothPasses(const Bytes& image) {
    BothPasses both{RunPassOne(image), {}, false};
    if (both.one.result == 0 && both.one.count > 0) {
        both.two = RunPassTwo(image, both.one.count, both.one.header);
        both.ranTwo = true;
    }
    return both;
}

}  // namespace jkestrune::test
