// Runs the registered Google Benchmark cases and turns their repetitions into ratio tables:
// every figure a benchmark reports is compared with a baseline measured in the same run, since
// the machines these run on are shared and their timings drift from one run to the next.
#pragma once

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace jkestrune::bench {

// CPU seconds per iteration of every repetition of every case, by case name.
class Results {
  public:
    void Add(const std::string& name, double secondsPerIteration);

    bool Has(const std::string& name) const;
    // The median over the repetitions; 0 when the case did not run.
    double Median(const std::string& name) const;
    // (slowest - fastest) / median over the repetitions, as a measure of the noise.
    double Spread(const std::string& name) const;
    // The largest spread of any case, and the number of repetitions.
    double WorstSpread() const;
    size_t Repetitions() const;

  private:
    std::map<std::string, std::vector<double>> times_;
};

// Writes markdown tables from the results.
using TableWriter = std::function<void(const Results&, std::ostream&)>;

// Initialises Google Benchmark from the command line, runs the selected cases (printing them as
// usual), and then writes the tables: to the file named by --report=FILE, else to stdout.
int RunAndReport(int argc, char** argv, const TableWriter& writeTables);

// "1.23" style formatting for the tables.
std::string Fixed(double value, int decimals);

}  // namespace jkestrune::bench
