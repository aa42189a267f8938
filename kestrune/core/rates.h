// Error rates read off score distributions measured at enrollment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrune {

// Scores of one target measured on segments of one length: its own held-out speech (genuine)
// and other speakers' speech (impostor), each sorted ascending.
struct ScoreDistribution {
    uint32_t frames = 0;  // speech frames per segment
    std::vector<float> genuine;
    std::vector<float> impostor;
};

// The distribution measured on segments nearest in length to `frames` (on a log scale, so
// that 40 frames is nearer to 32 than to 64; a tie goes to the shorter segments, whose wider
// spread gives the more cautious rates). Null for an empty list.
const ScoreDistribution* NearestDistribution(const std::vector<ScoreDistribution>& list,
                                             size_t frames);

// Percent of `genuineAscending` strictly below `score`, in thousandths (0 to 100000).
int32_t FalseRejection(const std::vector<float>& genuineAscending, float score);

// Percent of `impostorAscending` at or above `score`, in thousandths (0 to 100000).
int32_t FalseAcceptance(const std::vector<float>& impostorAscending, float score);

}  // namespace kestrune
