#pragma once
// The events of a log as points of the drive, for the events layer of an export: the log's own
// event records, each with the position of the cycle it came with; a log without any (one
// written before events were logged) gets the events the program's event detector finds in its
// cycles, as the live run would have found them.

#include <optional>
#include <string>
#include <vector>

#include "gps/gps_fix.h"
#include "history/cell_events.h"
#include "survey/cycle_reader.h"

namespace gsmexport {

struct EventPoint {
  history::CellEvent event;     // time: the epoch when not known
  std::string localTime;        // as the log wrote it, with its UTC offset; "" when not known
  long cycle = 0;               // the cycle it came with (for the end of the run: the last one)
  std::optional<gps::Fix> fix;  // that cycle's position
};

class EventCollector {
 public:
  // One cycle of the log, in file order.
  void Add(const survey::SurveyCycle& cycle);
  // The event records after the last cycle.
  void Finish(const std::vector<std::string>& trailing);
  // The log's events, or the detected ones when the log has none.
  const std::vector<EventPoint>& Events() const { return logged_.empty() ? detected_ : logged_; }
  bool Detected() const { return logged_.empty(); }

 private:
  void AddRecord(const std::string& text);

  history::EventDetector detector_;
  std::vector<EventPoint> logged_;
  std::vector<EventPoint> detected_;
  long lastCycle_ = 0;
  std::optional<gps::Fix> lastFix_;
};

}  // namespace gsmexport
