// Model files whose values are finite but outside what any model made from speech holds: each is
// refused as a damaged file is, and the values at the bounds themselves are still accepted.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "core/base/byte_io.h"
#include "core/models/model_files.h"
#include "core/models/model_ranges.h"

namespace kestrune {
namespace {

BackgroundModel Background2x4() {
    BackgroundModel model;
    model.frontEnd.cepstra = 2;
    model.frontEnd.deltaOrder = 1;
    model.topComponents = 2;
    model.gmm.weights = Eigen::Vector2d(0.5, 0.5);
    model.gmm.means = DoubleMatrix::Constant(2, 4, 0.5);
    model.gmm.variances = DoubleMatrix::Constant(2, 4, 2.0);
    for (FloatMatrix& cohort : model.cohortMeans) {
        cohort = FloatMatrix::Constant(4, 4, 0.25f);  // two cohort speakers
    }
    return model;
}

TargetModel Target2x4() {
    TargetModel model;
    model.ubmFingerprint = 3;
    model.relevance = 8.0f;
    model.enrollmentFrames = 900;
    for (FloatMatrix& means : model.means) {
        means = FloatMatrix::Constant(2, 4, 0.75f);
    }
    model.genuine = {{3.5f, 50.0f, 20.0f, 0.0f}, {5.25f, 400.0f, 40.0f, 1.0f}};
    return model;
}

bool DecodesBackground(const BackgroundModel& model) {
    BackgroundModel decoded;
    uint64_t fingerprint = 0;
    std::string error;
    return DecodeBackground(EncodeBackground(model), decoded, fingerprint, error);
}

bool DecodesTarget(const TargetModel& model) {
    TargetModel decoded;
    std::string error;
    return DecodeTarget(EncodeTarget(model), decoded, error);
}

struct BackgroundCase {
    const char* what;
    std::function<void(BackgroundModel&)> edit;
    bool accepted;
};

TEST(ModelRanges, BackgroundValuesOutsideTheirRangesAreRefused) {
    const float farMean = static_cast<float>(kMaxAbsMean) * 2.0f;
    const BackgroundCase cases[] = {
        {"unchanged", [](BackgroundModel&) {}, true},
        // Nothing to copy: under UndefinedBehaviorSanitizer, no copy to an empty vector's null.
        {"no cohort",
         [](BackgroundModel& m) {
             for (FloatMatrix& cohort : m.cohortMeans) {
                 cohort.resize(0, 4);
             }
         },
         true},
        {"mean at the bound", [](BackgroundModel& m) { m.gmm.means(1, 3) = -kMaxAbsMean; }, true},
        {"mean of 1e19", [](BackgroundModel& m) { m.gmm.means(0, 0) = 1e19; }, false},
        {"mean just beyond", [](BackgroundModel& m) { m.gmm.means(1, 2) = kMaxAbsMean * 1.001; },
         false},
        {"variance of 1e-300", [](BackgroundModel& m) { m.gmm.variances(0, 1) = 1e-300; }, false},
        {"variance of 1e30", [](BackgroundModel& m) { m.gmm.variances(1, 1) = 1e30; }, false},
        {"variance at the floor", [](BackgroundModel& m) { m.gmm.variances(1, 1) = kMinVariance; },
         true},
        {"weight of 1e-20", [](BackgroundModel& m) { m.gmm.weights = Eigen::Vector2d(1e-20, 1.0); },
         false},
        {"weights summing to 1.01",
         [](BackgroundModel& m) { m.gmm.weights = Eigen::Vector2d(0.5, 0.51); }, false},
        {"cohort mean of 1e19", [](BackgroundModel& m) { m.cohortMeans[kNoisy](3, 1) = 1e19f; },
         false},
        {"cohort mean just beyond",
         [=](BackgroundModel& m) { m.cohortMeans[kTelephone](0, 0) = -farMean; }, false},
    };
    for (const BackgroundCase& c : cases) {
        BackgroundModel model = Background2x4();
        c.edit(model);
        EXPECT_EQ(DecodesBackground(model), c.accepted) << c.what;
    }
}

struct TargetCase {
    const char* what;
    std::function<void(TargetModel&)> edit;
    bool accepted;
};

TEST(ModelRanges, TargetValuesOutsideTheirRangesAreRefused) {
    const auto big = static_cast<float>(kMaxAbsMean) * 1.01f;
    const TargetCase cases[] = {
        {"unchanged", [](TargetModel&) {}, true},
        {"means of 1e19", [](TargetModel& m) { m.means[kClean].setConstant(1e19f); }, false},
        {"one telephone mean beyond", [=](TargetModel& m) { m.means[kTelephone](1, 3) = big; },
         false},
        {"means at the bound",
         [](TargetModel& m) { m.means[kNoisy].setConstant(static_cast<float>(kMaxAbsMean)); },
         true},
        {"genuine score of 1e30", [](TargetModel& m) { m.genuine[1].score = 1e30f; }, false},
        {"genuine score of -4e6", [](TargetModel& m) { m.genuine[0].score = -4e6f; }, false},
        {"genuine score of 16000", [](TargetModel& m) { m.genuine[0].score = 16000.0f; }, true},
        {"sample of 1e30 frames", [](TargetModel& m) { m.genuine[0].frames = 1e30f; }, false},
        {"negative SNR", [](TargetModel& m) { m.genuine[0].snrDb = -1.0f; }, false},
        {"NaN telephone weight", [](TargetModel& m) { m.genuine[0].telephone = NAN; }, false},
        {"relevance of 1e30", [](TargetModel& m) { m.relevance = 1e30f; }, false},
        {"enrollment of 4e9 frames", [](TargetModel& m) { m.enrollmentFrames = 4000000000u; },
         false},
    };
    for (const TargetCase& c : cases) {
        TargetModel model = Target2x4();
        c.edit(model);
        EXPECT_EQ(DecodesTarget(model), c.accepted) << c.what;
    }
}

}  // namespace
}  // namespace kestrune
