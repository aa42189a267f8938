// Error rates of a trial's scores. Scores are normalised per trial (see trial_scoring.h), so
// that an impostor's score follows about a standard normal distribution whatever the trial's
// channel or noise, a little wider on short trials (ImpostorSpread): the false-acceptance rate
// is its upper tail. Genuine scores depend on the trial's conditions, so the false-rejection
// rate is read off genuine scores measured at enrollment on held-out parts of the targets'
// speech, in several lengths and conditions, each carried to the trial's length (genuine
// scores grow with it) and weighted by how closely its conditions match the trial's. The
// genuine scores of all the targets loaded together are pooled: every target is then judged by
// one curve, so that ranking by false-rejection rate keeps the order of the scores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/models/target_model.h"

namespace kestrune {

// What a trial's scores depend on besides the speaker.
struct TrialConditions {
    double frames = 0.0;     // speech frames
    double snrDb = 0.0;      // estimated signal-to-noise ratio (RecordingTraits::snrDb)
    double telephone = 0.0;  // weight of the telephone models (conditions.h)
};

// Percent (0 to 100) of impostor comparisons that score `z` (a normalised score) or more.
// With `degreesOfFreedom`, the score was standardised by a mean and deviation estimated from
// that many scores, and its tail is Student's t rather than the normal one, which is heavier
// for few; 0 stands for a normalisation known exactly.
double FalseAcceptancePercent(double z, double degreesOfFreedom = 0.0);

// How much wider than N(0, 1) the normalised scores of impostors spread on a trial of `frames`
// speech frames: sqrt(1 + kShortTrialImpostorVariance / frames). The cohort and the other
// targets are measured on the trial's own few frames, and on short trials their statistics
// leave impostor scores a heavier spread than they remove. FalseAcceptancePercent of the score
// over this spread is the trial's false-acceptance rate (duration as a quality measure).
double ImpostorSpread(double frames);

// The extra variance of impostor scores, in speech frames: a 1-s trial's (about 80 frames)
// scores spread 17 % wider, a single digit's (about 40) 32 %, a 5-s trial's 3 %. Chosen on the
// validation trials by the shares of impostor comparisons reported at FAR <= 5 %, averaged by
// condition: among 0, 10, 15, 20 and 30 when short trials were scored with the model's own
// count of components (without it 6.2 % of the 2-s, 6.3 % of the 1-s and 14.2 % of the
// single-digit impostors, with 20 5.1, 4.3 and 5.6 %); with short trials scored with more
// components (kShortTrialTopComponents), whose impostor scores spread wider, again among 20, 30
// and 40: 20 left 5.9, 4.8 and 8.2 %, 30 5.6, 4.2 and 5.9 %, 40 5.2, 3.5 and 3.9 %.
inline constexpr double kShortTrialImpostorVariance = 30.0;

// Percent (0 to 100) of genuine comparisons in `conditions` that score below `score` (a
// cohort-normalised score, as GenuineSample::score), estimated from `genuine`: each sample's
// score is carried to the trial's length, weighted by the closeness of its conditions (length
// on a log scale, SNR, telephone weight) and smoothed into a normal kernel. 0 with no samples.
double FalseRejectionPercent(const std::vector<GenuineSample>& genuine,
                             const TrialConditions& conditions, double score);

// At most this many genuine scores are pooled from the targets of one set.
inline constexpr size_t kPooledSamples = 20000;

// The genuine scores of many targets: all of them, or kPooledSamples chosen at random, those of
// noisy and telephone copies lowered by what such copies were measured to gain over real
// degraded recordings.
std::vector<GenuineSample> PoolGenuineSamples(
    const std::vector<std::vector<GenuineSample>>& perTarget);

// The most points a tabulated false-rejection curve holds: at its finest step (a tenth of the
// score kernel's width) they span 1300 score units, far more than genuine scores spread; a
// wider spread (only files far from real speech give one) coarsens the step instead, so that
// building the curve costs at most this many points whatever the files hold.
inline constexpr size_t kMaxCurvePoints = size_t{1} << 15;

// FalseRejectionPercent for one trial's conditions and any score, tabulated once per trial.
class FalseRejectionCurve {
  public:
    FalseRejectionCurve(const std::vector<GenuineSample>& genuine,
                        const TrialConditions& conditions);
    double Percent(double score) const;

  private:
    double first_ = 0.0;  // the score of the first point
    double step_ = 1.0;   // between points
    std::vector<double> percent_;
};

// A percentage in thousandths, as the contract returns rates (0 to 100000).
int32_t PercentThousandths(double percent);

}  // namespace kestrune
