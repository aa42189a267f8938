// WAVE files to 8 kHz mono samples.
#include "tool/audio_input.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>

#include "audio/wave_decoder.h"
#include "audio/wave_reader.h"
#include "core/base/path_text.h"
#include "tool/shown_path.h"

namespace kestrune {
namespace {

// Input frames mixed and resampled at a time.
constexpr size_t kBlockFrames = 1 << 16;

void AppendRounded(const float* values, size_t count, std::vector<int16_t>& output) {
    for (size_t i = 0; i < count; ++i) {
        output.push_back(
            static_cast<int16_t>(std::lround(std::clamp(values[i], -32768.0f, 32767.0f))));
    }
}

// Mixes interleaved `channels`-channel frames down to mono by averaging and resamples them from
// `from` Hz to `to` Hz with the soxr resampler (high quality), block by block, rounding to 16
// bits with clipping.
bool MixAndResample(const int16_t* interleaved, size_t frames, uint32_t channels, uint32_t from,
                    uint32_t to, std::vector<int16_t>& output, std::string& error) {
    const double ratio = static_cast<double>(to) / from;
    output.clear();
    output.reserve(static_cast<size_t>(std::ceil(static_cast<double>(frames) * ratio)) + 16);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t failure = nullptr;
    const std::unique_ptr<soxr, decltype(&soxr_delete)> resampler(
        from == to ? nullptr : soxr_create(from, to, 1, &failure, &io, &quality, nullptr),
        &soxr_delete);
    if (failure != nullptr) {
        error = std::string("resampling failed: ") + failure;
        return false;
    }
    std::vector<float> mono(kBlockFrames);
    std::vector<float> resampled(static_cast<size_t>(std::ceil(kBlockFrames * ratio)) + 64);
    for (size_t start = 0;; start += kBlockFrames) {
        const size_t count = start < frames ? std::min(kBlockFrames, frames - start) : 0;
        for (size_t f = 0; f < count; ++f) {
            float sum = 0.0f;
            for (uint32_t c = 0; c < channels; ++c) {
                sum += interleaved[(start + f) * channels + c];
            }
            mono[f] = sum / static_cast<float>(channels);
        }
        if (!resampler) {
            AppendRounded(mono.data(), count, output);
            if (count == 0) {
                return true;
            }
            continue;
        }
        // The block goes in until soxr has taken all of it; an empty block (null input) marks
        // the end, after which soxr gives what it still holds, possibly over several calls.
        size_t used = 0;
        for (;;) {
            size_t taken = 0, produced = 0;
            failure = soxr_process(resampler.get(), count > 0 ? mono.data() + used : nullptr,
                                   count - used, count > 0 ? &taken : nullptr, resampled.data(),
                                   resampled.size(), &produced);
            if (failure != nullptr) {
                error = std::string("resampling failed: ") + failure;
                return false;
            }
            AppendRounded(resampled.data(), produced, output);
            used += taken;
            if (count > 0 ? used >= count : produced == 0) {
                break;
            }
        }
        if (count == 0) {
            return true;
        }
    }
}

}  // namespace

std::string RecordingLimitProblem(uint32_t rate, uint64_t frames) {
    if (rate < kMinSampleRate || rate > kMaxSampleRate) {
        return "a sample rate of " + std::to_string(rate) + " Hz: the tools take " +
               std::to_string(kMinSampleRate / 1000) + " to " +
               std::to_string(kMaxSampleRate / 1000) + " kHz";
    }
    if (frames > kMaxRecordingSeconds * rate) {
        return std::to_string(frames / rate) + " s of audio: the tools take at most " +
               std::to_string(kMaxRecordingSeconds / 60) + " minutes";
    }
    return {};
}

bool ReadWaveImage(const std::filesystem::path& path, std::vector<uint8_t>& image,
                   std::string& error) {
    // A directory opens as a stream of unknown size, and a pipe or device could be endless.
    std::error_code code;
    if (!std::filesystem::is_regular_file(path, code)) {
        error = std::filesystem::exists(path, code) ? ShownPath(path) + ": not a regular file"
                                                    : "cannot open " + ShownPath(path);
        return false;
    }
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size < 0) {
        error = "cannot open " + ShownPath(path);
        return false;
    }
    if (static_cast<uint64_t>(size) > kMaxWaveFileBytes) {
        error = ShownPath(path) + ": " + std::to_string(size) +
                " bytes: the tools read WAVE files of at most 1 GiB";
        return false;
    }
    image.resize(static_cast<size_t>(size));
    if (!in.seekg(0) ||
        !in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(size))) {
        error = "cannot read " + ShownPath(path);
        return false;
    }
    return true;
}

bool ReadRecording(const std::filesystem::path& path, uint32_t rate, std::vector<int16_t>& samples,
                   std::string& error) {
    std::vector<uint8_t> image;
    if (!ReadWaveImage(path, image, error)) {
        return false;
    }
    const auto length = static_cast<uint32_t>(image.size());
    jkestrune::WaveHeader header;
    uint32_t count = 0;
    if (jkestrune::QueryWaveSampleCount(header, image.data(), length, count) != 0) {
        error = ShownPath(path) + ": not a readable WAVE file, or no audio in it";
        return false;
    }
    const int channels = header.image.format.nChannels;
    const uint32_t sourceRate = header.image.format.nSamplesPerSec;
    if (count == 0 || channels <= 0) {
        error = ShownPath(path) + ": no decodable audio (16-bit PCM, A-law or mu-law)";
        return false;
    }
    const std::string problem =
        RecordingLimitProblem(sourceRate, count / static_cast<uint32_t>(channels));
    if (!problem.empty()) {
        error = ShownPath(path) + ": refused: " + problem;
        return false;
    }
    std::vector<int16_t> decoded(count);
    if (jkestrune::DecodeWaveSamples(header, image.data(), length, count, decoded.data()) != 0 ||
        count == 0) {
        error = ShownPath(path) + ": no decodable audio (16-bit PCM, A-law or mu-law)";
        return false;
    }
    std::vector<uint8_t>().swap(image);
    if (!MixAndResample(decoded.data(), count, static_cast<uint32_t>(channels), sourceRate, rate,
                        samples, error)) {
        error = ShownPath(path) + ": " + error;
        return false;
    }
    return true;
}

}  // namespace kestrune
