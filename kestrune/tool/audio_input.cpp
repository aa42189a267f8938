// WAVE files to 8 kHz mono samples.
#include "tool/audio_input.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>

#include "audio/wave_decoder.h"
#include "audio/wave_reader.h"

namespace kestrune {
namespace {

// Mixes interleaved `channels`-channel frames down to mono by averaging.
std::vector<float> MixToMono(const int16_t* interleaved, size_t frames, uint32_t channels) {
    std::vector<float> mono(frames);
    for (size_t f = 0; f < frames; ++f) {
        float sum = 0.0f;
        for (uint32_t c = 0; c < channels; ++c) {
            sum += interleaved[f * channels + c];
        }
        mono[f] = sum / static_cast<float>(channels);
    }
    return mono;
}

// Resamples mono audio from `from` Hz to `to` Hz with the soxr resampler (high quality), and
// rounds to 16 bits with clipping.
bool Resample(const std::vector<float>& input, uint32_t from, uint32_t to,
              std::vector<int16_t>& output, std::string& error) {
    std::vector<float> resampled;
    if (from == to) {
        resampled = input;
    } else {
        const double ratio = static_cast<double>(to) / from;
        resampled.resize(static_cast<size_t>(std::ceil(input.size() * ratio)) + 16);
        size_t produced = 0;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        const soxr_error_t failure =
            soxr_oneshot(from, to, 1, input.data(), input.size(), nullptr, resampled.data(),
                         resampled.size(), &produced, &io, &quality, nullptr);
        if (failure != nullptr) {
            error = std::string("resampling failed: ") + failure;
            return false;
        }
        resampled.resize(produced);
    }
    output.resize(resampled.size());
    std::transform(resampled.begin(), resampled.end(), output.begin(), [](float v) {
        return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0f, 32767.0f)));
    });
    return true;
}

}  // namespace

bool ReadRecording(const std::filesystem::path& path, uint32_t rate, std::vector<int16_t>& samples,
                   std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path.string();
        return false;
    }
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (image.size() > std::numeric_limits<uint32_t>::max()) {
        error = path.string() + ": larger than 4 GB";
        return false;
    }
    const auto length = static_cast<uint32_t>(image.size());
    jkestrune::WaveHeader header;
    uint32_t count = 0;
    if (jkestrune::QueryWaveSampleCount(header, image.data(), length, count) != 0) {
        error = path.string() + ": not a readable WAVE file, or no audio in it";
        return false;
    }
    std::vector<int16_t> decoded(count);
    if (count > 0 &&
        jkestrune::DecodeWaveSamples(header, image.data(), length, count, decoded.data()) != 0) {
        error = path.string() + ": cannot decode";
        return false;
    }
    const int channels = header.image.format.nChannels;
    const uint32_t sourceRate = header.image.format.nSamplesPerSec;
    if (count == 0 || channels <= 0 || sourceRate == 0) {
        error = path.string() + ": no decodable audio (16-bit PCM, A-law or mu-law)";
        return false;
    }
    const std::vector<float> mono =
        MixToMono(decoded.data(), count, static_cast<uint32_t>(channels));
    if (!Resample(mono, sourceRate, rate, samples, error)) {
        error = path.string() + ": " + error;
        return false;
    }
    return true;
}

}  // namespace kestrune
