// Framing and spectrum: a recording cut into overlapping frames, each with its own mean (the DC
// offset) removed, pre-emphasised and Hamming-windowed, and the power spectrum of each.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <unsupported/Eigen/FFT>
#include <vector>

#include "core/frontend/front_end_config.h"

namespace kestrune {

// The mean of `length` samples from `x`: a frame's DC offset.
double FrameMean(const int16_t* x, uint32_t length);

class Framing {
  public:
    explicit Framing(const FrontEndConfig& config);

    // Whole frames in `samples` samples: one starts every frameShift samples, and each needs
    // frameLength of them.
    size_t FrameCount(size_t samples) const;
    // The first sample of frame `t`.
    const int16_t* FrameStart(const int16_t* samples, size_t t) const {
        return samples + t * shift_;
    }
    // Frame `t` of `samples` (which must hold it) with its mean removed, pre-emphasised and
    // windowed, into `frame` (frameLength values).
    void Prepare(const int16_t* samples, size_t t, float* frame) const;

    uint32_t length() const { return length_; }

  private:
    uint32_t length_;
    uint32_t shift_;
    float preEmphasis_;
    std::vector<float> window_;  // Hamming
};

// Power spectra of frames. Eigen's FFT caches its plan inside the object, so each pass over a
// recording (each thread) has its own analyser.
class SpectrumAnalyser {
  public:
    explicit SpectrumAnalyser(uint32_t fftSize);

    // The power spectrum (fftSize / 2 + 1 bins) of `length` samples zero-padded to fftSize,
    // into `power`.
    void PowerSpectrum(const float* frame, uint32_t length, std::vector<float>& power);

  private:
    Eigen::FFT<float> fft_;
    std::vector<float> padded_;
    std::vector<std::complex<float>> spectrum_;
};

}  // namespace kestrune
