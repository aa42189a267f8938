// Energy-based speech detection.
#include "core/frontend/speech_detection.h"

#include <algorithm>
#include <cmath>

namespace kestrune {

NoiseFloor FindNoiseFloor(std::vector<float> levels) {
    if (levels.empty()) {
        return {};
    }
    std::sort(levels.begin(), levels.end());
    const auto quantile = [&](double share) {
        return levels[static_cast<size_t>(share * static_cast<double>(levels.size() - 1))];
    };
    return {quantile(0.10), quantile(0.25) - quantile(0.05) <= kSteadyFloorDb};
}

std::vector<float> FrameLevels(const Framing& framing, const int16_t* samples, size_t frames) {
    std::vector<float> levels(frames);
    for (size_t t = 0; t < frames; ++t) {
        const int16_t* x = framing.FrameStart(samples, t);
        // The level of what the frame holds besides its mean: a recorder's DC offset is no
        // sound, and must neither make silence loud nor change which frames are speech (the
        // spectrum is taken without it too). One pass in integers: n times the squared
        // deviations from the mean is n·Σx² - (Σx)², exact (a constant frame gives 0), and
        // cannot overflow for frames of up to 4096 samples.
        int64_t sum = 0;
        int64_t squares = 0;
        for (uint32_t i = 0; i < framing.length(); ++i) {
            sum += x[i];
            squares += static_cast<int64_t>(x[i]) * x[i];
        }
        const auto n = static_cast<int64_t>(framing.length());
        const double deviations =
            static_cast<double>(n * squares - sum * sum) / static_cast<double>(n);
        const double meanSquare = deviations / framing.length() / (32768.0 * 32768.0);
        levels[t] =
            meanSquare > 1e-20 ? static_cast<float>(10.0 * std::log10(meanSquare)) : kSilentFrameDb;
    }
    return levels;
}

size_t SpeechDetection::SpeechCount() const {
    return static_cast<size_t>(std::count(speech.begin(), speech.end(), true));
}

std::vector<bool> SpeechFrames(const std::vector<float>& levels, const NoiseFloor& floor,
                               const FrontEndConfig& config) {
    std::vector<bool> speech(levels.size(), false);
    if (levels.empty()) {
        return speech;
    }
    const float loudest = *std::max_element(levels.begin(), levels.end());
    float threshold = std::max(loudest - config.vadRangeDb, config.vadFloorDb);
    if (config.vadNoiseMarginDb > 0.0f && floor.steady) {
        // A recording whose loudest frames do not rise that far above its floor has nothing
        // to tell speech from noise by (a steady tone, a monotone stretch of speech): the rule
        // then keeps the frames within the margin below the loudest.
        threshold =
            std::max(threshold, std::min(floor.levelDb, loudest - 2.0f * config.vadNoiseMarginDb) +
                                    config.vadNoiseMarginDb);
    }
    for (size_t t = 0; t < levels.size(); ++t) {
        speech[t] = levels[t] >= threshold;
    }
    return speech;
}

SpeechDetection DetectSpeech(const Framing& framing, const int16_t* samples, size_t frames,
                             const FrontEndConfig& config) {
    SpeechDetection detection;
    detection.levels = FrameLevels(framing, samples, frames);
    detection.floor = FindNoiseFloor(detection.levels);
    detection.speech = SpeechFrames(detection.levels, detection.floor, config);
    return detection;
}

FeatureMatrix SpeechRows(const FeatureMatrix& all, const std::vector<bool>& speech) {
    const auto kept = static_cast<Eigen::Index>(std::count(speech.begin(), speech.end(), true));
    FeatureMatrix out(kept, all.cols());
    Eigen::Index row = 0;
    for (size_t t = 0; t < speech.size(); ++t) {
        if (speech[t]) {
            out.row(row++) = all.row(static_cast<Eigen::Index>(t));
        }
    }
    return out;
}

}  // namespace kestrune
