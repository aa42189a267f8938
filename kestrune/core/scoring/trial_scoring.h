// Scoring one recording against many targets, as a trial: normalisation of its frames, each
// target's model for the recording's condition, and test normalisation (T-norm) by the
// background model's cohort, so that scores of different trials share one scale; with a
// companion model, the weighted sum of both models' normalised scores (score-level fusion).
#pragma once

#include <cstdint>
#include <vector>

#include "core/frontend/front_end.h"
#include "core/scoring/background.h"
#include "core/scoring/rates.h"
#include "core/scoring/scoring.h"

namespace kestrune {

struct TrialScores {
    TrialConditions conditions;
    // Per target: the average log-likelihood ratio, less the cohort's mean ratio on this
    // recording, over the cohort's standard deviation (all cohort models but the one that
    // scores highest, which may be the speaker's own).
    std::vector<double> scores;
};

// A trial of fewer speech frames than kShortTrialFrames (2.5 s) is scored with at least
// kShortTrialTopComponents components per frame, by the model and by its companion alike; longer
// trials with the model's own count. On a short trial few frames share each component, so the
// time per target is the reading of the targets' models, most of which are read whatever the
// count; more components per frame then cost little and bring the mixture's likelihood closer to
// the whole model's, where a few frames must carry the decision. Chosen on the validation trials
// (up to 250, 160 and 400 frames; 6, 8, 10 and 16 components for the model and 2 to 8 for the
// companion): top-1 averaged over the development lists 94.76 -> 95.06 %, open-set EER
// 17.57 -> 16.62 %, with 8 for both under 250 frames; 6 gave 94.95 / 16.82, more than 8 nothing.
inline constexpr Eigen::Index kShortTrialFrames = 250;
inline constexpr uint32_t kShortTrialTopComponents = 8;

// The components per frame a trial of `frames` speech frames is scored with, by `model`.
uint32_t TopComponentsFor(const BackgroundModel& model, Eigen::Index frames);

// Scores the raw speech frames of one recording (as Background::Analyse gives them, with
// `traits`) against the targets' models for the conditions the traits show; with a companion,
// each model's cohort-normalised scores are fused by the background model's weights.
TrialScores ScoreRecording(const Background& ubm, TrialFrames frames, const RecordingTraits& traits,
                           const ConditionBanks& targets);

// Pseudo-targets with impostor scores N(0, 1) that the target-set adaptation assumes besides
// the set's own targets (see AdaptToTargetSet).
inline constexpr double kSetPriorCount = 4.0;

// Adapts a trial's cohort-normalised scores to the targets loaded with it: the cohort comes
// from the background speakers, and a set of targets recorded elsewhere (another language, other
// microphones) can sit above or below it. The other targets' scores (all but the best, which
// may be the speaker's own) show where impostors lie on this trial; their mean and deviation,
// drawn towards 0 and 1 by kSetPriorCount pseudo-targets, restandardise every score.
std::vector<double> AdaptToTargetSet(const std::vector<double>& scores);

// Targets whose trial score is not finite or leaves TrialScoreInRange (model_ranges.h): only a
// model far from anything speech gives scores so, and such a target is taken out of the trial
// so that it cannot move the others' results. 1 marks a target taken out.
std::vector<uint8_t> UntrustedScores(const std::vector<double>& scores);

// AdaptToTargetSet over the targets not marked in `removed` (as UntrustedScores marks them):
// the others are neither adapted nor counted in the set's statistics, and come back as NaN.
std::vector<double> AdaptToTargetSet(const std::vector<double>& scores,
                                     const std::vector<uint8_t>& removed);

// The number of scores the adaptation's estimate rests on (for FalseAcceptancePercent).
inline double TargetSetDegreesOfFreedom(size_t targets) {
    return static_cast<double>(targets > 0 ? targets - 1 : 0) + kSetPriorCount;
}

}  // namespace kestrune
