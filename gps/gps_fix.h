#pragma once
// A GPS fix and the latest one, shared between the thread that reads gpsd and the threads that
// stamp poll cycles. A fix counts as fresh for 2 s after gpsd first reported it; a fix reported
// again with the same time does not become fresh again, so an old position is never repeated.

#include <chrono>
#include <cmath>
#include <mutex>
#include <optional>

#include "radio/position.h"

namespace gps {

// Where the link to gpsd stands, as the window shows it.
enum class GpsState { off, noGpsd, noFix, fix2D, fix3D };

// A fix is a position as the cycle record carries it.
using Fix = radio::Position;

inline constexpr std::chrono::seconds kFreshFor{2};

class LatestFix {
 public:
  using Clock = std::chrono::steady_clock;

  // Whether gpsd answers. Losing it forgets the fix.
  void SetLinked(bool linked);
  // A report of gpsd: a 2D or 3D fix with finite coordinates is kept, anything else (no fix)
  // forgets the one held. received is when it arrived.
  void Report(const Fix& fix, Clock::time_point received);
  // The fix held, if gpsd first reported it no more than kFreshFor before now.
  std::optional<Fix> Fresh(Clock::time_point now = Clock::now()) const;
  // off until the first SetLinked; then noGpsd, noFix (no fresh fix), fix2D or fix3D.
  GpsState State(Clock::time_point now = Clock::now()) const;

 private:
  mutable std::mutex mutex_;
  bool started_ = false;
  bool linked_ = false;
  std::optional<Fix> fix_;
  Clock::time_point firstReported_{};
};

}  // namespace gps
