// Orders of the targets by one of their per-target values, best first.
#pragma once

#include <cstdint>

namespace jkestrune {

// How the caller asks for the targets to be ordered.
inline constexpr int32_t RANK_BY_SCORE = 0;
inline constexpr int32_t RANK_BY_FRR = 1;
inline constexpr int32_t RANK_BY_FAR = 2;

// Writes the indices 0 to targetCount - 1 into ranking[0 .. targetCount - 1], ordered by
// decreasing criterionValues; equal values keep index order. Every index appears exactly once,
// whatever its value. A count of 0 or less writes nothing; criterionValues is not changed and
// nothing is written at ranking[targetCount] or beyond.
void RankDescending(int32_t targetCount, const int32_t* criterionValues, int32_t* ranking);

// As RankDescending, ordered by increasing value.
void RankAscending(int32_t targetCount, const int32_t* criterionValues, int32_t* ranking);

// The three per-target value arrays that a ranking can be made from.
struct RankingInputs {
    const int32_t* logScores;
    const int32_t* frrValues;
    const int32_t* farValues;
};

// Ranks by the caller's criterion: RANK_BY_FRR ranks the false-rejection rates highest first,
// RANK_BY_FAR the false-acceptance rates lowest first, and every other value (0 and negatives
// included) the log-likelihood scores highest first.
void RankBy(int32_t rankBy, int32_t targetCount, const RankingInputs& inputs, int32_t* ranking);

}  // namespace jkestrune
