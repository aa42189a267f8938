// Whether a recording offered for enrollment holds speech, that is something a voice can be
// modelled from: frames the front end kept as speech, whose level moves as speech does.
#pragma once

#include <string>

#include "core/base/matrix.h"
#include "core/frontend/recording_traits.h"

namespace kestrune {

// Speech frames from which a recording's level spread is judged: over fewer, a spread says
// little (and so short a recording adds little to an enrollment either way).
inline constexpr Eigen::Index kJudgedSpeechFrames = 20;

// Level spread (RecordingTraits::levelSpreadDb) below which a recording is a steady sound, not
// speech. Every one of 6 651 recordings of digits, read sentences and commands spread at least
// 0.72 dB over its speech frames; steady tones and square waves of 50-3000 Hz less than
// 0.01 dB, a square wave with noise 20 dB below it 0.03 dB.
inline constexpr float kSteadySoundSpreadDb = 0.1f;

// Why a recording (its raw speech frames, and its traits) cannot be enrolled from, starting
// "holds ...": no speech frames at all (silence, a constant DC level, or less than one frame),
// or a steady sound (a tone, a square wave, a hum). Empty when it can.
std::string SpeechContentProblem(const FeatureMatrix& frames, const RecordingTraits& traits);

}  // namespace kestrune
