#pragma once
// Every cell's receive level over a run: one trace per cell, a cell being its channel and BSIC
// (not its rank in the neighbour report), so a neighbour that leaves and comes back keeps its
// trace, and the serving cell's points sit on its own trace, marked as serving. Points are kept in
// compact arrays (6 bytes each); a redraw asks for the points of a time range folded into pixel
// columns (min and max per column). Not thread-safe: one thread (the window's) feeds and reads it.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/cell_events.h"
#include "log/log_verdict.h"
#include "survey/cycle_reader.h"

namespace history {

// A cell's identity: channel and BSIC (NCC × 8 + BCC; -1 when the cycle had none).
struct TraceKey {
  int channel = 0;
  int bsic = -1;
  friend bool operator==(const TraceKey&, const TraceKey&) = default;
};

struct Trace {
  TraceKey key;
  std::string channel, bsic, cell, band;  // the latest texts known (Windows-1251), for the legend
  int colour = 0;                         // the order in which the cell first appeared, from 0
  std::vector<std::uint32_t> cycles;      // the cycle of each point, ascending
  std::vector<std::int8_t> levels;        // dBm
  std::vector<std::uint8_t> serving;      // 1 where the cell was the serving cell
};

struct Marker {
  double time = 0;  // on the history's axis
  CellEvent event;
};

// One pixel column of a trace: the lowest and highest level of its points, its first and last
// point (for the line to the next column) and whether any of them was a serving cell's.
struct Column {
  bool any = false;
  bool serving = false;
  std::int8_t min = 0, max = 0, first = 0, last = 0;
  std::uint32_t firstCycle = 0, lastCycle = 0;
};

class CellHistory {
 public:
  // The axis: seconds since the epoch, or cycle numbers for a log without cycle times.
  enum class Axis { time, cycleNumber };

  explicit CellHistory(Axis axis = Axis::time) : axis_(axis) {}
  Axis AxisKind() const { return axis_; }
  void Clear(Axis axis);

  // One poll cycle at time (never before the last one: an earlier time is taken as the last),
  // its cells as the log or the display gave them (0 serving, 1..6 neighbours). A cell without
  // a channel or a level gives no point.
  void AddCycle(double time, const std::array<survey::CellTexts, survey::kCycleCells>& cells);
  // An event at time on the axis.
  void AddEvent(double time, CellEvent event);

  std::size_t CycleCount() const { return times_.size(); }
  double TimeOf(std::uint32_t cycle) const { return times_[cycle]; }
  double FirstTime() const { return times_.empty() ? 0 : times_.front(); }
  double LastTime() const { return times_.empty() ? 0 : times_.back(); }
  const std::vector<Trace>& Traces() const { return traces_; }
  const std::vector<Marker>& Markers() const { return markers_; }
  // The trace of a cell, or -1.
  int FindTrace(const TraceKey& key) const;
  // The serving level of the last cycle, if it had one.
  std::optional<int> LatestServingLevel() const { return latestServing_; }

  // The points of trace with times in [from, to), folded into `columns` equal columns.
  void Decimate(const Trace& trace, double from, double to, int columns, std::vector<Column>& out) const;
  // The trace's point nearest to time (within maxDistance on the axis), its index or -1.
  long PointNear(const Trace& trace, double time, double maxDistance) const;

  // Bytes held by the arrays (capacity).
  std::size_t MemoryBytes() const;

 private:
  Axis axis_;
  std::vector<double> times_;
  std::vector<Trace> traces_;
  std::vector<Marker> markers_;
  std::optional<int> latestServing_;
};

// Parses a BSIC text "N.B" (NCC.BCC, digits 0..7) into NCC × 8 + BCC; -1 for any other text.
int BsicNumber(std::string_view text);

// Seconds since the epoch of a time point, the history's time axis.
double AxisTime(std::chrono::system_clock::time_point time);

// Gathers one cycle's values as they are displayed (cells 0..6) and hands the cycle to the history
// when it ends.
class CycleCollector {
 public:
  void Field(int fieldCode, int cellIndex, const std::string& text);
  // The cycle ended at time: into history, unless no cell reported anything.
  void EndCycle(CellHistory& history, double time);

 private:
  std::array<survey::CellTexts, survey::kCycleCells> cells_{};
  bool any_ = false;
};

struct LoadResult {
  bool ok = false;    // the log was read to its end (whole, or cut short after its last cycle)
  std::string error;  // the Russian message (Windows-1251) when !ok
  long cycles = 0;
  gsmlog::LogVerdict verdict;  // how far the log holds, once read
};

// Reads a log into history (cleared first): each cycle whose seal matched, on the time axis when
// the log has cycle time records (cycle numbers otherwise), and its event records as markers.
// Reading stops at damage; the cycles before it stay, and the message says where and how many.
LoadResult LoadHistory(const std::string& fileName, CellHistory& history);

}  // namespace history
