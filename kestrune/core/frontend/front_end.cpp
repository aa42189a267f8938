// MFCC front end: the stages composed.
#include "core/frontend/front_end.h"

#include <algorithm>
#include <cmath>

#include "core/frontend/deltas.h"

namespace kestrune {

FrontEnd::FrontEnd(const FrontEndConfig& config)
    : config_(config), framing_(config), filterbank_(config), cepstra_(config) {}

std::vector<float> FrontEnd::FrameLevels(const int16_t* samples, size_t count) const {
    return kestrune::FrameLevels(framing_, samples, framing_.FrameCount(count));
}

std::vector<bool> FrontEnd::SpeechFrames(const std::vector<float>& levels) const {
    return kestrune::SpeechFrames(levels, FindNoiseFloor(levels), config_);
}

std::vector<float> FrontEnd::PowerSpectrum(const float* frame) const {
    SpectrumAnalyser analyser(config_.fftSize);
    std::vector<float> power;
    analyser.PowerSpectrum(frame, config_.frameLength, power);
    return power;
}

std::vector<float> FrontEnd::LogFilterbank(const std::vector<float>& power) const {
    std::vector<float> energies(filterbank_.size());
    filterbank_.Energies(power, energies.data());
    for (float& energy : energies) {
        energy = std::log(std::max(energy, kEnergyFloor));
    }
    return energies;
}

FloatMatrix FrontEnd::FrameEnergies(const int16_t* samples, size_t frames,
                                    const std::vector<bool>& speech, TraitsMeter* traits) const {
    FloatMatrix energies(frames, filterbank_.size());
    std::vector<float> frame(config_.frameLength);
    SpectrumAnalyser analyser(config_.fftSize);
    std::vector<float> power;
    for (size_t t = 0; t < frames; ++t) {
        framing_.Prepare(samples, t, frame.data());
        analyser.PowerSpectrum(frame.data(), config_.frameLength, power);
        filterbank_.Energies(power, energies.row(static_cast<Eigen::Index>(t)).data());
        if (traits != nullptr && speech[t]) {
            traits->AddSpeechFrame(power);
        }
    }
    return energies;
}

FeatureMatrix FrontEnd::Compute(const int16_t* samples, size_t count,
                                RecordingTraits* traits) const {
    const size_t frames = framing_.FrameCount(count);
    if (frames == 0 || samples == nullptr) {
        return FeatureMatrix(0, config_.Dimension());
    }
    const SpeechDetection detection = DetectSpeech(framing_, samples, frames, config_);
    TraitsMeter meter(config_);
    const FloatMatrix energies =
        FrameEnergies(samples, frames, detection.speech, traits != nullptr ? &meter : nullptr);
    if (traits != nullptr) {
        *traits = meter.Traits(detection);
    }
    const FeatureMatrix all =
        AppendDeltas(cepstra_.Of(energies), config_.deltaWindow, config_.deltaOrder);
    return SpeechRows(all, detection.speech);
}

}  // namespace kestrune
