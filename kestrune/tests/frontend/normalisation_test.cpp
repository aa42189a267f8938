// Normalisation: warping, and mean (and variance) normalisation over the whole recording or a
// sliding window.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/frontend/normalisation.h"

namespace kestrune {
namespace {

// Warping makes every coefficient standard normal over the window, whatever scale and offset a
// channel gave it: the same ranks give the same values.
TEST(Normalisation, WarpingGaussianisesAndIgnoresScaleAndOffset) {
    std::mt19937 random(9);
    std::exponential_distribution<float> skewed(1.0f);
    FeatureMatrix frames(1000, 2);
    for (Eigen::Index t = 0; t < frames.rows(); ++t) {
        frames(t, 0) = skewed(random);
        frames(t, 1) = static_cast<float>(t % 7);
    }
    FeatureMatrix channel = frames;
    channel.col(0) = (channel.col(0) * 3.0f).array() + 5.0f;
    WarpFeatures(frames, 300);
    WarpFeatures(channel, 300);
    EXPECT_TRUE(frames.isApprox(channel));
    EXPECT_NEAR(frames.col(0).mean(), 0.0f, 0.05f);
    EXPECT_NEAR(std::sqrt(frames.col(0).squaredNorm() / 1000.0f), 1.0f, 0.05f);
    // Ties share a value: equal inputs in one window give equal outputs.
    EXPECT_EQ(frames(140, 1), frames(147, 1));
    // A recording shorter than the window is warped as a whole, symmetrically.
    FeatureMatrix three(3, 1);
    three << 10, -4, 2;
    WarpFeatures(three, 300);
    EXPECT_NEAR(three(0, 0), -three(1, 0), 1e-6f);
    EXPECT_EQ(three(2, 0), 0.0f);
}

TEST(Normalisation, WarpingLeavesTheDeltasAlone) {
    FrontEndConfig config;
    config.cepstra = 2;
    config.deltaOrder = 1;
    FeatureMatrix frames(5, 4);
    frames << 1, 10, 0.5f, -1, 2, 20, 0.25f, -2, 3, 30, 0, -3, 4, 40, 0.75f, -4, 5, 50, 1, -5;
    const FeatureMatrix before = frames;
    NormaliseRecording(frames, config);
    EXPECT_EQ(frames.rightCols(2), before.rightCols(2));
    EXPECT_NEAR(frames(2, 0), 0.0f, 1e-6f);
    EXPECT_EQ(frames.col(0), frames.col(1));
}

TEST(Normalisation, WholeRecordingRemovesEachColumnsMean) {
    FeatureMatrix frames(4, 2);
    frames << 1, 10, 2, 20, 3, 30, 6, 60;
    NormaliseSliding(frames, 30, false);
    EXPECT_NEAR(frames.col(0).sum(), 0.0f, 1e-5);
    EXPECT_NEAR(frames(3, 0), 3.0f, 1e-5);
    EXPECT_NEAR(frames(0, 1), -20.0f, 1e-5);

    FeatureMatrix scaled(4, 1);
    scaled << 1, 3, 1, 3;
    NormaliseFeatures(scaled, true);
    EXPECT_NEAR(scaled(0, 0), -1.0f, 1e-5);
    EXPECT_NEAR(scaled(1, 0), 1.0f, 1e-5);
}

TEST(Normalisation, SlidingWindowStaysInsideTheRecording) {
    // A ramp 0, 1, ..., 9 with a window of 4: row t loses the mean of rows
    // clamp(t - 2, 0, 6) .. +3.
    FeatureMatrix ramp(10, 1);
    for (int t = 0; t < 10; ++t) {
        ramp(t, 0) = static_cast<float>(t);
    }
    NormaliseSliding(ramp, 4, false);
    const float expected[] = {-1.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 1.5f};
    for (int t = 0; t < 10; ++t) {
        EXPECT_NEAR(ramp(t, 0), expected[t], 1e-5) << "row " << t;
    }
}

}  // namespace
}  // namespace kestrune
