#include "gps/gps_fix.h"

namespace gps {

std::optional<std::chrono::system_clock::time_point> FixTimeOf(std::int64_t seconds, std::int64_t nanoseconds) {
  if (seconds == 0 && nanoseconds == 0) return std::chrono::system_clock::time_point{};
  if (seconds < kEarliestFixTime || seconds >= kLatestFixTime || nanoseconds < 0 || nanoseconds >= 1'000'000'000) {
    return std::nullopt;
  }
  return std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
      std::chrono::seconds(seconds) + std::chrono::nanoseconds(nanoseconds)));
}

void LatestFix::SetLinked(bool linked) {
  std::lock_guard lock(mutex_);
  started_ = true;
  linked_ = linked;
  if (!linked) {
    fix_.reset();
    last_.reset();
    satellitesUsed_.reset();
    satellitesVisible_.reset();
  }
}

void LatestFix::Report(const Fix& fix, Clock::time_point received) {
  std::lock_guard lock(mutex_);
  const bool usable = (fix.mode == 2 || fix.mode == 3) && std::isfinite(fix.latitude) && std::isfinite(fix.longitude) &&
                      std::abs(fix.latitude) <= 90 && std::abs(fix.longitude) <= 180;
  if (!usable) {
    fix_.reset();
    return;
  }
  // gpsd reports one fix several times as its sentences arrive (2D, then 3D with the altitude);
  // the age counts from the first report of that fix time.
  const bool sameFix = fix.time == lastFixTime_ && fix.time != std::chrono::system_clock::time_point{};
  if (!sameFix) firstReported_ = received;
  lastFixTime_ = fix.time;
  fix_ = fix;
  if (!(fix.altitude >= kLowestAltitude && fix.altitude <= kHighestAltitude)) fix_->altitude = NAN;
  if (!(fix.horizontalError >= 0 && fix.horizontalError <= kLargestHorizontalError)) fix_->horizontalError = NAN;
  last_ = fix_;
}

void LatestFix::ReportSky(int used, int visible, Clock::time_point received) {
  std::lock_guard lock(mutex_);
  satellitesUsed_ = used >= 0 ? std::optional<int>(used) : std::nullopt;
  satellitesVisible_ = visible >= 0 ? std::optional<int>(visible) : std::nullopt;
  skyReported_ = received;
}

std::optional<Fix> LatestFix::Fresh(Clock::time_point now) const {
  std::lock_guard lock(mutex_);
  if (!fix_ || now - firstReported_ > kFreshFor) return std::nullopt;
  return fix_;
}

GpsState LatestFix::State(Clock::time_point now) const {
  std::lock_guard lock(mutex_);
  return StateLocked(now);
}

GpsStatus LatestFix::Status(Clock::time_point now) const {
  std::lock_guard lock(mutex_);
  GpsStatus status;
  status.state = StateLocked(now);
  if (last_) {
    status.last = last_;
    status.age = now - firstReported_;
  }
  if (linked_ && now - skyReported_ <= kSkyFor) {
    status.satellitesUsed = satellitesUsed_;
    status.satellitesVisible = satellitesVisible_;
  }
  return status;
}

GpsState LatestFix::StateLocked(Clock::time_point now) const {
  if (!started_) return GpsState::off;
  if (!linked_) return GpsState::noGpsd;
  if (!fix_ || now - firstReported_ > kFreshFor) return GpsState::noFix;
  return fix_->mode == 3 ? GpsState::fix3D : GpsState::fix2D;
}

}  // namespace gps
