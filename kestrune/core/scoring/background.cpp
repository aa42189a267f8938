// The loaded background model.
#include "core/scoring/background.h"

#include <utility>

namespace kestrune {

Background::Background(BackgroundModel model, uint64_t fingerprint)
    : model_(std::move(model)),
      frontEnd_(model_.frontEnd),
      evaluator_(model_.gmm),
      cohort_(model_.gmm, model_.cohortMeans),
      fingerprint_(fingerprint),
      companion_(model_.companion != nullptr
                     ? std::make_unique<const Background>(*model_.companion, fingerprint)
                     : nullptr) {}

TrialFrames Background::Analyse(const int16_t* samples, size_t count,
                                RecordingTraits* traits) const {
    TrialFrames frames;
    frames.own = frontEnd_.Compute(samples, count, traits);
    if (companion_ != nullptr) {
        frames.companion = companion_->frontEnd().Compute(samples, count);
    }
    return frames;
}

namespace {

bool MeansFit(const std::array<FloatMatrix, kConditions>& conditions, const DiagonalGmm& gmm) {
    for (const FloatMatrix& means : conditions) {
        if (means.rows() != gmm.Components() || means.cols() != gmm.Dimension()) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool TargetFitsBackground(const TargetModel& model, const Background& ubm) {
    const Background* companion = ubm.companion();
    return model.ubmFingerprint == ubm.fingerprint() && MeansFit(model.means, ubm.gmm()) &&
           (companion != nullptr ? MeansFit(model.companionMeans, companion->gmm())
                                 : model.companionMeans[0].size() == 0);
}

}  // namespace kestrune
