#include "history/cell_history.h"

#include <algorithm>
#include <cmath>

#include "log/log_reader.h"
#include "log/log_record.h"
#include "parser/measurement_fields.h"

namespace history {
namespace {

std::optional<int> Number(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const auto value = parser::ValueNumber(text);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return static_cast<int>(std::lround(*value));
}

void KeepText(std::string& kept, const std::string& text) {
  if (!text.empty() && text != parser::kNotAvailable) kept = text;
}

}  // namespace

int BsicNumber(std::string_view text) {
  if (text.size() != 3 || text[1] != '.' || text[0] < '0' || text[0] > '7' || text[2] < '0' || text[2] > '7') return -1;
  return (text[0] - '0') * 8 + (text[2] - '0');
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

void CellHistory::AddCycle(double time, const std::array<survey::CellTexts, survey::kCycleCells>& cells) {
  if (!times_.empty() && !(time >= times_.back())) time = times_.back();
  const auto cycle = static_cast<std::uint32_t>(times_.size());
  times_.push_back(time);
  latestServing_.reset();
  for (std::size_t index = 0; index < cells.size(); ++index) {
    const survey::CellTexts& c = cells[index];
    const auto channel = Number(c.channel);
    const auto level = Number(c.level);
    if (!channel || !level) continue;
    const TraceKey key{*channel, BsicNumber(c.bsic)};
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
    if (!trace.cycles.empty() && trace.cycles.back() == cycle) continue;
    KeepText(trace.channel, c.channel);
    KeepText(trace.bsic, c.bsic);
    KeepText(trace.cell, c.cell);
    KeepText(trace.band, c.band);
    trace.cycles.push_back(cycle);
    trace.levels.push_back(static_cast<std::int8_t>(std::clamp(*level, -128, 127)));
    trace.serving.push_back(index == 0 ? 1 : 0);
    if (index == 0) latestServing_ = *level;
  }
}

void CellHistory::AddEvent(double time, CellEvent event) { markers_.push_back({time, std::move(event)}); }

void CellHistory::Decimate(const Trace& trace, double from, double to, int columns, std::vector<Column>& out) const {
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

void CycleCollector::Field(int fieldCode, int cellIndex, const std::string& text) {
  if (cellIndex < 0 || cellIndex >= survey::kCycleCells || text == parser::kNotAvailable) return;
  survey::CellTexts& cell = cells_[static_cast<std::size_t>(cellIndex)];
  switch (fieldCode) {
    case parser::fcChannel:
      cell.channel = text;
      break;
    case parser::fcBaseStation:
      cell.bsic = text;
      break;
    case parser::fcCell:
      cell.cell = text;
      break;
    case parser::fcRxLevel:
      cell.level = text;
      break;
    case parser::fcFreqBand:
      cell.band = text;
      break;
    default:
      return;
  }
  any_ = true;
}

void CycleCollector::EndCycle(CellHistory& history, double time) {
  if (any_) history.AddCycle(time, cells_);
  cells_ = {};
  any_ = false;
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
    history.AddCycle(at, cycle.cells);
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
