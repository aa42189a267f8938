// Degraded copies of clean recordings: a telephone channel (band limit and G.711 coding) and
// additive noise at a chosen signal-to-noise ratio. Training on such copies teaches the
// background model what channels and noise do to speech, and enrolling on them gives each
// target models that still recognise it through a telephone or in noise.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace kestrune {

using Samples = std::vector<int16_t>;

enum class G711 { kNone, kMuLaw, kALaw };

struct TelephoneChannel {
    float lowHz = 300.0f;
    float highHz = 3400.0f;
    G711 coding = G711::kMuLaw;
};

// The G.711 round trip of one sample (encode, then decode), as a codec would deliver it.
int16_t MuLawRoundTrip(int16_t sample);
int16_t ALawRoundTrip(int16_t sample);

// Band-pass filters `samples` (8 kHz) to [lowHz, highHz] with a linear-phase FIR filter
// (windowed sinc; the delay is removed, so the output lines up with the input) and codes it.
Samples ThroughTelephone(const Samples& samples, const TelephoneChannel& channel);

// Root mean square of the samples (0 for none).
double Rms(const Samples& samples);

// `samples` plus `noise` scaled so that the ratio of the two RMS levels is `snrDb`; the noise
// is read from `offset` on, wrapping around. Sums beyond 16 bits are clipped.
Samples AddNoise(const Samples& samples, const Samples& noise, size_t offset, double snrDb);

// `count` samples of white Gaussian noise at an RMS level of 3000.
Samples WhiteNoise(size_t count, std::mt19937& random);

// The degradations training copies are made with, in turn: a telephone channel, white noise,
// babble, and babble heard through a telephone channel.
enum class Degradation { kTelephone, kWhiteNoise, kBabble, kTelephoneBabble };
inline constexpr int kDegradationKinds = 4;

// A degraded copy of `samples`: copy number `copy` (from 0) gets the kind copy mod 4, with its
// band edges, codec and signal-to-noise ratio (5 to 20 dB) drawn from `random`. Babble is made
// from `voices` (other speakers' recordings); with none, white noise stands in.
Samples DegradedCopy(const Samples& samples, int copy, const std::vector<const Samples*>& voices,
                     std::mt19937& random);

// Babble: the `voices` summed, each at the same RMS level, each from its own offset, to
// `count` samples (a voice shorter than that repeats).
Samples Babble(const std::vector<const Samples*>& voices, size_t count, std::mt19937& random);

}  // namespace kestrune
