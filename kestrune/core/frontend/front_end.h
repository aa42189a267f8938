// The acoustic front end: 16-bit samples at 8 kHz in, one MFCC vector (cepstra and their deltas)
// per 10 ms of speech out. Each stage has its own file: framing and spectrum (framing.h),
// filterbank and cepstra (filterbank.h), deltas (deltas.h), speech detection
// (speech_detection.h), recording traits (recording_traits.h) and normalisation
// (normalisation.h), a separate step so that a caller can cut a recording into segments first.
//
// Every level is measured without the frame's mean, as the spectrum is: a recording's DC offset
// changes neither which frames count as speech nor its traits, and silence or a constant (pure
// DC) gives no speech frames at all. A steady tone or square wave is loud in every frame and
// gives frames as speech does: the front end does not judge what a sound is. Its traits show
// it (RecordingTraits::levelSpreadDb near 0 dB), and enrollment refuses such a recording
// (enrollment.h); a trial of one is scored like any other, and matches no target well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/base/matrix.h"
#include "core/frontend/filterbank.h"
#include "core/frontend/framing.h"
#include "core/frontend/front_end_config.h"
#include "core/frontend/normalisation.h"
#include "core/frontend/recording_traits.h"
#include "core/frontend/speech_detection.h"

namespace kestrune {

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
    size_t FrameCount(size_t samples) const { return framing_.FrameCount(samples); }
    // Level of each frame in dB re full scale (a full-scale square wave is 0 dB).
    std::vector<float> FrameLevels(const int16_t* samples, size_t count) const;
    // The frames Compute keeps, given their levels.
    std::vector<bool> SpeechFrames(const std::vector<float>& levels) const;
    // Power spectrum (fftSize / 2 + 1 bins) of one pre-emphasised, windowed frame of
    // frameLength samples.
    std::vector<float> PowerSpectrum(const float* frame) const;
    // Mel filterbank energies of a power spectrum, into `energies` (filterCount values).
    void FilterbankEnergies(const std::vector<float>& power, float* energies) const {
        filterbank_.Energies(power, energies);
    }
    // Log mel filterbank energies of a power spectrum.
    std::vector<float> LogFilterbank(const std::vector<float>& power) const;
    // Centre frequency of filter i in Hz.
    float FilterCentreHz(uint32_t i) const { return filterbank_.CentreHz(i); }

  private:
    // The filterbank energies of the first `frames` frames of `samples`, one row per frame;
    // the spectra of the speech frames also go to `traits` when it is not null.
    FloatMatrix FrameEnergies(const int16_t* samples, size_t frames,
                              const std::vector<bool>& speech, TraitsMeter* traits) const;

    FrontEndConfig config_;
    Framing framing_;
    Filterbank filterbank_;
    Cepstra cepstra_;
};

}  // namespace kestrune
