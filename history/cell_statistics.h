#pragma once
// Each cell's figures over a history: when it was first and last heard, in how many cycles, its
// lowest, mean and highest level, and how long it was the serving cell.

#include <vector>

#include "history/cell_history.h"

namespace history {

struct CellStatistics {
  int trace = 0;                       // its index in CellHistory::Traces()
  double firstSeen = 0, lastSeen = 0;  // on the history's axis
  long cycles = 0;                     // cycles that heard it
  int minDbm = 0, maxDbm = 0;
  double meanDbm = 0;
  long servingCycles = 0;
  // Seconds as the serving cell (each serving cycle lasting until the next cycle, a gap longer than
  // kLongestCycle counting as kLongestCycle); on a cycle-number axis, the serving cycles.
  double servingSeconds = 0;
};

// A longer wait for the next cycle is a pause of the monitor, not time spent on the cell.
inline constexpr double kLongestCycle = 30;

// One entry per trace with at least one point, in the order of the traces.
std::vector<CellStatistics> ComputeStatistics(const CellHistory& history);

}  // namespace history
