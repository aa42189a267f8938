// Ranking speed: RankDescending for 10^2 to 10^6 targets, against std::stable_sort of the same
// keys (no index array) and against the plain N² selection, which picks the best remaining
// target once per position.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ranking/ranking.h"
#include "support/bench_report.h"

namespace jkestrune::bench {
namespace {

const int32_t kCounts[] = {100, 1000, 10000, 100000, 1000000};
// The selection takes about 6 s at 10^5 targets and would take ten minutes at 10^6.
constexpr int32_t kLargestSelection = 100000;

// Scores in thousandths over a range where equal values occur (as they do for rates).
std::vector<int32_t> Keys(int32_t count) {
    std::vector<int32_t> keys(static_cast<size_t>(count));
    uint32_t state = 0x9E3779B9;
    for (int32_t& key : keys) {
        state = state * 1664525 + 1013904223;
        key = static_cast<int32_t>(state >> 12) % 200000 - 100000;
    }
    return keys;
}

// Largest first, the lowest index among equals: a working copy whose chosen entries are
// overwritten with a value below every key.
void SelectDescending(int32_t count, const int32_t* values, int32_t* ranking) {
    constexpr int32_t kTaken = INT32_MIN;
    std::vector<int32_t> work(values, values + count);
    for (int32_t position = 0; position < count; ++position) {
        int32_t best = kTaken;
        int32_t chosen = 0;
        for (int32_t i = 0; i < count; ++i) {
            if (work[i] > best) {
                best = work[i];
                chosen = i;
            }
        }
        ranking[position] = chosen;
        work[chosen] = kTaken;
    }
}

void BmRank(benchmark::State& state, int32_t count) {
    const std::vector<int32_t> keys = Keys(count);
    std::vector<int32_t> ranking(static_cast<size_t>(count) + 1);
    for (auto _ : state) {
        RankDescending(count, keys.data(), ranking.data());
        benchmark::ClobberMemory();
    }
}

void BmStableSort(benchmark::State& state, int32_t count) {
    const std::vector<int32_t> keys = Keys(count);
    std::vector<int32_t> sorted;
    for (auto _ : state) {
        sorted = keys;  // as the ranking copies the values it reads, so does this
        std::stable_sort(sorted.begin(), sorted.end(), std::greater<>());
        benchmark::ClobberMemory();
    }
}

void BmSelection(benchmark::State& state, int32_t count) {
    const std::vector<int32_t> keys = Keys(count);
    std::vector<int32_t> selected(static_cast<size_t>(count));
    for (auto _ : state) {
        SelectDescending(count, keys.data(), selected.data());
        benchmark::ClobberMemory();
    }
    // The two must agree, or the comparison means nothing.
    std::vector<int32_t> ranked(static_cast<size_t>(count));
    RankDescending(count, keys.data(), ranked.data());
    if (ranked != selected) {
        state.SkipWithError("the ranking differs from the selection");
    }
}

void Register() {
    for (const int32_t count : kCounts) {
        const std::string n = std::to_string(count);
        benchmark::RegisterBenchmark(("rank/" + n).c_str(), BmRank, count)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("stable_sort/" + n).c_str(), BmStableSort, count)
            ->Unit(benchmark::kMillisecond);
        if (count <= kLargestSelection) {
            auto* selection =
                benchmark::RegisterBenchmark(("selection/" + n).c_str(), BmSelection, count)
                    ->Unit(benchmark::kMillisecond);
            if (count == kLargestSelection) {
                selection->Repetitions(3);  // seconds each
            }
        }
    }
}

void WriteTables(const Results& r, std::ostream& out) {
    out << "Ranking: `RankDescending` against `std::stable_sort` of the same keys and against "
           "the plain N² selection (run up to 10^5 targets).\n\n"
           "| Targets | rank ms | stable_sort of the keys ms | rank / stable_sort | "
           "selection ms | selection / rank |\n|---:|---:|---:|---:|---:|---:|\n";
    for (const int32_t count : kCounts) {
        const std::string n = std::to_string(count);
        const double rank = r.Median("rank/" + n);
        if (rank == 0) {
            continue;
        }
        const double sort = r.Median("stable_sort/" + n);
        const double selection = r.Median("selection/" + n);
        out << "| " << n << " | " << Fixed(rank * 1e3, 3) << " | " << Fixed(sort * 1e3, 3) << " | "
            << Fixed(rank / sort, 2) << " | "
            << (selection > 0 ? Fixed(selection * 1e3, 1) : "not run") << " | "
            << (selection > 0 ? Fixed(selection / rank, 0) : "") << " |\n";
    }
    out << "\n"
        << r.Repetitions() << " repetitions, medians; widest spread of one case "
        << Fixed(r.WorstSpread() * 100, 0) << " % of its median.\n";
}

}  // namespace
}  // namespace jkestrune::bench

int main(int argc, char** argv) {
    jkestrune::bench::Register();
    return jkestrune::bench::RunAndReport(argc, argv, jkestrune::bench::WriteTables);
}
