// The measures of kestrune evaluate on hand-made scores whose answers are known.
#include <gtest/gtest.h>

#include "tool/evaluation.h"

namespace kestrune {
namespace {

TEST(Evaluation, EqualErrorRate) {
    EXPECT_EQ(EqualErrorRate({3, 4, 5}, {0, 1, 2}), 0.0);
    // One genuine score among the impostors: one threshold misses a third of each.
    EXPECT_NEAR(EqualErrorRate({1.5, 4, 5}, {0, 1, 2}), 1.0 / 3.0, 1e-12);
    EXPECT_EQ(EqualErrorRate({0, 1}, {5, 6}), 1.0);
    EXPECT_EQ(EqualErrorRate({}, {1}), 0.0);
}

ScoredTrial Trial(int32_t truth, std::vector<int32_t> log, std::vector<int32_t> frr,
                  std::vector<int32_t> far) {
    return {truth, 0, std::move(log), std::move(frr), std::move(far)};
}

TEST(Evaluation, SummaryOfIdentificationOpenSetAndRates) {
    const std::vector<ScoredTrial> trials = {
        // Target 0's trial: first by every criterion.
        Trial(0, {5000, 100, -200}, {90000, 10000, 2000}, {100, 30000, 60000}),
        // Target 1's trial: first by score, but its FAR ties target 0's at 0 and the tie goes
        // to the lower index, as the library ranks.
        Trial(1, {1000, 6000, 0}, {40000, 95000, 100}, {0, 0, 50000}),
        // Target 2's trial: refused by the engine, a miss.
        {2, 4105, {}, {}, {}},
        // A speaker who is not enrolled, whose best score is below both enrolled bests.
        Trial(-1, {300, 200, 900}, {5000, 3000, 20000}, {8000, 9000, 4000}),
    };
    const EvaluationSummary s = Summarise(trials, 3);
    EXPECT_EQ(s.trials, 4u);
    EXPECT_EQ(s.enrolledTrials, 3u);
    EXPECT_EQ(s.unknownTrials, 1u);
    EXPECT_EQ(s.failedTrials, 1u);
    EXPECT_NEAR(s.top1Score, 2.0 / 3.0, 1e-12);
    EXPECT_NEAR(s.top1Frr, 2.0 / 3.0, 1e-12);
    EXPECT_NEAR(s.top1Far, 1.0 / 3.0, 1e-12);
    EXPECT_EQ(s.openSetEer, 0.0);
    EXPECT_EQ(s.genuineComparisons, 2u);
    EXPECT_EQ(s.impostorComparisons, 7u);
    // Impostor FARs: 30000, 60000, 0, 50000, 8000, 9000, 4000: at 1 % one of seven, at 5 % two,
    // at 10 % four. Genuine FRRs: 90000 and 95000, never low.
    EXPECT_NEAR(s.impostorsAtFar[0], 1.0 / 7.0, 1e-12);
    EXPECT_NEAR(s.impostorsAtFar[1], 2.0 / 7.0, 1e-12);
    EXPECT_NEAR(s.impostorsAtFar[2], 4.0 / 7.0, 1e-12);
    EXPECT_EQ(s.genuineAtFrr[2], 0.0);

    const std::string table = FormatSummary(s, true);
    EXPECT_NE(table.find("top1_far\t33.3\n"), std::string::npos) << table;
    EXPECT_NE(table.find("open_set_eer\t0.0\n"), std::string::npos) << table;
    // Without unknown speakers there is no open-set figure.
    EXPECT_LT(Summarise({trials[0]}, 3).openSetEer, 0.0);
    EXPECT_NE(FormatSummary(Summarise({trials[0]}, 3), true).find("open_set_eer\t-\n"),
              std::string::npos);
}

// A trial the engine never answered (busy through every try) is in no count but its own: it is
// neither a miss nor an impostor, and the figures are those of the answered trials alone.
TEST(Evaluation, UnscoredTrialsAreLeftOutOfEveryFigure) {
    const ScoredTrial right = Trial(0, {5000, 100}, {50000, 1000}, {100, 40000});
    const ScoredTrial wrong = Trial(1, {5000, 100}, {50000, 1000}, {100, 40000});
    ScoredTrial busy{0, 4106, {}, {}, {}};
    busy.unscored = true;
    ScoredTrial busyUnknown{-1, 4106, {}, {}, {}};
    busyUnknown.unscored = true;
    const EvaluationSummary s = Summarise({right, busy, wrong, busyUnknown, busy}, 2);
    EXPECT_EQ(s.trials, 5u);
    EXPECT_EQ(s.unscoredTrials, 3u);
    EXPECT_EQ(s.enrolledTrials, 2u);
    EXPECT_EQ(s.unknownTrials, 0u);
    EXPECT_EQ(s.failedTrials, 0u);
    EXPECT_DOUBLE_EQ(s.top1Score, 0.5);
    EXPECT_EQ(s.genuineComparisons, 2u);
    EXPECT_EQ(s.impostorComparisons, 2u);
    EXPECT_NE(FormatSummary(s, true).find("unscored_trials\t3\n"), std::string::npos);
    EXPECT_NE(FormatSummary(s, false).find("unscored: 3 trials"), std::string::npos);
    EXPECT_EQ(FormatSummary(Summarise({right}, 2), false).find("unscored"), std::string::npos);
}

}  // namespace
}  // namespace kestrune
