// What `kestrune evaluate` measures over a list of scored trials: identification accuracy, the
// equal error rates of verification and of open-set detection, and how honest the reported
// false-acceptance and false-rejection rates are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

// One scored trial: the index of its true target (or -1 for a speaker who is not enrolled) and
// the engine's three arrays, one entry per target, in thousandths. A trial the engine refused
// has a non-zero `code` and no values. An unscored trial got no answer at all (the engine
// stayed busy): it says nothing about the recording and is left out of every measure.
struct ScoredTrial {
    int32_t truth = -1;
    int32_t code = 0;
    std::vector<int32_t> logScores;
    std::vector<int32_t> frrValues;
    std::vector<int32_t> farValues;
    bool unscored = false;
};

// The smallest rate e for which one threshold keeps both the share of `genuine` scores below it
// and the share of `impostor` scores at or above it at most e. 0 when either list is empty.
double EqualErrorRate(std::vector<double> genuine, std::vector<double> impostor);

// The rate levels, in percent, at which the rates' honesty is reported.
inline constexpr double kHonestyLevels[] = {1.0, 5.0, 10.0};

struct EvaluationSummary {
    size_t trials = 0;
    size_t unscoredTrials = 0;  // never answered; in no other count or measure
    size_t enrolledTrials = 0;  // scored trials of enrolled speakers
    size_t unknownTrials = 0;   // scored trials of speakers who are not enrolled
    size_t failedTrials = 0;    // refused by the engine (counted as misses in top-1)
    // Share of enrolled speakers' trials whose first target is the true one, ranked by score,
    // by false-rejection rate (highest first) and by false-acceptance rate (lowest first), with
    // the library's order for ties.
    double top1Score = 0.0;
    double top1Frr = 0.0;
    double top1Far = 0.0;
    // EER over every comparison (each trial against each target) by score.
    double eer = 0.0;
    // EER of the best score of each trial, enrolled speakers' trials against unknown speakers'
    // trials; negative when one of the two kinds is missing.
    double openSetEer = -1.0;
    size_t genuineComparisons = 0;
    size_t impostorComparisons = 0;
    // Per level of kHonestyLevels: share of impostor comparisons reported at a false-acceptance
    // rate at or below it, and of genuine comparisons at a false-rejection rate at or below it.
    // Honest rates give the level itself.
    std::vector<double> impostorsAtFar;
    std::vector<double> genuineAtFrr;
};

EvaluationSummary Summarise(const std::vector<ScoredTrial>& trials, size_t targetCount);

// The summary as a table for people, or as `measure<TAB>value` lines for scripts.
std::string FormatSummary(const EvaluationSummary& summary, bool tabSeparated);

}  // namespace kestrune
