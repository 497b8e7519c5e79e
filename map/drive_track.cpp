#include "map/drive_track.h"

#include <algorithm>
#include <utility>

#include "log/log_reader.h"
#include "log/log_record.h"
#include "log/log_viewer.h"
#include "survey/cycle_reader.h"
#include "survey/cycle_stamp.h"
#include "survey/log_cycle.h"

namespace map {

namespace {

// Longer without a position than this and the track breaks: half a minute, or fifty cycles.
constexpr double kLongestTimeGap = 30;
constexpr long kLongestCycleGap = 50;

}  // namespace

void DriveTrack::Clear(Axis axis) {
  axis_ = axis;
  points_.clear();
  events_.clear();
  unplaced_.clear();
}

void DriveTrack::AddCycle(double time, const radio::Cycle& cycle) {
  if (!cycle.position) return;
  const radio::Position& fix = *cycle.position;
  if (!(fix.latitude >= -90 && fix.latitude <= 90 && fix.longitude >= -180 && fix.longitude <= 180)) return;
  TrackPoint point;
  point.place = {fix.latitude, fix.longitude};
  point.time = time;
  point.cycle = cycle.n;
  point.serving = cycle.serving;
  point.neighbours = static_cast<int>(cycle.neighbours.size());
  points_.push_back(std::move(point));
  for (TrackEvent& event : unplaced_) {
    event.place = points_.back().place;
    events_.push_back(std::move(event));
  }
  unplaced_.clear();
}

void DriveTrack::AddEvent(double time, history::CellEvent event) {
  TrackEvent placed{{}, time, std::move(event)};
  if (points_.empty()) {
    unplaced_.push_back(std::move(placed));
    return;
  }
  placed.place = points_.back().place;
  events_.push_back(std::move(placed));
}

std::optional<TrackBounds> DriveTrack::Bounds() const {
  if (points_.empty()) return std::nullopt;
  TrackBounds bounds{points_.front().place, points_.front().place};
  for (const TrackPoint& point : points_) {
    bounds.southWest.latitude = std::min(bounds.southWest.latitude, point.place.latitude);
    bounds.southWest.longitude = std::min(bounds.southWest.longitude, point.place.longitude);
    bounds.northEast.latitude = std::max(bounds.northEast.latitude, point.place.latitude);
    bounds.northEast.longitude = std::max(bounds.northEast.longitude, point.place.longitude);
  }
  return bounds;
}

bool DriveTrack::Joined(std::size_t before, std::size_t after) const {
  const TrackPoint& a = points_[before];
  const TrackPoint& b = points_[after];
  if (axis_ == Axis::cycleNumber) return b.cycle - a.cycle <= kLongestCycleGap;
  return b.time - a.time <= kLongestTimeGap;
}

TrackLoadResult LoadDriveTrack(const std::string& fileName, DriveTrack& track) {
  using Axis = DriveTrack::Axis;
  TrackLoadResult result;
  survey::CycleAssembler assembler;
  std::vector<history::CellEvent> pending;  // events of the cycle being read
  bool axisDecided = false;
  double lastTime = 0;
  const auto placeEvents = [&](double cycleAxis) {
    for (history::CellEvent& event : pending) {
      const double at = track.AxisKind() == Axis::time ? history::AxisTime(event.time) : cycleAxis;
      track.AddEvent(at, std::move(event));
    }
    pending.clear();
  };
  const gsmlog::LogRead read = gsmlog::ReadLogRecords(fileName, [&](const gsmlog::LogRecord& record) {
    if (record.check == gsmlog::ChecksumCheck::mismatch) return false;
    if (record.code == gsmlog::kCycleEventCode) {
      if (auto event = history::ParseEventRecord(record.text)) pending.push_back(std::move(*event));
      return true;
    }
    if (!assembler.Add(record)) return true;
    const survey::SurveyCycle& cycle = assembler.Cycle();
    std::optional<std::chrono::system_clock::time_point> time;
    if (cycle.time) time = survey::ToTimePoint(*cycle.time);
    if (!axisDecided) {
      track.Clear(time ? Axis::time : Axis::cycleNumber);
      axisDecided = true;
    }
    double at = static_cast<double>(cycle.number);
    if (track.AxisKind() == Axis::time) at = time ? history::AxisTime(*time) : lastTime;
    lastTime = at;
    track.AddCycle(at, survey::CycleOfLog(cycle));
    placeEvents(at);
    ++result.cycles;
    return true;
  });
  if (!axisDecided) track.Clear(Axis::cycleNumber);
  placeEvents(lastTime);
  if (!read.ok) {
    result.error = read.error;
    return result;
  }
  if (!read.verdict.ReadToEnd()) {
    result.error = gsmlog::VerdictMessage(fileName, read.verdict);
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace map
