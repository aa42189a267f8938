// The loaded background model.
#include "core/scoring/background.h"

#include <utility>

namespace kestrune {

Background::Background(BackgroundModel model, uint64_t fingerprint)
    : model_(std::move(model)),
      frontEnd_(model_.frontEnd),
      evaluator_(model_.gmm),
      cohort_(model_.gmm, model_.cohortMeans),
      fingerprint_(fingerprint) {}

bool TargetFitsBackground(const TargetModel& model, const Background& ubm) {
    if (model.ubmFingerprint != ubm.fingerprint()) {
        return false;
    }
    for (const FloatMatrix& means : model.means) {
        if (means.rows() != ubm.gmm().Components() || means.cols() != ubm.gmm().Dimension()) {
            return false;
        }
    }
    return true;
}

}  // namespace kestrune
