// Trial scoring and normalisation.
#include "core/scoring/trial_scoring.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/frontend/conditions.h"
#include "core/models/model_ranges.h"

namespace kestrune {
namespace {

// The smallest standard deviation a normalisation divides by.
constexpr double kMinimumDeviation = 1e-3;

// Scores against the models of every target, weighted by how much the recording looks like
// each condition; a model whose weight is nothing is not scored.
std::vector<double> ConditionScores(const TopComponents& top, const FeatureMatrix& frames,
                                    const std::array<TargetBank, kConditions>& targets,
                                    const std::array<double, kConditions>& weights) {
    const auto count = static_cast<size_t>(targets[0].Targets());
    std::vector<double> scores(count, 0.0);
    std::vector<double> conditionScores(count);
    for (int c = 0; c < kConditions; ++c) {
        const double weight = weights[static_cast<size_t>(c)];
        if (weight <= 0.0) {
            continue;
        }
        ScoreTargets(top, frames, targets[static_cast<size_t>(c)], conditionScores.data());
        for (size_t t = 0; t < count; ++t) {
            scores[t] += weight * conditionScores[t];
        }
    }
    return scores;
}

// The scores but the highest: when the trial's own speaker is among the cohort (a background
// model trained on the enrolled speakers themselves), that model must not count as an impostor.
std::vector<double> WithoutBest(std::vector<double> scores) {
    if (scores.size() >= 3) {
        scores.erase(std::max_element(scores.begin(), scores.end()));
    }
    return scores;
}

struct Moments {
    double mean = 0.0;
    double deviation = 1.0;
};

Moments MomentsOf(const std::vector<double>& values) {
    Moments moments;
    if (values.size() < 2) {
        return moments;
    }
    double sum = 0.0, squares = 0.0;
    for (double value : values) {
        sum += value;
        squares += value * value;
    }
    const auto n = static_cast<double>(values.size());
    moments.mean = sum / n;
    moments.deviation = std::sqrt(std::max(squares / n - moments.mean * moments.mean, 0.0));
    moments.deviation = std::max(moments.deviation, kMinimumDeviation);
    return moments;
}

// One model's scores of the targets, normalised by that model's cohort.
std::vector<double> CohortNormalisedScores(const Background& ubm, FeatureMatrix& frames,
                                           const std::array<TargetBank, kConditions>& targets,
                                           const std::array<double, kConditions>& weights) {
    ubm.Normalise(frames);
    const TopComponents top =
        SelectTopComponents(ubm.evaluator(), frames, TopComponentsFor(ubm.model(), frames.rows()));
    std::vector<double> scores = ConditionScores(top, frames, targets, weights);
    const Moments cohort =
        MomentsOf(WithoutBest(ConditionScores(top, frames, ubm.cohort().banks, weights)));
    for (double& score : scores) {
        score = (score - cohort.mean) / cohort.deviation;
    }
    return scores;
}

}  // namespace

uint32_t TopComponentsFor(const BackgroundModel& model, Eigen::Index frames) {
    return frames < kShortTrialFrames ? std::max(model.topComponents, kShortTrialTopComponents)
                                      : model.topComponents;
}

TrialScores ScoreRecording(const Background& ubm, TrialFrames frames, const RecordingTraits& traits,
                           const ConditionBanks& targets) {
    TrialScores result;
    result.conditions.frames = static_cast<double>(frames.own.rows());
    result.conditions.snrDb = traits.snrDb;
    const std::array<double, kConditions> weights = ConditionWeights(traits);
    result.conditions.telephone = weights[kTelephone];
    result.scores = CohortNormalisedScores(ubm, frames.own, targets.banks, weights);
    const Background* companion = ubm.companion();
    if (companion == nullptr) {
        return result;
    }
    // Score-level fusion: targets prepared without the companion's models (which a target
    // that fits this background model has) score NaN rather than half a score.
    const BackgroundModel& model = ubm.model();
    std::vector<double> other(result.scores.size(), std::numeric_limits<double>::quiet_NaN());
    if (targets.companion[0].Targets() == targets.Targets()) {
        other = CohortNormalisedScores(*companion, frames.companion, targets.companion, weights);
    }
    for (size_t t = 0; t < result.scores.size(); ++t) {
        result.scores[t] = model.ownWeight * result.scores[t] + model.companionWeight * other[t];
    }
    return result;
}

std::vector<double> AdaptToTargetSet(const std::vector<double>& scores) {
    if (scores.empty()) {
        return scores;
    }
    const size_t best =
        static_cast<size_t>(std::max_element(scores.begin(), scores.end()) - scores.begin());
    double sum = 0.0;
    for (size_t t = 0; t < scores.size(); ++t) {
        sum += t == best ? 0.0 : scores[t];
    }
    const auto others = static_cast<double>(scores.size() - 1);
    const double mean = sum / (others + kSetPriorCount);
    // The spread about the targets' own mean, drawn towards 1 the same way.
    const double ownMean = others > 0.0 ? sum / others : 0.0;
    double squares = kSetPriorCount;
    for (size_t t = 0; t < scores.size(); ++t) {
        if (t != best) {
            squares += (scores[t] - ownMean) * (scores[t] - ownMean);
        }
    }
    const double deviation =
        std::max(std::sqrt(squares / (others + kSetPriorCount)), kMinimumDeviation);
    std::vector<double> adapted(scores.size());
    for (size_t t = 0; t < scores.size(); ++t) {
        adapted[t] = (scores[t] - mean) / deviation;
    }
    return adapted;
}

}  // namespace kestrune

namespace kestrune {

std::vector<uint8_t> UntrustedScores(const std::vector<double>& scores) {
    std::vector<uint8_t> removed(scores.size());
    for (size_t t = 0; t < scores.size(); ++t) {
        removed[t] = !TrialScoreInRange(scores[t]);  // NaN is in no range
    }
    return removed;
}

std::vector<double> AdaptToTargetSet(const std::vector<double>& scores,
                                     const std::vector<uint8_t>& removed) {
    std::vector<double> kept;
    kept.reserve(scores.size());
    for (size_t t = 0; t < scores.size(); ++t) {
        if (!removed[t]) {
            kept.push_back(scores[t]);
        }
    }
    const std::vector<double> adaptedKept = AdaptToTargetSet(kept);
    std::vector<double> adapted(scores.size(), std::numeric_limits<double>::quiet_NaN());
    for (size_t t = 0, k = 0; t < scores.size(); ++t) {
        if (!removed[t]) {
            adapted[t] = adaptedKept[k++];
        }
    }
    return adapted;
}

}  // namespace kestrune
