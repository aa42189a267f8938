// libFuzzer target for the two audio passes. On any bytes and any length they must agree (the
// same result; on failure nothing written; on success pass 2 fills a buffer of exactly pass 1's
// count and reports frames that match it), and neither may touch memory outside the image or
// the buffer: both are exactly sized heap blocks, so AddressSanitizer sees any stray access.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "audio/wave_decoder.h"
#include "audio/wave_reader.h"
#include "check.h"
#include "return_codes.h"

namespace {

using fuzzcheck::Check;
using jkestrune::WaveHeader;

constexpr uint32_t kUntouchedCount = 0xC0FFEE;
constexpr int16_t kUntouchedSample = 0x5A5A;
// Counts above this come only from images whose nBlockAlign is far below their channel count;
// their buffers would be hundreds of megabytes for a few kilobytes of input.
constexpr uint32_t kMaxSlots = 1u << 20;

bool SameHeader(const WaveHeader& a, const WaveHeader& b) {
    return a.dataTotal == b.dataTotal && std::memcmp(&a.image, &b.image, sizeof a.image) == 0;
}

bool SameFormat(const WaveHeader& a, const WaveHeader& b) {
    return std::memcmp(&a.image.format, &b.image.format, sizeof a.image.format) == 0;
}

void CheckBothPasses(const uint8_t* image, uint32_t length) {
    const WaveHeader fresh;
    WaveHeader header;
    uint32_t count = kUntouchedCount;
    const int32_t first = jkestrune::QueryWaveSampleCount(header, image, length, count);

    if (first != jkestrune::kSuccess) {
        Check(first == jkestrune::ERR_NO_AUDIO, "pass 1: unexpected result");
        Check(count == kUntouchedCount, "pass 1 failed but wrote the count");
        Check(SameHeader(header, fresh), "pass 1 failed but wrote the header");
        // Pass 2 must fail alike. Should it decode instead, the one-slot buffer makes any
        // writing beyond it a sanitizer report.
        auto sample = std::make_unique<int16_t[]>(1);
        sample[0] = kUntouchedSample;
        uint32_t frames = kUntouchedCount;
        const int32_t second =
            jkestrune::DecodeWaveSamples(header, image, length, frames, sample.get());
        Check(second == first, "pass 2 succeeded where pass 1 failed");
        Check(frames == kUntouchedCount, "pass 2 failed but wrote the count");
        Check(SameHeader(header, fresh), "pass 2 failed but wrote the header");
        Check(sample[0] == kUntouchedSample, "pass 2 failed but wrote a sample");
        return;
    }
    Check(header.dataTotal == 0 && header.image.dataSize == 0 && header.image.riffSize == 38,
          "pass 1 changed the header's totals");
    if (count > kMaxSlots) {
        return;
    }

    const WaveHeader afterFirst = header;
    auto samples = std::make_unique<int16_t[]>(count);  // exactly the count: no slack
    uint32_t frames = kUntouchedCount;
    const int32_t second =
        jkestrune::DecodeWaveSamples(header, image, length, frames, samples.get());
    Check(second == jkestrune::kSuccess, "pass 2 failed where pass 1 succeeded");
    Check(frames != kUntouchedCount, "pass 2 did not write the count");
    Check(SameFormat(header, afterFirst), "the passes read different formats");
    Check(header.image.riffSize == 38 + header.image.dataSize &&
              header.dataTotal == header.image.dataSize,
          "header totals out of step");
    if (header.dataTotal == 0) {
        Check(frames == 0, "frames reported for a format that is not decoded");
    } else {
        const auto channels = static_cast<uint32_t>(header.image.format.nChannels);
        Check(frames * channels == count, "pass 2's frames do not match pass 1's count");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) {
        return 0;
    }
    const auto length = static_cast<uint32_t>(size);
    if (length == 0) {
        CheckBothPasses(nullptr, 0);
        return 0;
    }
    CheckBothPasses(data, length);

    // The same bytes with a caller's length that stops short of them, the cut chosen by the
    // last byte: a copy of just that prefix, so that reading past the length is an overflow.
    const uint32_t prefix = length - 1 - data[length - 1] % length;
    auto copy = std::make_unique<uint8_t[]>(prefix);
    std::memcpy(copy.get(), data, prefix);
    CheckBothPasses(copy.get(), prefix);
    return 0;
}
