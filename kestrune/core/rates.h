// Error rates of a trial's scores. Scores are normalised per trial (see trial_scoring.h), so
// that an impostor's score follows a standard normal distribution whatever the trial's length,
// channel or noise: the false-acceptance rate is its upper tail. A target's own genuine scores
// depend on those conditions, so its false-rejection rate is read off genuine scores measured
// at enrollment on held-out parts of its speech, in several lengths and conditions, weighted by
// how closely each one's conditions match the trial's.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrune {

// What a trial's scores depend on besides the speaker.
struct TrialConditions {
    double frames = 0.0;     // speech frames
    double snrDb = 0.0;      // estimated signal-to-noise ratio (RecordingTraits::snrDb)
    double telephone = 0.0;  // weight of the telephone models (conditions.h)
};

// One genuine score measured at enrollment: a held-out part of the target's speech scored
// against a model adapted without it, normalised by the cohort as a trial would be.
struct GenuineSample {
    float score = 0.0f;
    float frames = 0.0f;
    float snrDb = 0.0f;
    float telephone = 0.0f;
};

// Percent (0 to 100) of impostor comparisons that score `z` (a normalised score) or more.
double FalseAcceptancePercent(double z);

// Percent (0 to 100) of genuine comparisons in `conditions` that score below `score` (a
// cohort-normalised score, as GenuineSample::score), estimated from `genuine`: each sample is
// weighted by the closeness of its conditions (length on a log scale, SNR, telephone weight)
// and smoothed into a normal kernel. 0 with no samples.
double FalseRejectionPercent(const std::vector<GenuineSample>& genuine,
                             const TrialConditions& conditions, double score);

// A percentage in thousandths, as the contract returns rates (0 to 100000).
int32_t PercentThousandths(double percent);

}  // namespace kestrune
