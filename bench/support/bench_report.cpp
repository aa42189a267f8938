#include "support/bench_report.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

namespace jkestrune::bench {
namespace {

// Prints as the console reporter does and keeps every repetition's CPU time per iteration. CPU
// time rather than wall time: on a shared machine a benchmark thread is descheduled now and
// then, which wall time counts and CPU time does not (page faults and other kernel work done
// for the thread are counted by both).
class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    explicit CollectingReporter(Results& results) : results_(results) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred && run.iterations > 0) {
                results_.Add(run.run_name.str(),
                             run.cpu_accumulated_time / static_cast<double>(run.iterations));
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

  private:
    Results& results_;
};

}  // namespace

void Results::Add(const std::string& name, double secondsPerIteration) {
    times_[name].push_back(secondsPerIteration);
}

bool Results::Has(const std::string& name) const {
    return times_.count(name) != 0;
}

double Results::Median(const std::string& name) const {
    const auto found = times_.find(name);
    if (found == times_.end()) {
        return 0;
    }
    std::vector<double> times = found->second;
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    return n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
}

double Results::Spread(const std::string& name) const {
    const auto found = times_.find(name);
    if (found == times_.end() || found->second.empty()) {
        return 0;
    }
    const auto [low, high] = std::minmax_element(found->second.begin(), found->second.end());
    return (*high - *low) / Median(name);
}

double Results::WorstSpread() const {
    double worst = 0;
    for (const auto& [name, times] : times_) {
        worst = std::max(worst, Spread(name));
    }
    return worst;
}

size_t Results::Repetitions() const {
    size_t most = 0;
    for (const auto& [name, times] : times_) {
        most = std::max(most, times.size());
    }
    return most;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

int RunAndReport(int argc, char** argv, const TableWriter& writeTables) {
    benchmark::Initialize(&argc, argv);
    std::string reportPath;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--report=", 9) == 0) {
            reportPath = argv[i] + 9;
        } else {
            std::cerr << "unknown argument: " << argv[i] << "\n";
            return 2;
        }
    }
    Results results;
    CollectingReporter reporter(results);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    if (reportPath.empty()) {
        writeTables(results, std::cout);
        return 0;
    }
    std::ofstream out(reportPath);
    writeTables(results, out);
    return out ? 0 : 1;
}

}  // namespace jkestrune::bench
