// Telephone channel and noise for training copies.
#include "core/frontend/augmentation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrune {
namespace {

constexpr double kRate = 8000.0;
constexpr int kTaps = 129;  // FIR length: a transition band of about 200 Hz

int16_t Clip16(double value) {
    return static_cast<int16_t>(std::lround(std::clamp(value, -32768.0, 32767.0)));
}

// Windowed-sinc low-pass impulse response with cut-off `hz` (Blackman window).
std::vector<double> LowPass(double hz) {
    std::vector<double> h(kTaps);
    const int middle = kTaps / 2;
    const double fc = hz / kRate;
    for (int n = 0; n < kTaps; ++n) {
        const int k = n - middle;
        const double sinc =
            k == 0 ? 2.0 * fc : std::sin(2.0 * std::numbers::pi * fc * k) / (std::numbers::pi * k);
        const double window = 0.42 - 0.5 * std::cos(2.0 * std::numbers::pi * n / (kTaps - 1)) +
                              0.08 * std::cos(4.0 * std::numbers::pi * n / (kTaps - 1));
        h[n] = sinc * window;
    }
    return h;
}

}  // namespace

// Segment-based G.711 coding (ITU-T G.711), on the 14-bit (mu-law) and 13-bit (A-law) scales.
int16_t MuLawRoundTrip(int16_t sample) {
    constexpr int kBias = 0x84;
    constexpr int kClip = 32635;
    int value = sample;
    const bool negative = value < 0;
    value = std::min(negative ? -value : value, kClip) + kBias;
    int exponent = 7;
    for (int mask = 0x4000; (value & mask) == 0 && exponent > 0; mask >>= 1) {
        --exponent;
    }
    const int mantissa = (value >> (exponent + 3)) & 0x0F;
    // Decoding: the middle of the quantisation interval.
    const int decoded = (((mantissa << 3) + kBias) << exponent) - kBias;
    return static_cast<int16_t>(negative ? -decoded : decoded);
}

int16_t ALawRoundTrip(int16_t sample) {
    int value = sample >> 3;  // 13 bits
    const bool negative = value < 0;
    if (negative) {
        value = -value - 1;
    }
    value = std::min(value, 0x0FFF);
    int exponent = 0;
    if (value >= 0x20) {
        exponent = 1;
        for (int v = value >> 5; v > 1 && exponent < 7; v >>= 1) {
            ++exponent;
        }
    }
    const int mantissa = exponent == 0 ? (value >> 1) & 0x0F : (value >> exponent) & 0x0F;
    int decoded = exponent == 0 ? (mantissa << 1) + 1 : ((mantissa << 1) + 33) << (exponent - 1);
    decoded <<= 3;
    return static_cast<int16_t>(negative ? -decoded : decoded);
}

Samples ThroughTelephone(const Samples& samples, const TelephoneChannel& channel) {
    const std::vector<double> high = LowPass(channel.highHz);
    const std::vector<double> low = LowPass(channel.lowHz);
    std::vector<double> h(kTaps);
    for (int n = 0; n < kTaps; ++n) {
        h[n] = high[n] - low[n];
    }
    const int middle = kTaps / 2;
    const auto count = static_cast<std::ptrdiff_t>(samples.size());
    Samples out(samples.size());
    for (std::ptrdiff_t t = 0; t < count; ++t) {
        double sum = 0.0;
        const std::ptrdiff_t first = std::max<std::ptrdiff_t>(0, t - middle);
        const std::ptrdiff_t last = std::min<std::ptrdiff_t>(count - 1, t + middle);
        for (std::ptrdiff_t k = first; k <= last; ++k) {
            sum += h[static_cast<size_t>(k - t + middle)] * samples[static_cast<size_t>(k)];
        }
        int16_t value = Clip16(sum);
        if (channel.coding == G711::kMuLaw) {
            value = MuLawRoundTrip(value);
        } else if (channel.coding == G711::kALaw) {
            value = ALawRoundTrip(value);
        }
        out[static_cast<size_t>(t)] = value;
    }
    return out;
}

double Rms(const Samples& samples) {
    if (samples.empty()) {
        return 0.0;
    }
    double sum = 0.0;
    for (int16_t x : samples) {
        sum += static_cast<double>(x) * x;
    }
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

Samples AddNoise(const Samples& samples, const Samples& noise, size_t offset, double snrDb) {
    if (noise.empty() || samples.empty()) {
        return samples;
    }
    Samples stretch(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        stretch[i] = noise[(offset + i) % noise.size()];
    }
    const double noiseRms = Rms(stretch);
    const double gain =
        noiseRms > 0.0 ? Rms(samples) / noiseRms / std::pow(10.0, snrDb / 20.0) : 0.0;
    Samples out(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        out[i] = Clip16(samples[i] + gain * stretch[i]);
    }
    return out;
}

Samples WhiteNoise(size_t count, std::mt19937& random) {
    std::normal_distribution<double> normal(0.0, 3000.0);
    Samples out(count);
    for (int16_t& x : out) {
        x = Clip16(normal(random));
    }
    return out;
}

Samples Babble(const std::vector<const Samples*>& voices, size_t count, std::mt19937& random) {
    std::vector<double> sum(count, 0.0);
    for (const Samples* voice : voices) {
        const double level = Rms(*voice);
        if (voice->empty() || level <= 0.0) {
            continue;
        }
        const size_t offset = std::uniform_int_distribution<size_t>(0, voice->size() - 1)(random);
        for (size_t i = 0; i < count; ++i) {
            sum[i] += (*voice)[(offset + i) % voice->size()] / level;
        }
    }
    double peak = 0.0;
    for (double x : sum) {
        peak = std::max(peak, std::abs(x));
    }
    Samples out(count);
    for (size_t i = 0; i < count; ++i) {
        out[i] = peak > 0.0 ? Clip16(sum[i] * 20000.0 / peak) : 0;
    }
    return out;
}

Samples DegradedCopy(const Samples& samples, int copy, const std::vector<const Samples*>& voices,
                     std::mt19937& random) {
    const auto kind = static_cast<Degradation>(copy % kDegradationKinds);
    std::uniform_real_distribution<double> snr(5.0, 20.0);
    const auto telephone = [&](const Samples& input) {
        TelephoneChannel channel;
        channel.lowHz = std::uniform_real_distribution<float>(200.0f, 400.0f)(random);
        channel.highHz = std::uniform_real_distribution<float>(3000.0f, 3600.0f)(random);
        const int codec = std::uniform_int_distribution<int>(0, 2)(random);
        channel.coding = codec == 0 ? G711::kNone : codec == 1 ? G711::kMuLaw : G711::kALaw;
        return ThroughTelephone(input, channel);
    };
    const auto babble = [&](const Samples& input) {
        constexpr int kVoices = 5;
        std::vector<const Samples*> chosen;
        for (int v = 0; v < kVoices && !voices.empty(); ++v) {
            chosen.push_back(
                voices[std::uniform_int_distribution<size_t>(0, voices.size() - 1)(random)]);
        }
        const Samples noise = chosen.empty() ? WhiteNoise(input.size(), random)
                                             : Babble(chosen, input.size(), random);
        return AddNoise(input, noise, 0, snr(random));
    };
    switch (kind) {
        case Degradation::kTelephone:
            return telephone(samples);
        case Degradation::kWhiteNoise:
            return AddNoise(samples, WhiteNoise(samples.size(), random), 0, snr(random));
        case Degradation::kBabble:
            return babble(samples);
        case Degradation::kTelephoneBabble:
            return telephone(babble(samples));
    }
    return samples;
}

}  // namespace kestrune
