// Speech detection by frame energy: a frame is speech when it is loud enough against the
// recording's loudest frame, against an absolute floor, and (when the recording has a steady
// one) against its noise floor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/base/matrix.h"
#include "core/frontend/framing.h"

namespace kestrune {

// The level given to a frame with no energy at all, in dB re full scale.
inline constexpr float kSilentFrameDb = -200.0f;

// The quietest frames of a recording: their level (the 10th percentile of the frame levels),
// and whether they form a steady floor, which noise (or silence) between words does and the
// quiet edges of speech trimmed of its pauses do not: the 5th to the 25th percentile then lie
// within kSteadyFloorDb.
inline constexpr float kSteadyFloorDb = 5.0f;

struct NoiseFloor {
    float levelDb = 0.0f;
    bool steady = false;
};

// The noise floor of frames with these levels; none (level 0, not steady) for no frames.
NoiseFloor FindNoiseFloor(std::vector<float> levels);

// Level of each of the first `frames` frames of `samples` without the recording's mean (its DC
// offset, taken over every sample the frames cover), in dB re full scale (a full-scale square
// wave is 0 dB; a constant, kSilentFrameDb).
std::vector<float> FrameLevels(const Framing& framing, const int16_t* samples, size_t frames);

// Which frames are speech, and what that was decided from.
struct SpeechDetection {
    std::vector<float> levels;  // per frame
    NoiseFloor floor;           // of all the frames
    std::vector<bool> speech;   // per frame

    size_t SpeechCount() const;
};

// The frames of `levels` that count as speech under `config`, given their noise floor.
std::vector<bool> SpeechFrames(const std::vector<float>& levels, const NoiseFloor& floor,
                               const FrontEndConfig& config);

// Speech detection over the first `frames` frames of `samples`.
SpeechDetection DetectSpeech(const Framing& framing, const int16_t* samples, size_t frames,
                             const FrontEndConfig& config);

// The rows of `all` (one per frame) whose frame is speech, in order.
FeatureMatrix SpeechRows(const FeatureMatrix& all, const std::vector<bool>& speech);

}  // namespace kestrune
