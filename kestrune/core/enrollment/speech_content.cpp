// What a recording must hold to be enrolled from.
#include "core/enrollment/speech_content.h"

namespace kestrune {

std::string SpeechContentProblem(const FeatureMatrix& frames, const RecordingTraits& traits) {
    if (frames.rows() == 0) {
        return "holds no speech: it is silent, or holds only a constant (DC) level";
    }
    if (frames.rows() >= kJudgedSpeechFrames && traits.levelSpreadDb < kSteadySoundSpreadDb) {
        return "holds a steady sound (a tone, a square wave or a hum), not speech: its level "
               "does not move as speech does";
    }
    return {};
}

}  // namespace kestrune
