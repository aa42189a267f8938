// Stable orders of the target indices by value. Large counts are sorted by an LSD radix sort of
// (value, index) pairs, which is stable by construction and linear in the count; small counts,
// and any count whose working memory cannot be had, by std::stable_sort of the indices, which
// needs no failure path either (without a buffer it falls back to an in-place merge).
#include "ranking/ranking.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <numeric>

namespace jkestrune {
namespace {

// Below this count the comparison sort is as fast and needs no working memory.
constexpr int32_t kRadixThreshold = 1024;

enum class Order { kDescending, kAscending };

// Maps a value to an unsigned key whose increasing order is the wanted order of the values.
uint32_t SortKey(int32_t value, Order order) {
    const uint32_t ascending = static_cast<uint32_t>(value) ^ 0x80000000u;
    return order == Order::kAscending ? ascending : ~ascending;
}

void RankByComparison(int32_t targetCount, const int32_t* values, int32_t* ranking, Order order) {
    int32_t* const end = ranking + targetCount;
    std::iota(ranking, end, 0);
    std::stable_sort(ranking, end, [values, order](int32_t a, int32_t b) {
        return SortKey(values[a], order) < SortKey(values[b], order);
    });
}

// Sorts (key << 32 | index) pairs by their key, one byte per pass from the lowest. Each pass
// is a stable counting sort, so pairs with equal keys keep their index order. Returns false
// when the working memory is not available.
bool RankByRadix(int32_t targetCount, const int32_t* values, int32_t* ranking, Order order) {
    const auto count = static_cast<size_t>(targetCount);
    std::unique_ptr<uint64_t[]> pairs(new (std::nothrow) uint64_t[count]);
    std::unique_ptr<uint64_t[]> spare(new (std::nothrow) uint64_t[count]);
    if (pairs == nullptr || spare == nullptr) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        pairs[i] = uint64_t{SortKey(values[i], order)} << 32 | i;
    }
    uint64_t* from = pairs.get();
    uint64_t* to = spare.get();
    for (int shift = 32; shift < 64; shift += 8) {
        size_t offsets[256] = {};
        for (size_t i = 0; i < count; ++i) {
            ++offsets[(from[i] >> shift) & 0xFF];
        }
        if (std::find(std::begin(offsets), std::end(offsets), count) != std::end(offsets)) {
            continue;  // every key has the same byte here: the pass would change nothing
        }
        size_t position = 0;
        for (size_t& offset : offsets) {
            const size_t bucket = offset;
            offset = position;
            position += bucket;
        }
        for (size_t i = 0; i < count; ++i) {
            to[offsets[(from[i] >> shift) & 0xFF]++] = from[i];
        }
        std::swap(from, to);
    }
    for (size_t i = 0; i < count; ++i) {
        ranking[i] = static_cast<int32_t>(from[i] & 0xFFFFFFFFu);
    }
    return true;
}

void Rank(int32_t targetCount, const int32_t* values, int32_t* ranking, Order order) {
    if (targetCount <= 0) {
        return;
    }
    if (targetCount >= kRadixThreshold && RankByRadix(targetCount, values, ranking, order)) {
        return;
    }
    RankByComparison(targetCount, values, ranking, order);
}

}  // namespace

void RankDescending(int32_t targetCount, const int32_t* criterionValues, int32_t* ranking) {
    Rank(targetCount, criterionValues, ranking, Order::kDescending);
}

void RankAscending(int32_t targetCount, const int32_t* criterionValues, int32_t* ranking) {
    Rank(targetCount, criterionValues, ranking, Order::kAscending);
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
