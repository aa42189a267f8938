// The engine's own result codes from COM_IDENTI_SoundData and its limits. The codes are kept
// in their own range, apart from the library's (1116-1120, 2071), so that a code seen in Java
// tells which side raised it. What each code means is said once, in the Java side's
// ReturnCode.java (which the tools and docs/JAVA-API.md use); the build compares these numbers
// with its constants (cmake/checks/return_codes_agree.cpp).
#pragma once

#include <cstdint>

namespace kestrune {

inline constexpr int32_t KS_ERR_NO_UBM = 4101;
inline constexpr int32_t KS_ERR_NO_TARGETS = 4102;
inline constexpr int32_t KS_ERR_MODEL_SET = 4103;
inline constexpr int32_t KS_ERR_ARGUMENT = 4104;
inline constexpr int32_t KS_ERR_TOO_LITTLE_SPEECH = 4105;
inline constexpr int32_t KS_ERR_BUSY = 4106;
inline constexpr int32_t KS_ERR_OUT_OF_MEMORY = 4107;
inline constexpr int32_t KS_ERR_INTERNAL = 4108;
inline constexpr int32_t KS_ERR_TOO_MANY_TARGETS = 4109;

// How a target taken out of one call is reported (its model gave a score no speech gives: not
// finite, or beyond kMaxAbsTrialScore): the lowest score, far below any real score's
// thousandths (at most 1e9 in magnitude), an FRR of 0 and an FAR of 100 %, so that every
// ranking puts it last. The other targets are scored as if it were not loaded.
inline constexpr int32_t kRemovedTargetScore = -1410065408;
inline constexpr int32_t kRemovedTargetFar = 100000;

// The most targets one load accepts; a directory with more target directories loads none (they
// are counted, their files not read) and its set answers KS_ERR_TOO_MANY_TARGETS. With the default
// background model a loaded target takes about 130 kB (1.3 GB at the limit, shared by the sets
// of unchanged files); a load of 10 000 unchanged targets and the scoring of 2 s of speech
// against them take some 30 ms each, but the first load reads 1.3 GB of files (several
// seconds), and a process scoring 16 recordings at once from different directories holds 16
// such sets.
inline constexpr int32_t kMaxTargets = 10000;
// The most recordings scored at the same time; further calls get KS_ERR_BUSY.
inline constexpr int32_t kMaxStreams = 16;
// Speech frames (10 ms each) a recording needs to be scored: what speech there is is scored
// down to this. Measured on the development protocols' short trials scored on their first N
// speech frames: at 5 frames top-1 identification is 2.3 to 8.8 times chance in every protocol
// (validation and test), at 1 frame 1.0 to 5.4 times (warping a single frame leaves nothing of
// its cepstra). 50 ms, less than a syllable, is a conservative floor: the little gained below
// it would come with rates that mean little (every target's false-acceptance rate is high).
inline constexpr int32_t kMinimumSpeechFrames = 5;

}  // namespace kestrune
