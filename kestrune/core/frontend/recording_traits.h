// Recording traits: what the front end observes about a recording besides its features, from
// which a trial's scoring tells telephone and noisy speech from clean (conditions.h).
#pragma once

#include <vector>

#include "core/frontend/front_end_config.h"
#include "core/frontend/speech_detection.h"

namespace kestrune {

struct RecordingTraits {
    // Energy outside the telephone band (FrontEndConfig::telephoneBand: below 250 Hz and above
    // 3550 Hz) relative to the energy inside it (300-3400 Hz), over the speech frames, in dB:
    // a recording that came through a telephone channel has almost none.
    float outOfBandDb = 0.0f;
    // Mean level of the speech frames above the noise floor (the level of the quietest tenth
    // of all frames), in dB, at most kMaxSnrDb: low for noisy recordings. A recording without
    // a steady floor (speech trimmed of its pauses) shows no noise: kMaxSnrDb.
    float snrDb = 0.0f;
    // Standard deviation of the speech frames' levels, in dB: speech rises and falls with its
    // syllables, a steady tone or square wave does not (0 when no frame is speech).
    float levelSpreadDb = 0.0f;
};

inline constexpr float kMaxSnrDb = 40.0f;

// Adds up the spectra of a recording's speech frames inside and outside the telephone band,
// then gives the recording's traits.
class TraitsMeter {
  public:
    explicit TraitsMeter(const FrontEndConfig& config);

    // One speech frame's power spectrum (fftSize / 2 + 1 bins); the DC bin is left out.
    void AddSpeechFrame(const std::vector<float>& power);
    // The traits of the recording whose speech frames were added, as `detection` found them.
    RecordingTraits Traits(const SpeechDetection& detection) const;

  private:
    TelephoneBand band_;
    float binHz_;
    double outOfBand_ = 0.0;
    double inBand_ = 0.0;
};

// The standard deviation of the speech frames' levels in dB; 0 when no frame is speech.
float SpeechLevelSpreadDb(const SpeechDetection& detection);

// The mean level of the speech frames above the noise floor, at most kMaxSnrDb (without a
// steady floor, kMaxSnrDb); 0 when no frame is speech.
float SpeechToNoiseDb(const SpeechDetection& detection);

}  // namespace kestrune
