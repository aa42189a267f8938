// Trial scoring and normalisation.
#include "core/trial_scoring.h"

#include <algorithm>
#include <cmath>

#include "core/conditions.h"

namespace kestrune {
namespace {

// The smallest standard deviation a normalisation divides by.
constexpr double kMinimumDeviation = 1e-3;

// Scores against both models of every target, weighted by how much the recording looks like
// telephone speech; a model whose weight is negligible is not scored.
std::vector<double> ConditionScores(const TopComponents& top, const FeatureMatrix& frames,
                                    const TargetBank& wideband, const TargetBank& telephoneBank,
                                    double telephone) {
    const auto count = static_cast<size_t>(wideband.Targets());
    std::vector<double> scores(count, 0.0);
    const bool useWideband = telephone < 1.0 - kSingleModelWeight;
    const bool useTelephone = telephone > kSingleModelWeight;
    if (useWideband) {
        ScoreTargets(top, frames, wideband, scores.data());
    }
    if (useTelephone) {
        std::vector<double> telephoneScores(count);
        ScoreTargets(top, frames, telephoneBank, telephoneScores.data());
        const double widebandWeight = useWideband ? 1.0 - telephone : 0.0;
        const double telephoneWeight = useWideband ? telephone : 1.0;
        for (size_t t = 0; t < count; ++t) {
            scores[t] = widebandWeight * scores[t] + telephoneWeight * telephoneScores[t];
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

}  // namespace

TrialScores ScoreRecording(const Background& ubm, FeatureMatrix frames,
                           const RecordingTraits& traits, const TargetBank& wideband,
                           const TargetBank& telephone) {
    TrialScores result;
    result.conditions.frames = static_cast<double>(frames.rows());
    result.conditions.snrDb = traits.snrDb;
    result.conditions.telephone = TelephoneWeight(traits.outOfBandDb);
    ubm.Normalise(frames);
    const TopComponents top =
        SelectTopComponents(ubm.evaluator(), frames, ubm.model().topComponents);
    result.scores = ConditionScores(top, frames, wideband, telephone, result.conditions.telephone);
    const Moments cohort = MomentsOf(WithoutBest(ConditionScores(
        top, frames, ubm.cohort(), ubm.cohortTelephone(), result.conditions.telephone)));
    for (double& score : result.scores) {
        score = (score - cohort.mean) / cohort.deviation;
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
