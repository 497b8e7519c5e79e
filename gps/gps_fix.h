#pragma once
// A GPS fix and the latest one, shared between the thread that reads gpsd and the threads that
// stamp poll cycles. A fix counts as fresh for 2 s after gpsd first reported it; a fix reported
// again with the same time does not become fresh again, so an old position is never repeated.

#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <optional>

#include "radio/position.h"

namespace gps {

// Where the link to gpsd stands, as the window shows it.
enum class GpsState { off, noGpsd, noFix, fix2D, fix3D };

// A fix is a position as the cycle record carries it.
using Fix = radio::Position;

inline constexpr std::chrono::seconds kFreshFor{2};
// A count of satellites holds this long after gpsd's sky report (receivers send it every few
// seconds at most).
inline constexpr std::chrono::seconds kSkyFor{10};

// What a receiver on Earth can report: an altitude from below the Dead Sea's shore and the
// deepest open pits up to a high balloon, a horizontal error estimate of up to 10 km, a fix time
// from the GPS epoch (1980-01-06) to 2100. Outside them, the altitude or the error is unknown.
inline constexpr double kLowestAltitude = -1000;
inline constexpr double kHighestAltitude = 50000;
inline constexpr double kLargestHorizontalError = 10000;
inline constexpr std::int64_t kEarliestFixTime = 315'964'800;  // seconds since 1970
inline constexpr std::int64_t kLatestFixTime = 4'102'444'800;

// A fix time from gpsd's seconds and nanoseconds since 1970: the epoch when gpsd gave none (0),
// nothing when it is outside the years above (such a report is no usable fix).
std::optional<std::chrono::system_clock::time_point> FixTimeOf(std::int64_t seconds, std::int64_t nanoseconds);

// The state as an indicator shows it: the state, the latest usable fix (fresh or grown old) and
// how long ago gpsd first reported it, and the satellites of gpsd's latest sky report.
struct GpsStatus {
  GpsState state = GpsState::off;
  std::optional<Fix> last;                    // since gpsd last answered; kept through reports of no fix
  std::chrono::steady_clock::duration age{};  // of last, from its first report
  std::optional<int> satellitesUsed;          // in the fix
  std::optional<int> satellitesVisible;       // seen in the sky
  // A fix held once, no longer fresh.
  bool Stale() const { return state == GpsState::noFix && last.has_value(); }
};

class LatestFix {
 public:
  using Clock = std::chrono::steady_clock;

  // Whether gpsd answers. Losing it forgets the fix.
  void SetLinked(bool linked);
  // A report of gpsd: a 2D or 3D fix with coordinates on the globe is kept (an altitude or error
  // beyond the bounds above becomes unknown), anything else (no fix) forgets the one held.
  // received is when it arrived.
  void Report(const Fix& fix, Clock::time_point received);
  // A sky report of gpsd: satellites used in the fix and seen (negative: not reported).
  void ReportSky(int used, int visible, Clock::time_point received);
  // The fix held, if gpsd first reported it no more than kFreshFor before now.
  std::optional<Fix> Fresh(Clock::time_point now = Clock::now()) const;
  // off until the first SetLinked; then noGpsd, noFix (no fresh fix), fix2D or fix3D.
  GpsState State(Clock::time_point now = Clock::now()) const;
  GpsStatus Status(Clock::time_point now = Clock::now()) const;

 private:
  GpsState StateLocked(Clock::time_point now) const;

  mutable std::mutex mutex_;
  bool started_ = false;
  bool linked_ = false;
  std::optional<Fix> fix_;
  // The time of the last fix reported and when it was first reported: kept through reports of
  // no fix, so that the same fix coming back is not fresh again.
  std::chrono::system_clock::time_point lastFixTime_{};
  Clock::time_point firstReported_{};
  std::optional<Fix> last_;  // the latest usable fix, however old
  std::optional<int> satellitesUsed_, satellitesVisible_;
  Clock::time_point skyReported_{};
};

}  // namespace gps
