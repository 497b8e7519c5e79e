#pragma once
// A drive as the map draws it: each poll cycle that has a position, with its time on the
// history's axis and its serving cell, and the run's events placed where the drive was when they
// happened. Not thread-safe: one thread (the window's) feeds and reads it.

#include <optional>
#include <string>
#include <vector>

#include "history/cell_events.h"
#include "history/cell_history.h"
#include "log/log_verdict.h"
#include "map/web_mercator.h"
#include "radio/cycle.h"

namespace map {

struct TrackPoint {
  LatLon place;
  double time = 0;  // on the history's axis (seconds since the epoch, or the cycle's number)
  long cycle = 0;   // the cycle's number
  std::optional<radio::Cell> serving;
  int neighbours = 0;
};

struct TrackEvent {
  LatLon place;
  double time = 0;  // on the history's axis
  history::CellEvent event;
};

struct TrackBounds {
  LatLon southWest, northEast;
};

class DriveTrack {
 public:
  using Axis = history::CellHistory::Axis;

  explicit DriveTrack(Axis axis = Axis::time) : axis_(axis) {}
  Axis AxisKind() const { return axis_; }
  void Clear(Axis axis);

  // One poll cycle at time on the axis; one without a position adds no point.
  void AddCycle(double time, const radio::Cycle& cycle);
  // An event at time: at the newest point's place, or, before the first point, at the first
  // point's once it comes.
  void AddEvent(double time, history::CellEvent event);

  const std::vector<TrackPoint>& Points() const { return points_; }
  const std::vector<TrackEvent>& Events() const { return events_; }
  std::optional<TrackBounds> Bounds() const;
  // Two points are joined by a line unless the drive was not placed for longer than this between
  // them (seconds, or cycles on a cycle-number axis).
  bool Joined(std::size_t before, std::size_t after) const;

 private:
  Axis axis_;
  std::vector<TrackPoint> points_;
  std::vector<TrackEvent> events_;
  std::vector<TrackEvent> unplaced_;
};

struct TrackLoadResult {
  bool ok = false;    // the log was read to its end (whole, or cut short after its last cycle)
  std::string error;  // the Russian message (Windows-1251) when !ok
  long cycles = 0;
};

// Reads a log's cycles and events into track (cleared first), on the axis its history window uses:
// the cycles' times when the log has time records, their numbers otherwise. Reading stops at
// damage; the cycles before it stay.
TrackLoadResult LoadDriveTrack(const std::string& fileName, DriveTrack& track);

}  // namespace map
