// Source-filter synthesis: a jittered pulse train through three formant resonators, shaped
// into syllables.
#include "support/synthetic.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <numbers>
#include <random>

#include "core/enrollment/cohort.h"
#include "core/models/model_files.h"

namespace kestrune::testing {
namespace {

constexpr double kRate = 8000.0;

// Formants (Hz) of a few vowels for an average adult tract.
constexpr double kVowels[][3] = {
    {730, 1090, 2440}, {270, 2290, 3010}, {300, 870, 2240}, {530, 1840, 2480}, {570, 840, 2410},
};

// Two-pole resonator; the source's derivative removes its DC gain.
struct Resonator {
    Resonator(double hz, double bandwidth) {
        const double r = std::exp(-std::numbers::pi * bandwidth / kRate);
        a1 = 2.0 * r * std::cos(2.0 * std::numbers::pi * hz / kRate);
        a2 = -r * r;
        gain = 1.0 - r;
    }
    double Step(double x) {
        const double y = gain * x + a1 * y1 + a2 * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
    double a1, a2, gain, y1 = 0.0, y2 = 0.0;
};

}  // namespace

Voice MakeVoice(int index) {
    static constexpr double kPitch[] = {105, 190, 140, 240, 120, 170, 95, 210};
    static constexpr double kScale[] = {0.92, 1.18, 1.0, 1.25, 0.85, 1.08, 0.95, 1.12};
    const int i = ((index % 8) + 8) % 8;
    return {kPitch[i] * (1.0 + 0.03 * (index / 8)), kScale[i]};
}

std::vector<int16_t> Speak(const Voice& voice, double seconds, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, 1.0);
    const auto total = static_cast<size_t>(seconds * kRate);
    std::vector<int16_t> out;
    out.reserve(total);
    double phase = 0.0;
    while (out.size() < total) {
        // A syllable of 150-300 ms on one vowel, then 40-120 ms of near silence.
        const auto& vowel = kVowels[random() % std::size(kVowels)];
        std::vector<Resonator> tract;
        for (int f = 0; f < 3; ++f) {
            tract.emplace_back(vowel[f] * voice.tractScale, 60.0 + 40.0 * f);
        }
        const auto length = static_cast<size_t>((0.15 + 0.15 * uniform(random)) * kRate);
        const double pitch = voice.pitchHz * (0.9 + 0.2 * uniform(random));
        std::vector<double> syllable(length);
        double previous = 0.0;
        double peak = 1e-9;
        for (size_t n = 0; n < length; ++n) {
            phase += pitch * (1.0 + 0.01 * noise(random)) / kRate;
            const double pulse = phase >= 1.0 ? 1.0 : 0.0;
            phase -= std::floor(phase);
            double y = pulse - previous + 0.02 * noise(random);
            previous = pulse;
            for (Resonator& resonator : tract) {
                y = resonator.Step(y);
            }
            syllable[n] = y;
            peak = std::max(peak, std::abs(y));
        }
        // Peaks of 6000-10000: loud syllables, well above the detector's floor.
        const double level = (6000.0 + 4000.0 * uniform(random)) / peak;
        for (size_t n = 0; n < length && out.size() < total; ++n) {
            const double envelope = std::sin(std::numbers::pi * n / length);
            out.push_back(static_cast<int16_t>(std::lround(syllable[n] * envelope * level)));
        }
        const auto pause = static_cast<size_t>((0.04 + 0.08 * uniform(random)) * kRate);
        for (size_t n = 0; n < pause && out.size() < total; ++n) {
            out.push_back(static_cast<int16_t>(std::lround(2.0 * noise(random))));
        }
    }
    return out;
}

std::vector<int16_t> Tone(double hz, double seconds, double amplitude, uint32_t rate) {
    std::vector<int16_t> out(static_cast<size_t>(seconds * rate));
    for (size_t n = 0; n < out.size(); ++n) {
        out[n] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2.0 * std::numbers::pi * hz * n / rate)));
    }
    return out;
}

SmallBackground TrainSmallBackground(int voices, uint32_t components, uint32_t seed,
                                     bool companion) {
    BackgroundOptions options;
    options.em.components = components;
    options.em.iterationsPerSplit = 4;
    options.em.finalIterations = 6;
    SmallBackground background;
    for (int v = 0; v < voices; ++v) {
        for (uint32_t part = 0; part < 3; ++part) {
            background.recordings.push_back(
                {"voice-" + std::to_string(v), Speak(MakeVoice(v), 2.0, seed + 100 * v + part)});
        }
    }
    options.copies = 0;
    options.cohortSpeakers = static_cast<uint32_t>(voices);
    background.model = TrainBackground(
        TrainingSessions(FrontEnd(options.frontEnd), background.recordings, 0), options);
    AddCohort(background.model, background.recordings, options.cohortSpeakers);
    if (companion) {
        AddCompanion(background.model, background.recordings, options);
    }
    background.fingerprint = BackgroundFingerprint(background.model);
    return background;
}

TargetModel EnrollVoice(const SmallBackground& background, int voice, uint32_t seed) {
    const Background ubm(background.model, background.fingerprint);
    std::vector<Samples> recordings;
    for (uint32_t part = 0; part < 2; ++part) {
        recordings.push_back(Speak(MakeVoice(voice), 4.0, seed + part));
    }
    TargetModel model;
    std::string error;
    if (!EnrollTarget(ubm, PrepareEnrollmentSpeech(ubm, recordings), EnrollmentOptions{}, model,
                      error)) {
        throw std::runtime_error("synthetic enrollment failed: " + error);
    }
    return model;
}

TempDirectory::TempDirectory(const std::string& tag) {
    static std::atomic<int> counter{0};
    std::random_device entropy;
    path_ = std::filesystem::temp_directory_path() /
            ("kestrune-" + tag + "-" + std::to_string(entropy()) + "-" +
             std::to_string(counter.fetch_add(1)));
    std::filesystem::create_directories(path_);
}

TempDirectory::~TempDirectory() {
    std::error_code code;
    std::filesystem::remove_all(path_, code);
}

BackgroundModel TinyBackgroundModel() {
    BackgroundModel model;
    model.frontEnd.cepstra = 2;
    model.frontEnd.deltaOrder = 1;
    model.topComponents = 2;
    model.gmm.weights = Eigen::Vector3d(0.25, 0.25, 0.5);
    model.gmm.means = DoubleMatrix::Constant(3, 4, 0.5);
    model.gmm.variances = DoubleMatrix::Constant(3, 4, 2.0);
    for (FloatMatrix& cohort : model.cohortMeans) {
        cohort = FloatMatrix::Constant(6, 4, 0.25f);
    }
    return model;
}

TargetModel TinyTargetModel(uint64_t fingerprint, float mean) {
    TargetModel model;
    model.ubmFingerprint = fingerprint;
    model.relevance = 8.0f;
    model.enrollmentFrames = 500;
    for (FloatMatrix& means : model.means) {
        means = FloatMatrix::Constant(3, 4, mean);
    }
    model.genuine = {{4.0f, 100.0f, 30.0f, 0.0f}};
    return model;
}

void WriteTextFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace kestrune::testing
