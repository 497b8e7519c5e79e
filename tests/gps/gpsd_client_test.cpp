// The gpsd client against Debian's gpsd reading a recorded drive through a pseudo-terminal: the
// fixes arrive, a lost fix and a stopped gpsd leave no position, and no gpsd at all is told.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <mutex>
#include <vector>

#include "gps/gps_link.h"
#include "tests/support/gpsd_process.h"

namespace {

using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(20ms);
  }
  return condition();
}

class LinkLog {
 public:
  void Add(bool linked) {
    std::lock_guard lock(mutex_);
    states_.push_back(linked);
  }
  std::vector<bool> States() const {
    std::lock_guard lock(mutex_);
    return states_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<bool> states_;
};

TEST(DriveFile, EverySentenceHasItsChecksumAndEverySecondItsRmc) {
  int bad = -1;
  const auto drive = testsupport::ReadNmeaDrive(GSMMON_DRIVE_NMEA, &bad);
  EXPECT_EQ(bad, 0);
  ASSERT_EQ(drive.size(), 60u);
  int withoutFix = 0;
  for (const auto& group : drive) {
    EXPECT_EQ(group.sentences.size(), 3u);
    withoutFix += group.hasFix ? 0 : 1;
  }
  EXPECT_EQ(withoutFix, 6);  // the tunnel
}

TEST(GpsdClient, FollowsGpsdThroughALostFixAndItsEnd) {
  const auto drive = testsupport::ReadNmeaDrive(GSMMON_DRIVE_NMEA);
  ASSERT_EQ(drive.size(), 60u);
  testsupport::NmeaFeeder feeder;
  ASSERT_TRUE(feeder.Opened());
  testsupport::GpsdProcess gpsd(feeder.DevicePath());
  if (!gpsd.Started()) GTEST_SKIP() << "gpsd cannot be started here";

  auto log = std::make_shared<LinkLog>();
  gps::GpsLink link;
  link.Start(*gps::ParseGpsdAddress(gpsd.Address()), [log](bool linked) { log->Add(linked); });
  ASSERT_TRUE(WaitFor([&] { return link.State() == gps::GpsState::noFix; }, 5s));

  // Four seconds of fixes, four without (the tunnel), two with again.
  std::vector<testsupport::NmeaGroup> groups(drive.begin(), drive.begin() + 4);
  groups.insert(groups.end(), drive.begin() + 30, drive.begin() + 34);
  groups.insert(groups.end(), drive.begin() + 36, drive.begin() + 38);
  feeder.Start(groups, 1s);

  ASSERT_TRUE(WaitFor([&] { return link.Fresh().has_value(); }, 5s));
  const gps::Fix fix = *link.Fresh();
  EXPECT_EQ(fix.mode, 3);
  EXPECT_TRUE(std::isfinite(fix.altitude));
  EXPECT_TRUE(std::isfinite(fix.horizontalError));
  bool known = false;
  for (const auto& fed : feeder.Fed()) {
    if (fed.fixTime == fix.time) {
      known = true;
      EXPECT_NEAR(fix.latitude, fed.group.latitude, 1e-6);
      EXPECT_NEAR(fix.longitude, fed.group.longitude, 1e-6);
    }
  }
  EXPECT_TRUE(known) << "a position that was never fed";
  EXPECT_EQ(link.State(), gps::GpsState::fix3D);

  // In the tunnel the position goes at once: gpsd reports the lost fix.
  ASSERT_TRUE(WaitFor([&] { return feeder.Fed().size() >= 5; }, 10s));
  EXPECT_TRUE(WaitFor([&] { return !link.Fresh() && link.State() == gps::GpsState::noFix; }, 1500ms));
  // Out of the tunnel the position comes back; looked for while fixes still arrive, since the
  // last one is fresh for only two seconds however late this thread gets to look.
  ASSERT_TRUE(WaitFor([&] { return feeder.Fed().size() >= 9; }, 10s));
  EXPECT_TRUE(WaitFor([&] { return link.Fresh().has_value(); }, 3s));
  ASSERT_TRUE(feeder.WaitDone(15s));

  // The drive has ended: the last fix grows old; then gpsd goes away.
  EXPECT_TRUE(WaitFor([&] { return !link.Fresh(); }, 4s));
  gpsd.Stop();
  EXPECT_TRUE(WaitFor([&] { return link.State() == gps::GpsState::noGpsd; }, 3s));
  EXPECT_TRUE(WaitFor(
      [&] {
        return log->States() == std::vector<bool>{true, false};
      },
      1s))
      << testing::PrintToString(log->States());
}

// A receiver that lists its satellites (GSV beside GSA): gpsd's sky report gives the counts.
TEST(GpsdClient, SatellitesOfGpsdsSkyReport) {
  auto drive = testsupport::ReadNmeaDrive(GSMMON_DRIVE_NMEA);
  ASSERT_EQ(drive.size(), 60u);
  testsupport::NmeaFeeder feeder;
  ASSERT_TRUE(feeder.Opened());
  testsupport::GpsdProcess gpsd(feeder.DevicePath());
  if (!gpsd.Started()) GTEST_SKIP() << "gpsd cannot be started here";
  gps::GpsLink link;
  link.Start(*gps::ParseGpsdAddress(gpsd.Address()));
  ASSERT_TRUE(WaitFor([&] { return link.State() == gps::GpsState::noFix; }, 5s));
  EXPECT_FALSE(link.Status().satellitesUsed) << "none before a sky report";

  std::vector<testsupport::NmeaGroup> groups(drive.begin(), drive.begin() + 6);
  for (auto& group : groups) {
    group.sentences.insert(group.sentences.end(), {"GPGSV,3,1,11,02,45,100,40,05,30,200,38,07,60,050,42,09,20,300,35",
                                                   "GPGSV,3,2,11,13,50,120,41,16,10,220,30,20,70,010,44,26,25,260,36",
                                                   "GPGSV,3,3,11,29,35,150,39,30,15,330,33,31,05,010,"});
  }
  feeder.Start(groups, 1s);
  ASSERT_TRUE(WaitFor([&] { return link.Status().satellitesVisible.has_value() && link.Fresh(); }, 8s));
  const gps::GpsStatus status = link.Status();
  EXPECT_EQ(status.state, gps::GpsState::fix3D);
  EXPECT_EQ(status.satellitesUsed, 10);  // the GSA's list
  EXPECT_EQ(status.satellitesVisible, 11);
  EXPECT_LE(status.age, gps::kFreshFor);
  feeder.Stop();
}

TEST(GpsdClient, NoGpsdIsToldOnceAndStoppingNeverWaits) {
  auto log = std::make_shared<LinkLog>();
  gps::GpsLink link;
  EXPECT_EQ(link.State(), gps::GpsState::off);
  const int port = testsupport::FreeLoopbackPort();
  link.Start({"127.0.0.1", std::to_string(port)}, [log](bool linked) { log->Add(linked); });
  EXPECT_EQ(link.State(), gps::GpsState::noGpsd);
  // Retried every second, told only once.
  std::this_thread::sleep_for(2500ms);
  EXPECT_EQ(log->States(), std::vector<bool>{false});
  EXPECT_FALSE(link.Fresh());
  EXPECT_EQ(link.Address()->port, std::to_string(port));

  const auto before = std::chrono::steady_clock::now();
  link.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 100ms);
  EXPECT_EQ(link.State(), gps::GpsState::off);
  EXPECT_FALSE(link.Address());
}

}  // namespace
