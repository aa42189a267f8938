// Evaluation measures over scored trials.
#include "tool/evaluation.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "ranking/ranking.h"

namespace kestrune {
namespace {

// Whether the first target ranked by `rankBy` is the trial's true one, in the library's order.
bool FirstIsTrue(const ScoredTrial& trial, int32_t rankBy) {
    const auto count = static_cast<int32_t>(trial.logScores.size());
    std::vector<int32_t> ranking(static_cast<size_t>(count) + 1, 0);
    jkestrune::RankBy(rankBy, count,
                      {trial.logScores.data(), trial.frrValues.data(), trial.farValues.data()},
                      ranking.data());
    return count > 0 && ranking[0] == trial.truth;
}

double Share(size_t part, size_t whole) {
    return whole == 0 ? 0.0 : static_cast<double>(part) / static_cast<double>(whole);
}

std::string Percent(double share) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", 100.0 * share);
    return text;
}

}  // namespace

double EqualErrorRate(std::vector<double> genuine, std::vector<double> impostor) {
    if (genuine.empty() || impostor.empty()) {
        return 0.0;
    }
    std::sort(genuine.begin(), genuine.end());
    std::sort(impostor.begin(), impostor.end());
    std::vector<double> thresholds = genuine;
    thresholds.insert(thresholds.end(), impostor.begin(), impostor.end());
    thresholds.push_back(genuine.back() + 1.0);
    double best = 1.0;
    for (double threshold : thresholds) {
        const auto rejected = std::lower_bound(genuine.begin(), genuine.end(), threshold);
        const auto accepted = std::lower_bound(impostor.begin(), impostor.end(), threshold);
        const double frr = Share(static_cast<size_t>(rejected - genuine.begin()), genuine.size());
        const double far = Share(static_cast<size_t>(impostor.end() - accepted), impostor.size());
        best = std::min(best, std::max(frr, far));
    }
    return best;
}

EvaluationSummary Summarise(const std::vector<ScoredTrial>& trials, size_t targetCount) {
    EvaluationSummary summary;
    summary.trials = trials.size();
    constexpr size_t kLevels = std::size(kHonestyLevels);
    std::vector<size_t> lowFar(kLevels, 0), lowFrr(kLevels, 0);
    std::vector<double> genuine, impostor, bestEnrolled, bestUnknown;
    size_t correctScore = 0, correctFrr = 0, correctFar = 0;
    for (const ScoredTrial& trial : trials) {
        if (trial.unscored) {
            ++summary.unscoredTrials;
            continue;
        }
        const bool enrolled = trial.truth >= 0;
        (enrolled ? summary.enrolledTrials : summary.unknownTrials) += 1;
        if (trial.code != 0 || trial.logScores.size() != targetCount || targetCount == 0) {
            ++summary.failedTrials;
            continue;
        }
        if (enrolled) {
            correctScore += FirstIsTrue(trial, jkestrune::RANK_BY_SCORE);
            correctFrr += FirstIsTrue(trial, jkestrune::RANK_BY_FRR);
            correctFar += FirstIsTrue(trial, jkestrune::RANK_BY_FAR);
        }
        const int32_t best = *std::max_element(trial.logScores.begin(), trial.logScores.end());
        (enrolled ? bestEnrolled : bestUnknown).push_back(best);
        for (size_t t = 0; t < targetCount; ++t) {
            const bool isGenuine = static_cast<int32_t>(t) == trial.truth;
            (isGenuine ? genuine : impostor).push_back(trial.logScores[t]);
            for (size_t level = 0; level < kLevels; ++level) {
                const double limit = kHonestyLevels[level] * 1000.0;
                if (isGenuine) {
                    lowFrr[level] += trial.frrValues[t] <= limit;
                } else {
                    lowFar[level] += trial.farValues[t] <= limit;
                }
            }
        }
    }
    summary.top1Score = Share(correctScore, summary.enrolledTrials);
    summary.top1Frr = Share(correctFrr, summary.enrolledTrials);
    summary.top1Far = Share(correctFar, summary.enrolledTrials);
    summary.genuineComparisons = genuine.size();
    summary.impostorComparisons = impostor.size();
    summary.eer = EqualErrorRate(genuine, impostor);
    if (!bestEnrolled.empty() && !bestUnknown.empty()) {
        summary.openSetEer = EqualErrorRate(bestEnrolled, bestUnknown);
    }
    for (size_t level = 0; level < kLevels; ++level) {
        summary.impostorsAtFar.push_back(Share(lowFar[level], impostor.size()));
        summary.genuineAtFrr.push_back(Share(lowFrr[level], genuine.size()));
    }
    return summary;
}

std::string FormatSummary(const EvaluationSummary& s, bool tabSeparated) {
    std::vector<std::pair<std::string, std::string>> rows = {
        {"trials", std::to_string(s.trials)},
        {"unscored_trials", std::to_string(s.unscoredTrials)},
        {"enrolled_trials", std::to_string(s.enrolledTrials)},
        {"unknown_trials", std::to_string(s.unknownTrials)},
        {"failed_trials", std::to_string(s.failedTrials)},
        {"top1_score", Percent(s.top1Score)},
        {"top1_frr", Percent(s.top1Frr)},
        {"top1_far", Percent(s.top1Far)},
        {"eer", Percent(s.eer)},
        {"open_set_eer", s.openSetEer < 0.0 ? "-" : Percent(s.openSetEer)},
        {"genuine_comparisons", std::to_string(s.genuineComparisons)},
        {"impostor_comparisons", std::to_string(s.impostorComparisons)},
    };
    for (size_t level = 0; level < std::size(kHonestyLevels); ++level) {
        char name[64];
        std::snprintf(name, sizeof name, "impostors_at_far_%g", kHonestyLevels[level]);
        rows.emplace_back(name, Percent(s.impostorsAtFar[level]));
    }
    for (size_t level = 0; level < std::size(kHonestyLevels); ++level) {
        char name[64];
        std::snprintf(name, sizeof name, "genuine_at_frr_%g", kHonestyLevels[level]);
        rows.emplace_back(name, Percent(s.genuineAtFrr[level]));
    }

    std::string text;
    if (tabSeparated) {
        for (const auto& [name, value] : rows) {
            std::string number = value;
            if (number.size() > 2 && number.compare(number.size() - 2, 2, " %") == 0) {
                number.resize(number.size() - 2);
            }
            text += name + "\t" + number + "\n";
        }
        return text;
    }
    char line[256];
    std::snprintf(line, sizeof line,
                  "trials: %zu (%zu of enrolled speakers, %zu of unknown speakers, %zu refused by "
                  "the engine)\n",
                  s.trials, s.enrolledTrials, s.unknownTrials, s.failedTrials);
    text += line;
    if (s.unscoredTrials > 0) {
        std::snprintf(line, sizeof line,
                      "unscored: %zu trials got no answer (the engine stayed busy); every figure "
                      "below leaves them out\n",
                      s.unscoredTrials);
        text += line;
    }
    std::snprintf(line, sizeof line,
                  "top-1 identification: %s by score, %s by FRR, %s by FAR (refused trials count "
                  "as misses)\n",
                  Percent(s.top1Score).c_str(), Percent(s.top1Frr).c_str(),
                  Percent(s.top1Far).c_str());
    text += line;
    std::snprintf(line, sizeof line,
                  "EER over all comparisons: %s (%zu genuine, %zu impostor comparisons)\n",
                  Percent(s.eer).c_str(), s.genuineComparisons, s.impostorComparisons);
    text += line;
    text += "open-set detection EER (best score, enrolled against unknown speakers): " +
            (s.openSetEer < 0.0 ? std::string("needs trials of both") : Percent(s.openSetEer)) +
            "\n";
    text += "rates' honesty (an honest rate gives the nominal share):\n";
    for (size_t level = 0; level < std::size(kHonestyLevels); ++level) {
        std::snprintf(line, sizeof line,
                      "  nominal %4.0f %%: impostor comparisons at FAR <= it %6s, genuine "
                      "comparisons at FRR <= it %6s\n",
                      kHonestyLevels[level], Percent(s.impostorsAtFar[level]).c_str(),
                      Percent(s.genuineAtFrr[level]).c_str());
        text += line;
    }
    return text;
}

}  // namespace kestrune
