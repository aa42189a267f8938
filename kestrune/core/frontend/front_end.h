// The acoustic front end: 16-bit samples at 8 kHz in, one MFCC vector (cepstra and their deltas)
// per 10 ms of speech out. Silence is dropped by an energy detector; normalisation over the
// kept frames is a separate step so that a caller can cut a recording into segments first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/base/matrix.h"

namespace kestrune {

// Every constant of the front end. It is stored in the background model, so that targets and
// trials are always analysed exactly as the background speech was.
struct FrontEndConfig {
    uint32_t sampleRate = 8000;
    uint32_t frameLength = 200;  // 25 ms
    uint32_t frameShift = 80;    // 10 ms
    uint32_t fftSize = 256;
    uint32_t filterCount = 24;
    // The filterbank spans nearly all of the 8 kHz band: on the validation recordings it did
    // better on short trials than the 300-3400 Hz telephone passband.
    float lowHz = 100.0f;
    float highHz = 3800.0f;
    uint32_t cepstra = 20;       // cepstral coefficients kept per frame
    uint32_t firstCepstrum = 0;  // 0 keeps c0 (the frame's overall level, removed again by CMN)
    uint32_t deltaWindow = 2;    // frames on each side of the delta regression
    uint32_t deltaOrder = 1;     // 0: cepstra only, 1: with deltas, 2: also delta-deltas
    float preEmphasis = 0.97f;
    float vadRangeDb = 40.0f;        // frames this far below the loudest frame are silence
    float vadFloorDb = -55.0f;       // frames below this level (dB re full scale) are silence
    uint32_t varianceNormalise = 0;  // 1: also scale each coefficient to unit variance
    uint32_t normaliseWindow = 300;  // speech frames in the sliding normalisation window; 0: whole
                                     // recording
    // 1: feature warping of the cepstra over the window instead of mean normalisation
    uint32_t warping = 1;
    // Frames must also stand this far above the recording's noise floor (the level of its
    // quietest tenth of frames) when that floor is steady, so that noise between words is not
    // taken for speech; 0 turns the rule off.
    float vadNoiseMarginDb = 3.0f;

    // The length of one feature vector.
    uint32_t Dimension() const { return cepstra * (1 + deltaOrder); }
    // True when the values describe a front end that can be built (a file may hold any bytes).
    bool Valid() const;
};

// What the front end observes about a recording besides its features.
struct RecordingTraits {
    // Energy outside the telephone band (below 250 Hz and above 3550 Hz) relative to the
    // energy inside it (300-3400 Hz), over the speech frames, in dB: a recording that came
    // through a telephone channel has almost none.
    float outOfBandDb = 0.0f;
    // Mean level of the speech frames above the noise floor (the level of the quietest tenth
    // of all frames), in dB, at most kMaxSnrDb: low for noisy recordings. A recording without
    // a steady floor (speech trimmed of its pauses) shows no noise: kMaxSnrDb.
    float snrDb = 0.0f;
};

inline constexpr float kMaxSnrDb = 40.0f;

// MFCC extraction for one configuration; the tables are built once and then only read, so one
// FrontEnd serves any number of threads.
class FrontEnd {
  public:
    explicit FrontEnd(const FrontEndConfig& config);

    const FrontEndConfig& config() const { return config_; }

    // The feature vectors of the speech frames of a recording, not yet normalised: one row per
    // kept frame. Deltas are taken over all frames before silence is dropped, so that the
    // edges of speech keep their true slopes. Fewer samples than one frame give no rows.
    FeatureMatrix Compute(const int16_t* samples, size_t count,
                          RecordingTraits* traits = nullptr) const;

    // The steps of Compute, exposed for tests and tools.
    size_t FrameCount(size_t samples) const;
    // Level of each frame in dB re full scale (a full-scale square wave is 0 dB).
    std::vector<float> FrameLevels(const int16_t* samples, size_t count) const;
    // The frames Compute keeps, given their levels.
    std::vector<bool> SpeechFrames(const std::vector<float>& levels) const;
    // Power spectrum (fftSize / 2 + 1 bins) of one pre-emphasised, windowed frame of
    // frameLength samples.
    std::vector<float> PowerSpectrum(const float* frame) const;
    // Mel filterbank energies of a power spectrum, into `energies` (filterCount values).
    void FilterbankEnergies(const std::vector<float>& power, float* energies) const;
    // Log mel filterbank energies of a power spectrum.
    std::vector<float> LogFilterbank(const std::vector<float>& power) const;
    // Centre frequency of filter i in Hz.
    float FilterCentreHz(uint32_t i) const;

  private:
    FrontEndConfig config_;
    std::vector<float> window_;
    std::vector<std::vector<float>> filters_;  // per filter: weight of each spectrum bin
    std::vector<uint32_t> filterFirstBin_;
    std::vector<float> filterCentres_;
    FloatMatrix dct_;  // cepstra × filterCount
};

// Per-recording normalisation over the rows of `features`: subtracts each column's mean, and
// when `variance` is set divides it by its standard deviation. Does nothing to an empty matrix.
void NormaliseFeatures(FeatureMatrix& features, bool variance);

// The normalisation `config` asks for, over the speech frames of one recording: sliding mean
// (and variance) normalisation of every coefficient, or warping of the cepstra.
void NormaliseRecording(FeatureMatrix& features, const FrontEndConfig& config);

// Feature warping (short-time Gaussianisation): each coefficient of each row is replaced by the
// standard normal quantile of its rank among the `window` rows around it (the window kept
// inside the recording; a recording of at most `window` rows is warped as a whole), so that
// every coefficient follows N(0, 1) over any stretch of speech whatever the channel did to it.
void WarpFeatures(FeatureMatrix& features, Eigen::Index window);

// Sliding normalisation: each row is normalised by the statistics of the `window` rows around
// it (the window kept inside the recording, so it is shifted, not shrunk, at the edges). A
// recording of at most `window` rows, or a window of 0, is normalised as a whole.
void NormaliseSliding(FeatureMatrix& features, Eigen::Index window, bool variance);

}  // namespace kestrune
