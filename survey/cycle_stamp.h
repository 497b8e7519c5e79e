#pragma once
// The stamp of a poll cycle: when its values were complete and, when fresh, where. Taken once per
// cycle by the front end, so the log, the printed output and any other consumer agree.

#include <chrono>
#include <optional>

#include "gps/gps_fix.h"
#include "radio/cycle.h"

namespace gsmlog {
class TLogWriter;
}

namespace survey {

struct CycleStamp {
  std::chrono::system_clock::time_point time{};
  std::optional<gps::Fix> fix;  // only a fresh fix
};

// The stamp of a cycle ending now, with the fresh fix given (nothing: no position).
CycleStamp StampCycle(std::optional<gps::Fix> fresh);

// Holds the cycle's time record and, with a fix, its position record in writer, to go out with
// the cycle's seal. Does nothing while no log is open.
void HoldCycleRecords(gsmlog::TLogWriter& writer, const CycleStamp& stamp);
// The same for a cycle's own time and position.
void HoldCycleRecords(gsmlog::TLogWriter& writer, const radio::Cycle& cycle);

}  // namespace survey
