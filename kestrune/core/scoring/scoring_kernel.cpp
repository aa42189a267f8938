// One kernel body, built three times: for the baseline instruction set and, through target
// attributes, for AVX2 with FMA and for AVX-512 (16 targets are one register there). The rest of
// the library keeps the baseline instruction set; the wider bodies run only on processors that
// report the instructions.
#include "core/scoring/scoring_kernel.h"

#include <algorithm>

#include "core/scoring/lanes.h"

// Windows is left out: its 64-bit calling convention keeps the stack 16-byte aligned, and
// these compilers do not realign it for spilled 256- and 512-bit registers.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(_WIN32)
#define KESTRUNE_X86_KERNELS 1
#else
#define KESTRUNE_X86_KERNELS 0
#endif

namespace kestrune {
namespace {

using lanes::Floats;
using lanes::kLanes;

// Frames whose log-sum-exp values are summed as one logarithm of their product: a factor lies
// in [1/C, e^kFastSpread] (below), so a product of kGroup of them stays a normal float for
// any top-C count up to many thousands.
constexpr Eigen::Index kGroup = 8;

// A frame's sum is taken relative to the term of its best background component, which saves
// an exponential (that term's is 1). When a target prefers another component by more than this
// many nats, the group is recomputed relative to each frame's largest term instead.
constexpr float kFastSpread = 10.0f;

// out[i] = x_i . panel for kRows consecutive rows x_i: each panel row (16 targets) is loaded
// once and multiplied by a broadcast feature of every row.
template <int kRows>
KESTRUNE_LANES_INLINE void Products(const float* x, Eigen::Index stride, const float* panel,
                                    float* out) {
    Floats sums[kRows];
    for (int i = 0; i < kRows; ++i) {
        sums[i] = Floats{};
    }
    for (Eigen::Index k = 0; k < stride; ++k) {
        Floats p;
        lanes::Load(p, panel + k * kLanes);
        for (int i = 0; i < kRows; ++i) {
            sums[i] += x[i * stride + k] * p;
        }
    }
    for (int i = 0; i < kRows; ++i) {
        lanes::Store(out + i * kLanes, sums[i]);
    }
}

KESTRUNE_LANES_INLINE void AddTo(double* totals, const Floats& values) {
    float v[kLanes];
    lanes::Store(v, values);
    for (int l = 0; l < kLanes; ++l) {
        totals[l] += v[l];
    }
}

KESTRUNE_LANES_INLINE bool AnyAbove(const Floats& values, float limit) {
    float v[kLanes];
    lanes::Store(v, values);
    bool above = false;
    for (int l = 0; l < kLanes; ++l) {
        above |= v[l] > limit;
    }
    return above;
}

// Frame f's log sum_j w_j exp(t_j), relative to its largest term: right for any spread.
KESTRUNE_LANES_INLINE void FrameValue(const ScoringChunk& chunk, const float* terms,
                                      Eigen::Index f, Floats& value) {
    const int32_t* rows = chunk.frameRows + f * chunk.topCount;
    const float* weights = chunk.weights + f * chunk.topCount;
    const int32_t kept = chunk.kept[f];
    Floats peak;
    lanes::Load(peak, terms + rows[0] * kLanes);
    for (int32_t j = 1; j < kept; ++j) {
        Floats t;
        lanes::Load(t, terms + rows[j] * kLanes);
        lanes::Max(peak, t);
    }
    Floats sum = Floats{};
    for (int32_t j = 0; j < kept; ++j) {
        Floats t;
        lanes::Load(t, terms + rows[j] * kLanes);
        t -= peak;
        lanes::Exp(t);
        sum += weights[j] * t;
    }
    lanes::Log(sum);
    value = sum + peak;
}

// Per group of frames: sum_f t_f0 + log prod_f (w_0 + sum_{j>0} w_j exp(t_fj - t_f0)).
KESTRUNE_LANES_INLINE void Combine(const ScoringChunk& chunk, const float* terms,
                                   double* totals) {
    for (Eigen::Index first = 0; first < chunk.frames; first += kGroup) {
        const Eigen::Index end = std::min(first + kGroup, chunk.frames);
        Floats best = Floats{};
        Floats product;
        lanes::Broadcast(product, 1.0f);
        Floats spread = Floats{};
        for (Eigen::Index f = first; f < end; ++f) {
            const int32_t* rows = chunk.frameRows + f * chunk.topCount;
            const float* weights = chunk.weights + f * chunk.topCount;
            Floats t0;
            lanes::Load(t0, terms + rows[0] * kLanes);
            best += t0;
            const int32_t kept = chunk.kept[f];
            if (kept == 1) {
                continue;
            }
            Floats sum;
            lanes::Broadcast(sum, weights[0]);
            for (int32_t j = 1; j < kept; ++j) {
                Floats t;
                lanes::Load(t, terms + rows[j] * kLanes);
                t -= t0;
                lanes::Max(spread, t);
                lanes::Exp(t);
                sum += weights[j] * t;
            }
            product *= sum;
        }
        if (!AnyAbove(spread, kFastSpread)) {
            lanes::Log(product);
            AddTo(totals, best + product);
            continue;
        }
        for (Eigen::Index f = first; f < end; ++f) {
            Floats value;
            FrameValue(chunk, terms, f, value);
            AddTo(totals, value);
        }
    }
}

template <int kRows>
KESTRUNE_LANES_INLINE void ScoreBlockBody(const ScoringChunk& chunk, const float* panels,
                                          float* terms, double* totals) {
    const Eigen::Index stride = chunk.stride;
    for (Eigen::Index i = 0; i < chunk.components; ++i) {
        const float* panel = panels + chunk.component[i] * stride * kLanes;
        Eigen::Index row = chunk.firstRow[i];
        const Eigen::Index end = chunk.firstRow[i + 1];
        for (; row + kRows <= end; row += kRows) {
            Products<kRows>(chunk.rows + row * stride, stride, panel, terms + row * kLanes);
        }
        for (; row < end; ++row) {
            Products<1>(chunk.rows + row * stride, stride, panel, terms + row * kLanes);
        }
    }
    Combine(chunk, terms, totals);
}

bool AlwaysSupported() {
    return true;
}

// Rows per product: as many sixteen-float sums as the registers hold with room for the panel
// row (SSE2: 16 registers of 4 floats).
void ScoreBlockPortable(const ScoringChunk& chunk, const float* panels, float* terms,
                        double* totals) {
    ScoreBlockBody<2>(chunk, panels, terms, totals);
}

#if KESTRUNE_X86_KERNELS
bool HasAvx2Fma() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

__attribute__((target("avx2,fma"))) void ScoreBlockAvx2(const ScoringChunk& chunk,
                                                        const float* panels, float* terms,
                                                        double* totals) {
    ScoreBlockBody<4>(chunk, panels, terms, totals);
}

bool HasAvx512() {
    return __builtin_cpu_supports("avx512f");
}

__attribute__((target("avx512f"))) void ScoreBlockAvx512(const ScoringChunk& chunk,
                                                         const float* panels, float* terms,
                                                         double* totals) {
    ScoreBlockBody<8>(chunk, panels, terms, totals);
}
#endif

constexpr ScoringKernel kKernels[] = {
    {"portable", AlwaysSupported, ScoreBlockPortable},
#if KESTRUNE_X86_KERNELS
    {"avx2-fma", HasAvx2Fma, ScoreBlockAvx2},
    {"avx512", HasAvx512, ScoreBlockAvx512},
#endif
};

}  // namespace

std::span<const ScoringKernel> ScoringKernels() {
    return kKernels;
}

// The processor is asked on every call rather than once into a variable: the engine keeps no
// state of its own, and the question costs a load and a test.
const ScoringKernel& PreferredScoringKernel() {
    for (size_t i = std::size(kKernels); i-- > 1;) {
        if (kKernels[i].supported()) {
            return kKernels[i];
        }
    }
    return kKernels[0];
}

}  // namespace kestrune
