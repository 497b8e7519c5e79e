#pragma once
// Every cell's level over a run: one trace per cell, a cell being its technology, channel and
// identity within the channel (BSIC, PSC or PCI; not its rank in the neighbour report), so a
// neighbour that leaves and comes back keeps its trace, and the serving cell's points sit on its
// own trace, marked as serving. The level is the technology's own on one dBm axis: RxLev, RSCP,
// RSRP. Points are kept in compact arrays (6 bytes each, whole dBm from -128 to 127); a redraw asks
// for the points of a time range folded into pixel columns (min and max per column). Not
// thread-safe: one thread (the window's) feeds and reads it.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/cell_events.h"
#include "log/log_verdict.h"
#include "radio/cycle.h"
#include "survey/cycle_reader.h"

namespace history {

// A cell's identity: channel, BSIC (NCC × 8 + BCC), PSC or PCI (-1 when the cycle had none), and
// technology.
struct TraceKey {
  int channel = 0;
  int id = -1;
  radio::Tech tech = radio::Tech::gsm;
  friend bool operator==(const TraceKey&, const TraceKey&) = default;
};

struct Trace {
  TraceKey key;
  // The latest texts known, for the legend: channel, identity (a BSIC as "7.3"), cell identity and
  // band as the window shows them ("900" for GSM 900); "" when never known.
  std::string channel, id, cell, band;
  int colour = 0;                     // the order in which the cell first appeared, from 0
  std::vector<std::uint32_t> cycles;  // the cycle of each point, ascending
  std::vector<std::int8_t> levels;    // dBm
  std::vector<std::uint8_t> serving;  // 1 where the cell was the serving cell
};

struct Marker {
  double time = 0;  // on the history's axis
  CellEvent event;
};

// One pixel column of a trace: the lowest and highest level of its points, its first and last
// point (for the line to the next column), their sum and count (for the mean) and whether any of
// them was a serving cell's.
struct Column {
  bool any = false;
  bool serving = false;
  std::int8_t min = 0, max = 0, first = 0, last = 0;
  std::uint32_t firstCycle = 0, lastCycle = 0;
  int sum = 0, count = 0;
};

class CellHistory {
 public:
  // The axis: seconds since the epoch, or cycle numbers for a log without cycle times.
  enum class Axis { time, cycleNumber };

  explicit CellHistory(Axis axis = Axis::time) : axis_(axis) {}
  Axis AxisKind() const { return axis_; }
  void Clear(Axis axis);

  // One poll cycle at time (never before the last one: an earlier time is taken as the last): its
  // serving cell and the cells beside it (the NR leg of EN-DC), marked as serving, and its
  // neighbours. A cell without a channel or a level gives no point.
  void AddCycle(double time, const radio::Cycle& cycle);
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

  // The points of trace with times in [from, to), folded into `columns` equal columns; with
  // servingOnly, only those where the cell was serving.
  void Decimate(const Trace& trace, double from, double to, int columns, std::vector<Column>& out,
                bool servingOnly = false) const;
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

// Seconds since the epoch of a time point, the history's time axis.
double AxisTime(std::chrono::system_clock::time_point time);

// True when the cycle reported any cell (a live cycle without one adds nothing to the history).
bool HasCells(const radio::Cycle& cycle);

struct LoadResult {
  bool ok = false;    // the log was read to its end (whole, or cut short after its last cycle)
  std::string error;  // the Russian message (Windows-1251) when !ok
  long cycles = 0;
  gsmlog::LogVerdict verdict;  // how far the log holds, once read
};

// Reads a log into history (cleared first): each cycle whose seal matched, as the cycle record
// (survey/log_cycle.h: its cells of every technology), on the time axis when the log has cycle
// time records (cycle numbers otherwise), and its event records as markers. Reading stops at
// damage; the cycles before it stay, and the message says where and how many.
LoadResult LoadHistory(const std::string& fileName, CellHistory& history);

}  // namespace history
