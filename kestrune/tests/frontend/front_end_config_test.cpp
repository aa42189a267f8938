// Which front-end configurations can be built: a model file may hold any values.
#include <gtest/gtest.h>

#include <cmath>

#include "core/frontend/front_end_config.h"

namespace kestrune {
namespace {

TEST(FrontEndConfig, ConfigurationsThatCannotWorkAreInvalid) {
    EXPECT_TRUE(FrontEndConfig{}.Valid());
    const auto with = [](auto change) {
        FrontEndConfig config;
        change(config);
        return config.Valid();
    };
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.sampleRate = 16000; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.fftSize = 250; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.frameLength = 300; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.frameShift = 0; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.highHz = 4100.0f; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.lowHz = NAN; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.cepstra = 25; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.deltaWindow = 0; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.deltaOrder = 3; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.preEmphasis = 1.0f; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.vadRangeDb = 0.0f; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.warping = 2; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.vadNoiseMarginDb = -1.0f; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.vadNoiseMarginDb = NAN; }));
    // The telephone band's edges must rise from 0 to the Nyquist frequency.
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.telephoneBand.stopLowHz = -1.0f; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.telephoneBand.stopLowHz = 320.0f; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.telephoneBand.passLowHz = 3400.0f; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.telephoneBand.stopHighHz = 3300.0f; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.telephoneBand.stopHighHz = 4100.0f; }));
    EXPECT_FALSE(with([](FrontEndConfig& c) { c.telephoneBand.stopHighHz = NAN; }));
    EXPECT_TRUE(with([](FrontEndConfig& c) { c.telephoneBand = {0.0f, 0.0f, 4000.0f, 4000.0f}; }));
}

}  // namespace
}  // namespace kestrune
