// Error rates read off score distributions, and which distribution a trial uses.
#include <gtest/gtest.h>

#include "core/enrollment.h"
#include "core/rates.h"

namespace kestrune {
namespace {

TEST(Rates, RejectionCountsGenuineBelowAcceptanceCountsImpostorsAtOrAbove) {
    const std::vector<float> genuine = {1.0f, 2.0f, 3.0f, 4.0f};
    const std::vector<float> impostor = {-2.0f, -1.0f, 0.0f, 1.0f};
    struct {
        float score;
        int32_t frr, far;
    } const cases[] = {
        {-3.0f, 0, 100000}, {0.0f, 0, 50000}, {1.0f, 0, 25000},
        {2.5f, 50000, 0},   {4.0f, 75000, 0}, {4.5f, 100000, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FalseRejection(genuine, c.score), c.frr) << c.score;
        EXPECT_EQ(FalseAcceptance(impostor, c.score), c.far) << c.score;
    }
    // Thousandths of a percent, rounded: 1 of 3 is 33.333 %.
    EXPECT_EQ(FalseAcceptance({0.0f, 1.0f, 2.0f}, 1.5f), 33333);
    EXPECT_EQ(FalseRejection({}, 1.0f), 0);
}

TEST(Rates, TrialUsesTheDistributionNearestInLength) {
    std::vector<ScoreDistribution> list(3);
    list[0].frames = 32;
    list[1].frames = 64;
    list[2].frames = 128;
    struct {
        size_t frames;
        uint32_t expected;
    } const cases[] = {{0, 32},  {10, 32}, {45, 32},  {46, 64},
                       {64, 64}, {90, 64}, {91, 128}, {100000, 128}};
    for (const auto& c : cases) {
        EXPECT_EQ(NearestDistribution(list, c.frames)->frames, c.expected) << c.frames;
    }
    EXPECT_EQ(NearestDistribution({}, 50), nullptr);
}

TEST(Segments, HalfOverlappingAndSpreadEvenlyWhenLimited) {
    using Starts = std::vector<Eigen::Index>;
    EXPECT_EQ(SegmentStarts(100, 32, 100), (Starts{0, 16, 32, 48, 64}));
    EXPECT_EQ(SegmentStarts(100, 32, 3), (Starts{0, 32, 64}));
    EXPECT_EQ(SegmentStarts(32, 32, 10), (Starts{0}));
    EXPECT_EQ(SegmentStarts(31, 32, 10), (Starts{}));
    EXPECT_EQ(SegmentStarts(100, 0, 10), (Starts{}));
    EXPECT_EQ(SpreadEvenly(5, 1), (std::vector<size_t>{0}));
    EXPECT_EQ(SpreadEvenly(10, 4), (std::vector<size_t>{0, 3, 6, 9}));
}

}  // namespace
}  // namespace kestrune
