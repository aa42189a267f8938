// Stable index sorts. std::stable_sort needs no failure path: when it cannot get a buffer it
// falls back to an in-place merge, still O(n log² n) and with the same output.
#include "ranking/ranking.h"

#include <algorithm>
#include <numeric>

namespace jkestrune {
namespace {

template <typename Before>
void RankStable(int32_t targetCount, const int32_t* criterionValues, int32_t* ranking,
                Before before) {
    if (targetCount <= 0) {
        return;
    }
    int32_t* const end = ranking + targetCount;
    std::iota(ranking, end, 0);
    std::stable_sort(ranking, end, [criterionValues, before](int32_t a, int32_t b) {
        return before(criterionValues[a], criterionValues[b]);
    });
}

}  // namespace

void RankDescending(int32_t targetCount, const int32_t* criterionValues, int32_t* ranking) {
    RankStable(targetCount, criterionValues, ranking, [](int32_t a, int32_t b) { return a > b; });
}

void RankAscending(int32_t targetCount, const int32_t* criterionValues, int32_t* ranking) {
    RankStable(targetCount, criterionValues, ranking, [](int32_t a, int32_t b) { return a < b; });
}

void RankBy(int32_t rankBy, int32_t targetCount, const RankingInputs& inputs, int32_t* ranking) {
    switch (rankBy) {
        case RANK_BY_FRR:
            RankDescending(targetCount, inputs.frrValues, ranking);
            break;
        case RANK_BY_FAR:
            RankAscending(targetCount, inputs.farValues, ranking);
            break;
        default:
            RankDescending(targetCount, inputs.logScores, ranking);
            break;
    }
}

}  // namespace jkestrune
