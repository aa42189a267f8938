// Degraded training copies: G.711 coding that matches the decoder the library reads with, a
// telephone band that removes what lies outside it, and noise at the ratio asked for.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

#include "audio/g711_tables.h"
#include "core/frontend/augmentation.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

int16_t Linear(const uint32_t* table, int code) {
    return static_cast<int16_t>(table[code] & 0xFFFF);
}

TEST(Augmentation, G711RoundTripsLandOnTheDecodersLevels) {
    struct {
        const char* law;
        const uint32_t* table;
        int16_t (*roundTrip)(int16_t);
    } const laws[] = {{"A-law", jkestrune::kALawToLinear, ALawRoundTrip},
                      {"mu-law", jkestrune::kMuLawToLinear, MuLawRoundTrip}};
    for (const auto& law : laws) {
        SCOPED_TRACE(law.law);
        std::set<int16_t> levels;
        for (int code = 0; code < 256; ++code) {
            const int16_t level = Linear(law.table, code);
            levels.insert(level);
            // Every decoded level codes to itself.
            EXPECT_EQ(law.roundTrip(level), level) << "code " << code;
        }
        // Any sample comes back as one of those levels, the nearest within a step of 1/16.
        for (int x = -32768; x <= 32767; x += 7) {
            const int16_t back = law.roundTrip(static_cast<int16_t>(x));
            EXPECT_TRUE(levels.count(back)) << x;
            EXPECT_LE(std::abs(back - x), std::abs(x) / 16 + 64) << x;
        }
    }
}

double ToneGain(double hz, const TelephoneChannel& channel) {
    const std::vector<int16_t> tone = testing::Tone(hz, 1.0, 10000.0);
    const Samples out = ThroughTelephone(tone, channel);
    // The middle half, away from the filter's edges.
    const Samples in(tone.begin() + 2000, tone.begin() + 6000);
    const Samples passed(out.begin() + 2000, out.begin() + 6000);
    return 20.0 * std::log10(Rms(passed) / Rms(in));
}

TEST(Augmentation, TelephoneChannelKeepsItsBandOnly) {
    TelephoneChannel channel;
    channel.coding = G711::kNone;
    EXPECT_NEAR(ToneGain(1000.0, channel), 0.0, 0.5);
    EXPECT_NEAR(ToneGain(2500.0, channel), 0.0, 0.5);
    EXPECT_LT(ToneGain(100.0, channel), -30.0);
    EXPECT_LT(ToneGain(3850.0, channel), -30.0);
    // The output lines up with the input: no delay.
    const std::vector<int16_t> tone = testing::Tone(1000.0, 0.5, 10000.0);
    const Samples out = ThroughTelephone(tone, channel);
    ASSERT_EQ(out.size(), tone.size());
    EXPECT_NEAR(out[2002], tone[2002], 300);
}

TEST(Augmentation, NoiseIsAddedAtTheRatioAskedFor) {
    std::mt19937 random(1);
    const std::vector<int16_t> signal = testing::Speak(testing::MakeVoice(0), 2.0, 4);
    const Samples noise = WhiteNoise(50000, random);
    for (double snr : {0.0, 10.0, 20.0}) {
        const Samples noisy = AddNoise(signal, noise, 777, snr);
        Samples added(noisy.size());
        for (size_t i = 0; i < noisy.size(); ++i) {
            added[i] = static_cast<int16_t>(noisy[i] - signal[i]);
        }
        EXPECT_NEAR(20.0 * std::log10(Rms(signal) / Rms(added)), snr, 0.1) << snr;
    }
    // Copies are deterministic for the same generator state, and differ by kind.
    std::mt19937 a(5), b(5);
    EXPECT_EQ(DegradedCopy(signal, 1, {}, a), DegradedCopy(signal, 1, {}, b));
    EXPECT_NE(DegradedCopy(signal, 0, {}, a), DegradedCopy(signal, 1, {}, b));
}

}  // namespace
}  // namespace kestrune
