// Framing and spectrum.
#include "core/frontend/framing.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrune {

double FrameMean(const int16_t* x, uint32_t length) {
    double mean = 0.0;
    for (uint32_t i = 0; i < length; ++i) {
        mean += x[i];
    }
    return mean / length;
}

Framing::Framing(const FrontEndConfig& config)
    : length_(config.frameLength),
      shift_(config.frameShift),
      preEmphasis_(config.preEmphasis),
      window_(config.frameLength) {
    for (uint32_t i = 0; i < length_; ++i) {
        window_[i] =
            static_cast<float>(0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * i / (length_ - 1)));
    }
}

size_t Framing::FrameCount(size_t samples) const {
    if (samples < length_) {
        return 0;
    }
    return 1 + (samples - length_) / shift_;
}

void Framing::Prepare(const int16_t* samples, size_t t, float* frame) const {
    const int16_t* x = FrameStart(samples, t);
    const double mean = FrameMean(x, length_);
    // The first sample is pre-emphasised against itself, so that the frame needs no sample
    // from before it.
    float previous = static_cast<float>(x[0] - mean);
    for (uint32_t i = 0; i < length_; ++i) {
        const float value = static_cast<float>(x[i] - mean);
        frame[i] = (value - preEmphasis_ * previous) * window_[i];
        previous = value;
    }
}

SpectrumAnalyser::SpectrumAnalyser(uint32_t fftSize) : padded_(fftSize, 0.0f) {
    fft_.SetFlag(Eigen::FFT<float>::HalfSpectrum);
}

void SpectrumAnalyser::PowerSpectrum(const float* frame, uint32_t length,
                                     std::vector<float>& power) {
    std::copy(frame, frame + length, padded_.begin());
    // The padding is cleared on every call: a shorter frame must not take samples of a longer
    // one analysed before it.
    std::fill(padded_.begin() + length, padded_.end(), 0.0f);
    fft_.fwd(spectrum_, padded_);
    power.resize(padded_.size() / 2 + 1);
    for (size_t b = 0; b < power.size(); ++b) {
        power[b] = std::norm(spectrum_[b]);
    }
}

}  // namespace kestrune
