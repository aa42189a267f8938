// One kernel body, built three times: for the baseline instruction set (vectors of 4 floats)
// and, through target attributes, for AVX2 with FMA (8) and for AVX-512 (16). The rest of
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

constexpr int kLanes = 16;  // TargetBank::kLanes: the targets of one block

// Frames whose log-sum-exp values are summed as one logarithm of their product: a factor lies
// in [1/C, e^kFastSpread] (below), so a product of kGroup of them stays a normal float for
// any top-C count up to many thousands.
constexpr Eigen::Index kGroup = 8;

// A frame's sum is taken relative to the term of its best background component, which saves
// an exponential (that term's is 1). When a target prefers another component by more than this
// many nats, the group is recomputed relative to each frame's largest term instead.
constexpr float kFastSpread = 10.0f;

// sums[i] += x_i[k] * panel row k, for kRows rows x_i; the panel row (16 targets) is kParts
// vectors.
template <typename V, int kRows, int kParts>
KESTRUNE_LANES_INLINE void MultiplyAdd(V (&sums)[kRows][kParts], const float* x,
                                       Eigen::Index stride, const uint16_t* panel, Eigen::Index k) {
    static_assert(kParts * lanes::kWidth<V> == kLanes);
    V p[kParts];
    lanes::LoadBfloat16(p, panel + k * kLanes);
    for (int i = 0; i < kRows; ++i) {
        const float feature = x[i * stride + k];
        for (int q = 0; q < kParts; ++q) {
            sums[i][q] += feature * p[q];
        }
    }
}

// out[i] = x_i . panel for kRows consecutive rows x_i: each panel row is loaded once and
// multiplied by a broadcast feature of every row. The sums are split over kSplit residues of
// the feature index, so that at least eight independent chains of multiply-adds keep two FMA
// units busy through their latency when there are few rows.
template <typename V, int kRows, int kSplit>
KESTRUNE_LANES_INLINE void Products(const float* x, Eigen::Index stride, const uint16_t* panel,
                                    float* out) {
    constexpr int kParts = kLanes / lanes::kWidth<V>;
    V sums[kSplit][kRows][kParts];
    for (int s = 0; s < kSplit; ++s) {
        for (int i = 0; i < kRows; ++i) {
            for (int q = 0; q < kParts; ++q) {
                sums[s][i][q] = V{};
            }
        }
    }
    Eigen::Index k = 0;
    for (; k + kSplit <= stride; k += kSplit) {
        for (int s = 0; s < kSplit; ++s) {
            MultiplyAdd(sums[s], x, stride, panel, k + s);
        }
    }
    for (; k < stride; ++k) {
        MultiplyAdd(sums[0], x, stride, panel, k);
    }
    for (int s = 1; s < kSplit; ++s) {
        for (int i = 0; i < kRows; ++i) {
            for (int q = 0; q < kParts; ++q) {
                sums[0][i][q] += sums[s][i][q];
            }
        }
    }
    for (int i = 0; i < kRows; ++i) {
        for (int q = 0; q < kParts; ++q) {
            lanes::Store(out + i * kLanes + q * lanes::kWidth<V>, sums[0][i][q]);
        }
    }
}

// The products of rows [row, end) with one panel: kRows at a time, then the rest by halving.
template <typename V, int kRows>
KESTRUNE_LANES_INLINE void PanelProducts(const ScoringChunk& chunk, const uint16_t* panel,
                                         Eigen::Index row, Eigen::Index end, float* terms) {
    constexpr int kChains = kRows * (kLanes / lanes::kWidth<V>);
    constexpr int kSplit = kChains >= 8 ? 1 : 8 / kChains;
    for (; row + kRows <= end; row += kRows) {
        Products<V, kRows, kSplit>(chunk.rows + row * chunk.stride, chunk.stride, panel,
                                   terms + row * kLanes);
    }
    if constexpr (kRows > 1) {
        PanelProducts<V, kRows / 2>(chunk, panel, row, end, terms);
    }
}

template <typename V>
KESTRUNE_LANES_INLINE void AddTo(double* totals, const V& values) {
    float v[lanes::kWidth<V>];
    lanes::Store(v, values);
    for (int l = 0; l < lanes::kWidth<V>; ++l) {
        totals[l] += v[l];
    }
}

template <typename V>
KESTRUNE_LANES_INLINE bool AnyAbove(const V& values, float limit) {
    float v[lanes::kWidth<V>];
    lanes::Store(v, values);
    bool above = false;
    for (int l = 0; l < lanes::kWidth<V>; ++l) {
        above |= v[l] > limit;
    }
    return above;
}

// Frame f's log sum_j w_j exp(t_j), relative to its largest term: right for any spread.
// `terms` points at the lanes of V within each row.
template <typename V>
KESTRUNE_LANES_INLINE void FrameValue(const ScoringChunk& chunk, const float* terms, Eigen::Index f,
                                      V& value) {
    const int32_t* rows = chunk.frameRows + f * chunk.topCount;
    const float* weights = chunk.weights + f * chunk.topCount;
    const int32_t kept = chunk.kept[f];
    V peak;
    lanes::Load(peak, terms + rows[0] * kLanes);
    for (int32_t j = 1; j < kept; ++j) {
        V t;
        lanes::Load(t, terms + rows[j] * kLanes);
        lanes::Max(peak, t);
    }
    V sum = V{};
    for (int32_t j = 0; j < kept; ++j) {
        V t;
        lanes::Load(t, terms + rows[j] * kLanes);
        t -= peak;
        lanes::Exp(t);
        sum += weights[j] * t;
    }
    lanes::Log(sum);
    value = sum + peak;
}

// Per group of frames, for the lanes of V that `terms` and `totals` point at:
//   sum_f t_f0 + log prod_f (w_0 + sum_{j>0} w_j exp(t_fj - t_f0)).
template <typename V>
KESTRUNE_LANES_INLINE void Combine(const ScoringChunk& chunk, const float* terms, double* totals) {
    for (Eigen::Index first = 0; first < chunk.frames; first += kGroup) {
        const Eigen::Index end = std::min(first + kGroup, chunk.frames);
        V best = V{};
        V product;
        lanes::Broadcast(product, 1.0f);
        V spread = V{};
        for (Eigen::Index f = first; f < end; ++f) {
            const int32_t* rows = chunk.frameRows + f * chunk.topCount;
            const float* weights = chunk.weights + f * chunk.topCount;
            V t0;
            lanes::Load(t0, terms + rows[0] * kLanes);
            best += t0;
            const int32_t kept = chunk.kept[f];
            if (kept == 1) {
                continue;
            }
            V sum;
            lanes::Broadcast(sum, weights[0]);
            for (int32_t j = 1; j < kept; ++j) {
                V t;
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
            V value;
            FrameValue(chunk, terms, f, value);
            AddTo(totals, value);
        }
    }
}

// V: the kernel's register; kRows: rows per product, as many sums as the registers hold with
// room for a panel row.
template <typename V, int kRows>
KESTRUNE_LANES_INLINE void ScoreBlockBody(const ScoringChunk& chunk, const uint16_t* panels,
                                          float* terms, double* totals) {
    const Eigen::Index panelValues = chunk.stride * kLanes;
    constexpr Eigen::Index kLineValues = 64 / sizeof(uint16_t);  // a cache line's
    for (Eigen::Index i = 0; i < chunk.components; ++i) {
        // The next component's panel is fetched while this one's products are computed: the
        // panels come from beyond the second-level cache, one component after another, with
        // gaps where no frame chose a component.
        if (i + 1 < chunk.components) {
            const uint16_t* next = panels + chunk.component[i + 1] * panelValues;
            for (Eigen::Index k = 0; k < panelValues; k += kLineValues) {
                __builtin_prefetch(next + k);
            }
        }
        PanelProducts<V, kRows>(chunk, panels + chunk.component[i] * panelValues, chunk.firstRow[i],
                                chunk.firstRow[i + 1], terms);
    }
    for (int q = 0; q < kLanes; q += lanes::kWidth<V>) {
        Combine<V>(chunk, terms + q, totals + q);
    }
}

bool AlwaysSupported() {
    return true;
}

// SSE2: 16 registers of 4 floats.
void ScoreBlockPortable(const ScoringChunk& chunk, const uint16_t* panels, float* terms,
                        double* totals) {
    ScoreBlockBody<lanes::Floats4, 2>(chunk, panels, terms, totals);
}

#if KESTRUNE_X86_KERNELS
bool HasAvx2Fma() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

__attribute__((target("avx2,fma"))) void ScoreBlockAvx2(const ScoringChunk& chunk,
                                                        const uint16_t* panels, float* terms,
                                                        double* totals) {
    ScoreBlockBody<lanes::Floats8, 4>(chunk, panels, terms, totals);
}

bool HasAvx512() {
    return __builtin_cpu_supports("avx512f");
}

__attribute__((target("avx512f"))) void ScoreBlockAvx512(const ScoringChunk& chunk,
                                                         const uint16_t* panels, float* terms,
                                                         double* totals) {
    ScoreBlockBody<lanes::Floats16, 8>(chunk, panels, terms, totals);
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
