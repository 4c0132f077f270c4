// The usual console output of Google Benchmark, keeping each benchmark's
// median (or its one run, without --benchmark_repetitions) so that the
// program can print a table of what matters once everything has run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>

class MedianReporter : public benchmark::ConsoleReporter {
 public:
  MedianReporter();  // colours only on a terminal
  void ReportRuns(const std::vector<Run>& runs) override;

  struct Figures {
    double realMs = -1;                      // wall time per iteration
    std::map<std::string, double> counters;  // as reported, rates per second
  };
  // The figures of the benchmark registered as `name`, or null when it
  // did not run (filtered out, or failed).
  const Figures* Find(const std::string& name) const;

 private:
  std::map<std::string, Figures> medians_;
};
