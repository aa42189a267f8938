// Recording traits from spectra and frame levels whose answers are known.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/frontend/recording_traits.h"

namespace kestrune {
namespace {

// A power spectrum (256-point FFT at 8 kHz: 31.25 Hz per bin) with `power` in the bins at the
// given frequencies.
std::vector<float> Spectrum(std::initializer_list<std::pair<float, float>> lines) {
    std::vector<float> power(129, 0.0f);
    for (const auto& [hz, value] : lines) {
        power[static_cast<size_t>(std::lround(hz / 31.25f))] += value;
    }
    return power;
}

SpeechDetection AllSpeech(std::vector<float> levels, NoiseFloor floor) {
    SpeechDetection detection;
    detection.speech.assign(levels.size(), true);
    detection.levels = std::move(levels);
    detection.floor = floor;
    return detection;
}

// Energy below the stop band's lower edge or above its upper edge is out of band, energy in the
// passband in band; the roll-off gaps (250-300, 3400-3550 Hz) and the DC bin count for
// neither side.
TEST(RecordingTraits, OutOfBandEnergyAgainstTheTelephoneBand) {
    struct Case {
        const char* name;
        std::vector<float> power;
        float outOfBandDb;
    };
    const Case cases[] = {
        {"equal in and out", Spectrum({{1000.0f, 1.0f}, {125.0f, 1.0f}}), 0.0f},
        {"a tenth out, above", Spectrum({{1000.0f, 10.0f}, {3750.0f, 1.0f}}), -10.0f},
        {"nothing out: the floor", Spectrum({{1000.0f, 1e3f}}), -60.0f},
        {"gaps and DC count for neither",
         Spectrum({{1000.0f, 1.0f}, {281.25f, 1e6f}, {3468.75f, 1e6f}, {0.0f, 1e6f}}), -30.0f},
        {"nothing in band", Spectrum({{125.0f, 1.0f}}), 0.0f},
    };
    for (const Case& c : cases) {
        TraitsMeter meter{FrontEndConfig{}};
        meter.AddSpeechFrame(c.power);
        EXPECT_NEAR(meter.Traits(AllSpeech({-20.0f}, {})).outOfBandDb, c.outOfBandDb, 1e-3f)
            << c.name;
    }
}

// The band is the configuration's: the same spectrum is wideband under one band and telephone
// speech under a narrower one.
TEST(RecordingTraits, BandEdgesComeFromTheConfiguration) {
    const std::vector<float> power = Spectrum({{1000.0f, 1.0f}, {3000.0f, 1.0f}});
    TraitsMeter standard{FrontEndConfig{}};
    standard.AddSpeechFrame(power);
    FrontEndConfig narrow;
    narrow.telephoneBand = {500.0f, 600.0f, 2000.0f, 2500.0f};
    TraitsMeter narrowed{narrow};
    narrowed.AddSpeechFrame(power);
    const SpeechDetection detection = AllSpeech({-20.0f}, {});
    EXPECT_NEAR(standard.Traits(detection).outOfBandDb, -33.0f, 0.1f);  // floor 1e-3 over 2
    EXPECT_NEAR(narrowed.Traits(detection).outOfBandDb, 0.0f, 1e-3f);
}

TEST(RecordingTraits, SpeechToNoiseRatio) {
    struct Case {
        const char* name;
        SpeechDetection detection;
        float snrDb;
    };
    SpeechDetection partly = AllSpeech({-20.0f, -30.0f, -60.0f}, {-60.0f, true});
    partly.speech[2] = false;
    const Case cases[] = {
        {"mean speech level over a steady floor", partly, 35.0f},
        {"a noisy recording", AllSpeech({-20.0f, -24.0f}, {-40.0f, true}), 18.0f},
        {"no steady floor: no noise", AllSpeech({-20.0f}, {-30.0f, false}), kMaxSnrDb},
        {"floor above the speech: none", AllSpeech({-40.0f}, {-30.0f, true}), 0.0f},
        {"no speech", SpeechDetection{{-20.0f}, {-50.0f, true}, {false}}, 0.0f},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(SpeechToNoiseDb(c.detection), c.snrDb, 1e-4f) << c.name;
        TraitsMeter meter{FrontEndConfig{}};
        EXPECT_EQ(meter.Traits(c.detection).snrDb, SpeechToNoiseDb(c.detection)) << c.name;
    }
}

// The spread of the speech frames' levels, which tells speech from a steady sound: silent
// frames do not count.
TEST(RecordingTraits, LevelSpreadOfTheSpeechFrames) {
    struct Case {
        const char* name;
        SpeechDetection detection;
        float spreadDb;
    };
    SpeechDetection withSilence = AllSpeech({-20.0f, -30.0f, -200.0f}, {});
    withSilence.speech[2] = false;
    const Case cases[] = {
        {"two levels 10 dB apart", withSilence, 5.0f},
        {"steady", AllSpeech({-12.0f, -12.0f, -12.0f, -12.0f}, {}), 0.0f},
        {"four levels", AllSpeech({-10.0f, -20.0f, -30.0f, -40.0f}, {}), std::sqrt(125.0f)},
        {"no speech", SpeechDetection{{-20.0f, -10.0f}, {}, {false, false}}, 0.0f},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(SpeechLevelSpreadDb(c.detection), c.spreadDb, 1e-4f) << c.name;
        TraitsMeter meter{FrontEndConfig{}};
        EXPECT_EQ(meter.Traits(c.detection).levelSpreadDb, SpeechLevelSpreadDb(c.detection))
            << c.name;
    }
}

}  // namespace
}  // namespace kestrune
