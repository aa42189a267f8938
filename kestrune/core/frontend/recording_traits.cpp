// Recording traits.
#include "core/frontend/recording_traits.h"

#include <algorithm>
#include <cmath>

namespace kestrune {

TraitsMeter::TraitsMeter(const FrontEndConfig& config)
    : band_(config.telephoneBand), binHz_(static_cast<float>(config.sampleRate) / config.fftSize) {}

void TraitsMeter::AddSpeechFrame(const std::vector<float>& power) {
    for (size_t b = 1; b < power.size(); ++b) {
        const float hz = b * binHz_;
        if (hz < band_.stopLowHz || hz > band_.stopHighHz) {
            outOfBand_ += power[b];
        } else if (hz >= band_.passLowHz && hz <= band_.passHighHz) {
            inBand_ += power[b];
        }
    }
}

RecordingTraits TraitsMeter::Traits(const SpeechDetection& detection) const {
    RecordingTraits traits;
    traits.snrDb = SpeechToNoiseDb(detection);
    traits.levelSpreadDb = SpeechLevelSpreadDb(detection);
    // A floor under the out-of-band energy keeps a perfectly band-limited recording finite.
    traits.outOfBandDb =
        inBand_ > 0.0 ? static_cast<float>(10.0 * std::log10(std::max(outOfBand_, 1e-3) / inBand_))
                      : 0.0f;
    return traits;
}

namespace {

// The mean level of the speech frames, and how many there are (mean 0 when none).
struct SpeechLevel {
    double meanDb = 0.0;
    size_t frames = 0;
};

SpeechLevel MeanSpeechLevel(const SpeechDetection& detection) {
    SpeechLevel level;
    double sum = 0.0;
    for (size_t t = 0; t < detection.levels.size(); ++t) {
        if (detection.speech[t]) {
            sum += detection.levels[t];
            ++level.frames;
        }
    }
    if (level.frames > 0) {
        level.meanDb = sum / static_cast<double>(level.frames);
    }
    return level;
}

}  // namespace

float SpeechLevelSpreadDb(const SpeechDetection& detection) {
    const SpeechLevel level = MeanSpeechLevel(detection);
    if (level.frames == 0) {
        return 0.0f;
    }
    double squares = 0.0;
    for (size_t t = 0; t < detection.levels.size(); ++t) {
        if (detection.speech[t]) {
            squares += (detection.levels[t] - level.meanDb) * (detection.levels[t] - level.meanDb);
        }
    }
    return static_cast<float>(std::sqrt(squares / static_cast<double>(level.frames)));
}

float SpeechToNoiseDb(const SpeechDetection& detection) {
    const SpeechLevel level = MeanSpeechLevel(detection);
    if (level.frames == 0) {
        return 0.0f;
    }
    if (!detection.floor.steady) {
        return kMaxSnrDb;
    }
    return std::clamp(static_cast<float>(level.meanDb) - detection.floor.levelDb, 0.0f, kMaxSnrDb);
}

}  // namespace kestrune
