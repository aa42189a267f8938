// The weights of a trial's clean, noisy and telephone models, from what the front end measured.
#include <gtest/gtest.h>

#include "core/frontend/conditions.h"

namespace kestrune {
namespace {

TEST(Conditions, TraitsChooseTheModels) {
    struct {
        const char* what;
        float outOfBandDb, snrDb;
        double clean, noisy, telephone;
    } const cases[] = {
        {"wideband, no noise floor", -15.0f, kMaxSnrDb, 1.0, 0.0, 0.0},
        {"wideband at 8 dB SNR", -15.0f, 8.0f, 0.0, 1.0, 0.0},
        {"telephone band, quiet", -38.0f, kMaxSnrDb, 0.0, 0.0, 1.0},
        // Telephone speech is scored by its telephone model however noisy it is.
        {"telephone band at 8 dB SNR", -38.0f, 8.0f, 0.0, 0.0, 1.0},
        {"at the band's even odds", kTelephoneBandDb, kMaxSnrDb, 0.5, 0.0, 0.5},
        {"at the SNR's even odds", -15.0f, kNoisySnrDb, 0.5, 0.5, 0.0},
    };
    for (const auto& c : cases) {
        RecordingTraits traits;
        traits.outOfBandDb = c.outOfBandDb;
        traits.snrDb = c.snrDb;
        const std::array<double, kConditions> weights = ConditionWeights(traits);
        EXPECT_NEAR(weights[kClean], c.clean, 1e-3) << c.what;
        EXPECT_NEAR(weights[kNoisy], c.noisy, 1e-3) << c.what;
        EXPECT_NEAR(weights[kTelephone], c.telephone, 1e-3) << c.what;
        EXPECT_NEAR(weights[kClean] + weights[kNoisy] + weights[kTelephone], 1.0, 1e-12) << c.what;
    }
}

TEST(Conditions, NegligibleWeightsAreNotScoredAndTheRestSumToOne) {
    // Just inside the telephone side of the transition: the clean weight is small but kept,
    // the noisy one (quiet speech) is dropped outright, so its model is never scored.
    RecordingTraits traits;
    traits.snrDb = kMaxSnrDb;
    traits.outOfBandDb = kTelephoneBandDb - 3.0f * kTelephoneBandWidthDb;
    const std::array<double, kConditions> weights = ConditionWeights(traits);
    EXPECT_EQ(weights[kNoisy], 0.0);
    EXPECT_GT(weights[kClean], kNegligibleWeight);
    EXPECT_NEAR(weights[kClean] + weights[kTelephone], 1.0, 1e-12);

    traits.outOfBandDb = kTelephoneBandDb - 8.0f * kTelephoneBandWidthDb;
    const std::array<double, kConditions> telephoneOnly = ConditionWeights(traits);
    EXPECT_EQ(telephoneOnly[kClean], 0.0);
    EXPECT_EQ(telephoneOnly[kTelephone], 1.0);
}

}  // namespace
}  // namespace kestrune
