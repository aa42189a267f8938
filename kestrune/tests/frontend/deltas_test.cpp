// Delta regression on rows whose slopes are known.
#include <gtest/gtest.h>

#include "core/frontend/deltas.h"

namespace kestrune {
namespace {

// Column 0 a ramp of slope 3, column 1 a parabola t²: the delta of a ramp is its slope away
// from the edges, where the edge rows are repeated; the delta-delta of the parabola is 2.
FeatureMatrix RampAndParabola(int rows) {
    FeatureMatrix statics(rows, 2);
    for (int t = 0; t < rows; ++t) {
        statics(t, 0) = 3.0f * static_cast<float>(t);
        statics(t, 1) = static_cast<float>(t * t);
    }
    return statics;
}

TEST(Deltas, SlopesOfKnownCurvesForEveryWindowAndOrder) {
    for (uint32_t window : {1u, 2u, 4u}) {
        for (uint32_t order : {0u, 1u, 2u}) {
            SCOPED_TRACE(testing::Message() << "window " << window << ", order " << order);
            const FeatureMatrix statics = RampAndParabola(30);
            const FeatureMatrix all = AppendDeltas(statics, window, order);
            ASSERT_EQ(all.rows(), 30);
            ASSERT_EQ(all.cols(), 2 * (1 + order));
            EXPECT_EQ(all.leftCols(2), statics);
            const int w = static_cast<int>(window);
            for (int t = 2 * w; t < 30 - 2 * w; ++t) {
                if (order >= 1) {
                    EXPECT_NEAR(all(t, 2), 3.0f, 1e-4f) << "row " << t;
                    EXPECT_NEAR(all(t, 3), 2.0f * static_cast<float>(t), 1e-3f) << "row " << t;
                }
                if (order == 2) {
                    EXPECT_NEAR(all(t, 4), 0.0f, 1e-4f) << "row " << t;
                    EXPECT_NEAR(all(t, 5), 2.0f, 1e-3f) << "row " << t;
                }
            }
            if (order >= 1) {
                // At the first row the frames before it repeat it: with a window of 1 the
                // slope is (x1 - x0) / 2.
                if (window == 1) {
                    EXPECT_NEAR(all(0, 2), 1.5f, 1e-5f);
                }
                for (int edge : {0, 29}) {
                    EXPECT_GT(all(edge, 2), 0.0f) << "row " << edge;
                    EXPECT_LT(all(edge, 2), 3.0f) << "row " << edge;
                }
            }
        }
    }
}

TEST(Deltas, ShortAndEmptyInputs) {
    const FeatureMatrix none(0, 3);
    EXPECT_EQ(AppendDeltas(none, 2, 2).cols(), 9);
    EXPECT_EQ(AppendDeltas(none, 2, 2).rows(), 0);

    // One row: every neighbour is itself, so nothing moves.
    FeatureMatrix one(1, 2);
    one << 5.0f, -7.0f;
    const FeatureMatrix all = AppendDeltas(one, 3, 2);
    EXPECT_EQ(all.leftCols(2), one);
    EXPECT_EQ(all.rightCols(4).cwiseAbs().maxCoeff(), 0.0f);
}

}  // namespace
}  // namespace kestrune
