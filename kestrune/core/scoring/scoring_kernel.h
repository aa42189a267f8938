// The inner loop of shared scoring, for sixteen targets at a time: the per-component terms of
// every kept (frame, component) pair as small matrix products, then each frame's log-sum-exp
// over its components. Built for the baseline instruction set and, on x86-64 outside Windows,
// for AVX2 with FMA and for AVX-512, chosen by what the processor has.
#pragma once

#include <Eigen/Core>
#include <cstdint>
#include <span>

namespace kestrune {

// A run of frames, prepared for scoring independently of the targets.
struct ScoringChunk {
    Eigen::Index stride = 0;  // floats per row: the feature dimension and a constant 1
    // The kept (frame, component) pairs, rows × stride, grouped by component: the frame less the
    // component's background mean, then 1.
    const float* rows = nullptr;
    Eigen::Index components = 0;         // components with rows in this chunk
    const int32_t* component = nullptr;  // components: their indices
    // components + 1: the i-th has rows firstRow[i] up to firstRow[i + 1].
    const int32_t* firstRow = nullptr;
    Eigen::Index frames = 0;
    Eigen::Index topCount = 0;           // the row stride of the two arrays below
    const int32_t* kept = nullptr;       // frames: kept components, at least 1
    const int32_t* frameRows = nullptr;  // frames × topCount: the kept pairs' rows, best first
    const float* weights = nullptr;      // frames × topCount: their normalised posteriors
};

// Adds, for each of sixteen targets, the sum over the chunk's frames of
//   log sum_j w_j exp(x_f . p_j), over the frame's kept components j,
// to `totals` (16 doubles). `panels` holds the sixteen targets' panel for every component
// (TargetBank::Panels, in bfloat16); `terms` has room for 16 floats per row of the chunk.
using ScoreBlockFunction = void (*)(const ScoringChunk& chunk, const uint16_t* panels, float* terms,
                                    double* totals);

struct ScoringKernel {
    const char* name;
    bool (*supported)();
    ScoreBlockFunction scoreBlock;
};

// Every kernel built, the portable one first; the others from least to most preferred.
std::span<const ScoringKernel> ScoringKernels();

// The last of ScoringKernels() that this processor supports.
const ScoringKernel& PreferredScoringKernel();

}  // namespace kestrune
