// Filterbank and cepstra: the mel scale, the triangles' placement and weights, and the DCT.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/frontend/filterbank.h"

namespace kestrune {
namespace {

TEST(MelScale, KnownPointsAndRoundTrip) {
    // 1000 Hz is 1000 mel by the scale's construction; 700 Hz is 2595 log10(2).
    struct {
        float hz;
        float mel;
    } const points[] = {{0.0f, 0.0f}, {700.0f, 781.17f}, {1000.0f, 999.99f}, {4000.0f, 2146.06f}};
    for (const auto& p : points) {
        EXPECT_NEAR(HzToMel(p.hz), p.mel, 0.05f) << p.hz << " Hz";
        EXPECT_NEAR(MelToHz(HzToMel(p.hz)), p.hz, 0.01f + 1e-5f * p.hz) << p.hz << " Hz";
    }
}

// For several layouts: the centres rise inside the band, each filter is a triangle of peak at
// most 1 that lies between its neighbours' centres, and the filters cover the band without
// gaps (between the first and the last centre, every bin is weighed by two filters that add
// to about 1); linear filters are evenly spaced in Hz, mel filters widen upwards.
TEST(Filterbank, TrianglesCoverTheBandInOrder) {
    struct Layout {
        uint32_t fftSize, filterCount;
        float lowHz, highHz;
        uint32_t linear;
    } const layouts[] = {{256, 24, 100.0f, 3800.0f, 0},
                         {512, 40, 0.0f, 4000.0f, 0},
                         {256, 8, 300.0f, 3400.0f, 0},
                         {256, 24, 100.0f, 3800.0f, 1},
                         {512, 40, 0.0f, 4000.0f, 1}};
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(testing::Message() << layout.filterCount << " filters, " << layout.fftSize);
        FrontEndConfig config;
        config.fftSize = layout.fftSize;
        config.filterCount = layout.filterCount;
        config.lowHz = layout.lowHz;
        config.highHz = layout.highHz;
        config.linearFilters = layout.linear;
        const Filterbank bank(config);
        ASSERT_EQ(bank.size(), layout.filterCount);
        const float step =
            (layout.highHz - layout.lowHz) / static_cast<float>(layout.filterCount + 1);
        const float firstGap = bank.CentreHz(1) - bank.CentreHz(0);
        const float lastGap = bank.CentreHz(bank.size() - 1) - bank.CentreHz(bank.size() - 2);
        if (layout.linear != 0) {
            EXPECT_NEAR(firstGap, step, 1e-3f);
            EXPECT_NEAR(lastGap, step, 1e-3f);
        } else {
            EXPECT_GT(lastGap, 2.0f * firstGap);
        }
        for (uint32_t f = 0; f < bank.size(); ++f) {
            EXPECT_GT(bank.CentreHz(f), f == 0 ? layout.lowHz : bank.CentreHz(f - 1));
            EXPECT_LT(bank.CentreHz(f), layout.highHz);
        }
        const uint32_t bins = layout.fftSize / 2 + 1;
        const float binHz = 8000.0f / static_cast<float>(layout.fftSize);
        std::vector<float> energies(bank.size());
        for (uint32_t b = 0; b < bins; ++b) {
            std::vector<float> impulse(bins, 0.0f);
            impulse[b] = 1.0f;
            bank.Energies(impulse, energies.data());
            float total = 0.0f;
            for (uint32_t f = 0; f < bank.size(); ++f) {
                EXPECT_GE(energies[f], 0.0f);
                EXPECT_LE(energies[f], 1.0f);
                total += energies[f];
            }
            const float hz = static_cast<float>(b) * binHz;
            if (hz < layout.lowHz - 1.0f || hz > layout.highHz + 1.0f) {
                EXPECT_EQ(total, 0.0f) << "bin " << b << " outside the band";
            } else if (hz >= bank.CentreHz(0) && hz <= bank.CentreHz(bank.size() - 1)) {
                EXPECT_NEAR(total, 1.0f, 1e-4f) << "bin " << b;
            }
        }
    }
}

// The DCT is orthonormal: equal log energies in every filter give c0 = sqrt(N) log E and no
// other cepstrum; energies below the floor are read as the floor.
TEST(Cepstra, FlatEnergiesGiveOnlyTheFirstCepstrum) {
    FrontEndConfig config;
    config.filterCount = 16;
    config.cepstra = 13;
    const Cepstra cepstra(config);
    FloatMatrix energies(3, 16);
    energies.row(0).setConstant(100.0f);
    energies.row(1).setConstant(0.0f);  // digital silence
    energies.row(2).setConstant(kEnergyFloor);
    const FeatureMatrix c = cepstra.Of(energies);
    ASSERT_EQ(c.rows(), 3);
    ASSERT_EQ(c.cols(), 13);
    EXPECT_NEAR(c(0, 0), 4.0f * std::log(100.0f), 1e-4f);
    EXPECT_NEAR(c(1, 0), 4.0f * std::log(kEnergyFloor), 1e-4f);
    EXPECT_EQ(c(1, 0), c(2, 0));
    EXPECT_LT(c.rightCols(12).cwiseAbs().maxCoeff(), 1e-4f);

    // Skipping c0 starts at c1: a log-energy ramp over the filters is mostly c1, negative
    // (the first filter is the loudest).
    config.firstCepstrum = 1;
    config.cepstra = 4;
    FloatMatrix ramp(1, 16);
    for (int j = 0; j < 16; ++j) {
        ramp(0, j) = std::exp(static_cast<float>(16 - j));
    }
    const FeatureMatrix withoutC0 = Cepstra(config).Of(ramp);
    ASSERT_EQ(withoutC0.cols(), 4);
    EXPECT_GT(withoutC0(0, 0), 10.0f);
    EXPECT_LT(std::abs(withoutC0(0, 1)), 1e-3f);
    EXPECT_GT(std::abs(withoutC0(0, 0)), 5.0f * std::abs(withoutC0(0, 2)));
}

}  // namespace
}  // namespace kestrune
