// Small models built by hand for the model-file tests: every section of both files holds
// values that differ from each other, so that a field read from the wrong place shows.
#pragma once

#include <cstdint>

#include "core/models/model_files.h"
#include "support/synthetic.h"

namespace kestrune::testing {

inline BackgroundModel SmallModel() {
    BackgroundModel model = testing::TinyBackgroundModel();
    model.gmm.means(1, 2) = -3.25;
    model.cohortMeans = {FloatMatrix::Constant(6, 4, 0.25f), FloatMatrix::Constant(6, 4, 0.5f),
                         FloatMatrix::Constant(6, 4, -0.25f)};
    return model;
}

inline TargetModel SmallTarget(uint64_t fingerprint) {
    TargetModel model;
    model.ubmFingerprint = fingerprint;
    model.relevance = 16.0f;
    model.enrollmentFrames = 1234;
    model.means = {FloatMatrix::Constant(3, 4, 0.75f), FloatMatrix::Constant(3, 4, 0.25f),
                   FloatMatrix::Constant(3, 4, -0.5f)};
    model.genuine = {{3.5f, 50.0f, 20.0f, 0.0f}, {5.25f, 400.0f, 40.0f, 1.0f}};
    return model;
}

}  // namespace kestrune::testing
