// The loaded background model.
#include "core/models/background.h"

#include <utility>

namespace kestrune {

Background::Background(BackgroundModel model, uint64_t fingerprint)
    : model_(std::move(model)),
      frontEnd_(model_.frontEnd),
      evaluator_(model_.gmm),
      cohort_(model_.gmm, model_.cohortMeans),
      fingerprint_(fingerprint) {}

}  // namespace kestrune
