#include "history/cell_statistics.h"

#include <algorithm>

namespace history {

namespace {

// How long cycle lasted on the axis: until the next one, at most kLongestCycle; the last cycle as
// long as the one before it.
double CycleLength(const CellHistory& history, std::uint32_t cycle) {
  if (history.AxisKind() == CellHistory::Axis::cycleNumber) return 1;
  const std::size_t count = history.CycleCount();
  if (count < 2) return 0;
  const std::uint32_t from = cycle + 1 < count ? cycle : cycle - 1;
  return std::min(history.TimeOf(from + 1) - history.TimeOf(from), kLongestCycle);
}

}  // namespace

std::vector<CellStatistics> ComputeStatistics(const CellHistory& history) {
  std::vector<CellStatistics> result;
  const auto& traces = history.Traces();
  for (std::size_t t = 0; t < traces.size(); ++t) {
    const Trace& trace = traces[t];
    if (trace.cycles.empty()) continue;
    CellStatistics s;
    s.trace = static_cast<int>(t);
    s.firstSeen = history.TimeOf(trace.cycles.front());
    s.lastSeen = history.TimeOf(trace.cycles.back());
    s.cycles = static_cast<long>(trace.cycles.size());
    s.minDbm = *std::min_element(trace.levels.begin(), trace.levels.end());
    s.maxDbm = *std::max_element(trace.levels.begin(), trace.levels.end());
    long sum = 0;
    for (std::size_t i = 0; i < trace.cycles.size(); ++i) {
      sum += trace.levels[i];
      if (trace.serving[i] == 0) continue;
      ++s.servingCycles;
      s.servingSeconds += CycleLength(history, trace.cycles[i]);
    }
    s.meanDbm = static_cast<double>(sum) / static_cast<double>(s.cycles);
    result.push_back(s);
  }
  return result;
}

}  // namespace history
