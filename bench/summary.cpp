#include "bench/summary.h"

#include <unistd.h>

#include <cstdio>

namespace {

double ToMs(double time, benchmark::TimeUnit unit) {
  switch (unit) {
    case benchmark::kNanosecond: return time / 1e6;
    case benchmark::kMicrosecond: return time / 1e3;
    case benchmark::kMillisecond: return time;
    case benchmark::kSecond: return time * 1e3;
  }
  return time;
}

}  // namespace

MedianReporter::MedianReporter()
    : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

void MedianReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.error_occurred) continue;
    bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
    bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
    if (!median && !single) continue;
    Figures figures;
    figures.realMs = ToMs(run.GetAdjustedRealTime(), run.time_unit);
    for (const auto& [key, counter] : run.counters) figures.counters[key] = counter.value;
    medians_[run.run_name.function_name] = figures;
  }
}

const MedianReporter::Figures* MedianReporter::Find(const std::string& name) const {
  auto found = medians_.find(name);
  return found == medians_.end() ? nullptr : &found->second;
}
