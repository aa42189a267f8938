// Synthetic material for the engine's tests: source-filter "voices" that differ in pitch and
// vocal-tract length, so that small models can tell them apart without real recordings, and
// helpers that build small background models and target directories from them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/enrollment/enrollment.h"
#include "core/models/background_training.h"
#include "core/scoring/background.h"

namespace kestrune::testing {

struct Voice {
    double pitchHz = 120.0;
    double tractScale = 1.0;  // formants are multiplied by this
};

// Voice `index` of a fixed family of clearly different voices.
Voice MakeVoice(int index);

// `seconds` of syllables in `voice` at 8 kHz, with short pauses between them; the same seed
// gives the same samples.
std::vector<int16_t> Speak(const Voice& voice, double seconds, uint32_t seed);

// A sine of `hz` at `amplitude` (full scale 32767).
std::vector<int16_t> Tone(double hz, double seconds, double amplitude, uint32_t rate = 8000);

// A small background model (front end as configured by default, `components` Gaussians, no
// training copies, every voice in the cohort) trained on `voices` voices, with the recordings
// it was trained on, labelled "voice-0", "voice-1", ... With `companion`, also a companion
// model trained as train-ubm trains one.
struct SmallBackground {
    BackgroundModel model;
    uint64_t fingerprint = 0;
    std::vector<LabelledRecording> recordings;
};
SmallBackground TrainSmallBackground(int voices, uint32_t components, uint32_t seed,
                                     bool companion = false);

// A background model small enough to build by hand, for tests of files and loading rather than
// of speech: three components over four dimensions (two cepstra and their deltas), every cohort
// of six constant rows.
BackgroundModel TinyBackgroundModel();

// A target of TinyBackgroundModel's shape enrolled with the model of `fingerprint`: every
// condition's means constant at `mean`, one genuine score.
TargetModel TinyTargetModel(uint64_t fingerprint, float mean = 0.6f);

// Enrolls voice `voice` (two recordings of 4 s) against `background`.
TargetModel EnrollVoice(const SmallBackground& background, int voice, uint32_t seed);

// Writes `text` as the whole of the file at `path`.
void WriteTextFile(const std::filesystem::path& path, const std::string& text);

// A fresh empty directory under the system's temporary directory, removed on destruction.
class TempDirectory {
  public:
    explicit TempDirectory(const std::string& tag);
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace kestrune::testing
