// Every constant of the front end, in one place: the analysis (framing, filterbank, cepstra,
// deltas, speech detection, normalisation), which the background model stores, and the
// telephone band against which the recording's traits are measured.
#pragma once

#include <cstdint>

namespace kestrune {

// The band a telephone channel passes, and the bands it removes, for
// RecordingTraits::outOfBandDb: the energy below stopLowHz and above stopHighHz against the
// energy from passLowHz to passHighHz. The gaps between (250-300 Hz, 3400-3550 Hz) count on
// neither side, because a channel's filter rolls off there and its slope differs from one
// channel to the next.
struct TelephoneBand {
    float stopLowHz = 250.0f;
    float passLowHz = 300.0f;
    float passHighHz = 3400.0f;
    float stopHighHz = 3550.0f;
};

// The analysis constants are stored in the background model, so that targets and trials are
// always analysed exactly as the background speech was.
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
    // 1: filters spaced evenly in Hz (linear-frequency cepstra), which resolve the upper band,
    // where much of what tells speakers apart lies, finer than the mel scale does; 0: mel scale.
    uint32_t linearFilters = 0;

    // Not stored in model files and not settable by name: the telephone condition's thresholds
    // (conditions.h) were measured against these edges, so they belong to what the traits
    // mean, not to a choice of analysis.
    TelephoneBand telephoneBand;

    // True when `other` finds the same speech frames in any recording as this one does: the
    // same framing and speech detection, whatever either computes from the frames.
    bool SameSpeechFrames(const FrontEndConfig& other) const;

    // The length of one feature vector.
    uint32_t Dimension() const { return cepstra * (1 + deltaOrder); }
    // True when the values describe a front end that can be built (a file may hold any bytes).
    bool Valid() const;
};

}  // namespace kestrune
