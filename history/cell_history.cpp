#include "history/cell_history.h"

#include <algorithm>
#include <cmath>

#include "log/log_reader.h"
#include "log/log_record.h"
#include "log/log_viewer.h"
#include "parser/cycle_fields.h"
#include "parser/measurement_fields.h"
#include "survey/cycle_reader.h"
#include "survey/log_cycle.h"

namespace history {
namespace {

// The texts a cell's legend line shows, as the window shows them.
std::string IdText(const radio::Cell& cell) {
  const std::optional<int> id = cell.PhysicalId();
  if (!id) return {};
  if (cell.tech() == radio::Tech::gsm) return std::to_string(*id / 8) + "." + std::to_string(*id % 8);
  return std::to_string(*id);
}

std::string BandText(const std::string& band) {
  const std::string_view gsm = parser::BandText(band);
  return gsm.empty() ? band : std::string(gsm);
}

void KeepText(std::string& kept, std::string text) {
  if (!text.empty()) kept = std::move(text);
}

}  // namespace

bool HasCells(const radio::Cycle& cycle) {
  return cycle.serving || !cycle.secondary.empty() || !cycle.neighbours.empty();
}

double AxisTime(std::chrono::system_clock::time_point time) {
  return std::chrono::duration<double>(time.time_since_epoch()).count();
}

void CellHistory::Clear(Axis axis) { *this = CellHistory(axis); }

int CellHistory::FindTrace(const TraceKey& key) const {
  for (std::size_t i = 0; i < traces_.size(); ++i)
    if (traces_[i].key == key) return static_cast<int>(i);
  return -1;
}

void CellHistory::AddCycle(double time, const radio::Cycle& cycle) {
  if (!times_.empty() && !(time >= times_.back())) time = times_.back();
  const auto index = static_cast<std::uint32_t>(times_.size());
  times_.push_back(time);
  latestServing_.reset();
  const auto add = [&](const radio::Cell& cell, bool serving) {
    const std::optional<double> level = cell.LevelDbm();
    if (!cell.channel || !level || !std::isfinite(*level)) return;
    const auto dbm = static_cast<int>(std::lround(std::clamp(*level, -128.0, 127.0)));
    const TraceKey key{*cell.channel, cell.PhysicalId().value_or(-1), cell.tech()};
    int found = FindTrace(key);
    if (found < 0) {
      found = static_cast<int>(traces_.size());
      Trace trace;
      trace.key = key;
      trace.colour = found;
      traces_.push_back(std::move(trace));
    }
    Trace& trace = traces_[static_cast<std::size_t>(found)];
    // A cell reported twice in one cycle (serving and as a neighbour) keeps one point, the serving one.
    if (!trace.cycles.empty() && trace.cycles.back() == index) return;
    KeepText(trace.channel, std::to_string(*cell.channel));
    KeepText(trace.id, IdText(cell));
    if (cell.cellId) KeepText(trace.cell, std::to_string(*cell.cellId));
    KeepText(trace.band, BandText(cell.band));
    trace.cycles.push_back(index);
    trace.levels.push_back(static_cast<std::int8_t>(dbm));
    trace.serving.push_back(serving ? 1 : 0);
    if (serving && !latestServing_) latestServing_ = dbm;
  };
  if (cycle.serving) add(*cycle.serving, true);
  for (const radio::Cell& cell : cycle.secondary) add(cell, true);
  for (const radio::Cell& cell : cycle.neighbours) add(cell, false);
}

void CellHistory::AddEvent(double time, CellEvent event) { markers_.push_back({time, std::move(event)}); }

void CellHistory::Decimate(const Trace& trace, double from, double to, int columns, std::vector<Column>& out,
                           bool servingOnly) const {
  out.assign(static_cast<std::size_t>(std::max(columns, 0)), Column{});
  if (columns <= 0 || !(to > from) || trace.cycles.empty()) return;
  const auto timeOf = [this](std::uint32_t cycle) { return times_[cycle]; };
  const auto begin = std::lower_bound(trace.cycles.begin(), trace.cycles.end(), from,
                                      [&](std::uint32_t cycle, double t) { return timeOf(cycle) < t; });
  const double scale = columns / (to - from);
  for (auto it = begin; it != trace.cycles.end(); ++it) {
    const double t = timeOf(*it);
    if (t >= to) break;
    const auto column = std::min(static_cast<std::size_t>((t - from) * scale), out.size() - 1);
    const auto i = static_cast<std::size_t>(it - trace.cycles.begin());
    if (servingOnly && trace.serving[i] == 0) continue;
    const std::int8_t level = trace.levels[i];
    Column& c = out[column];
    if (!c.any) {
      c.any = true;
      c.min = c.max = c.first = level;
      c.firstCycle = *it;
    }
    c.min = std::min(c.min, level);
    c.max = std::max(c.max, level);
    c.last = level;
    c.lastCycle = *it;
    c.sum += level;
    ++c.count;
    c.serving = c.serving || trace.serving[i] != 0;
  }
}

long CellHistory::PointNear(const Trace& trace, double time, double maxDistance) const {
  if (trace.cycles.empty()) return -1;
  const auto it = std::lower_bound(trace.cycles.begin(), trace.cycles.end(), time,
                                   [this](std::uint32_t cycle, double t) { return times_[cycle] < t; });
  long best = -1;
  double bestDistance = maxDistance;
  for (auto candidate : {it, it == trace.cycles.begin() ? it : it - 1}) {
    if (candidate == trace.cycles.end()) continue;
    const double distance = std::abs(times_[*candidate] - time);
    if (distance <= bestDistance) {
      bestDistance = distance;
      best = static_cast<long>(candidate - trace.cycles.begin());
    }
  }
  return best;
}

std::size_t CellHistory::MemoryBytes() const {
  std::size_t bytes =
      times_.capacity() * sizeof(double) + traces_.capacity() * sizeof(Trace) + markers_.capacity() * sizeof(Marker);
  for (const Trace& t : traces_)
    bytes += t.cycles.capacity() * sizeof(std::uint32_t) + t.levels.capacity() + t.serving.capacity();
  return bytes;
}

LoadResult LoadHistory(const std::string& fileName, CellHistory& history) {
  LoadResult result;
  survey::CycleAssembler assembler;
  std::vector<CellEvent> pending;  // events of the cycle being read
  bool axisDecided = false;
  const auto placeEvents = [&](double cycleAxis) {
    for (CellEvent& event : pending) {
      const double at = history.AxisKind() == CellHistory::Axis::time ? AxisTime(event.time) : cycleAxis;
      history.AddEvent(at, std::move(event));
    }
    pending.clear();
  };
  bool mismatch = false;
  const gsmlog::LogRead read = gsmlog::ReadLogRecords(fileName, [&](const gsmlog::LogRecord& record) {
    // The verdict is decided at the first mismatching seal; nothing after it is the file's.
    if (record.check == gsmlog::ChecksumCheck::mismatch) {
      mismatch = true;
      return false;
    }
    if (record.code == gsmlog::kCycleEventCode) {
      if (auto event = ParseEventRecord(record.text)) pending.push_back(std::move(*event));
      return true;
    }
    if (!assembler.Add(record)) return true;
    const survey::SurveyCycle& cycle = assembler.Cycle();
    std::optional<std::chrono::system_clock::time_point> time;
    if (cycle.time) time = survey::ToTimePoint(*cycle.time);
    if (!axisDecided) {
      history.Clear(time ? CellHistory::Axis::time : CellHistory::Axis::cycleNumber);
      axisDecided = true;
    }
    double at = static_cast<double>(cycle.number);
    if (history.AxisKind() == CellHistory::Axis::time) at = time ? AxisTime(*time) : history.LastTime();
    history.AddCycle(at, survey::CycleOfLog(cycle));
    placeEvents(at);
    ++result.cycles;
    return true;
  });
  if (!axisDecided) history.Clear(CellHistory::Axis::cycleNumber);
  // The connection's end comes after the last cycle.
  placeEvents(history.LastTime());
  if (!read.ok) {
    result.error = read.error;
    return result;
  }
  result.verdict = read.verdict;
  if (!read.verdict.ReadToEnd()) {
    result.error = gsmlog::VerdictMessage(fileName, read.verdict);
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace history
