// The latest fix and its freshness, fed by hand with a clock of the test's own, and the gpsd
// address forms.

#include "gps/gps_fix.h"

#include <gtest/gtest.h>

#include <limits>
#include <utility>

#include "gps/gps_state_text.h"
#include "gps/gpsd_client.h"

namespace {

using namespace std::chrono_literals;
using Clock = gps::LatestFix::Clock;

gps::Fix MakeFix(int mode, std::chrono::system_clock::time_point time, double latitude = 55.75) {
  gps::Fix fix;
  fix.mode = mode;
  fix.latitude = latitude;
  fix.longitude = 37.61;
  fix.altitude = mode == 3 ? 150.0 : NAN;
  fix.time = time;
  return fix;
}

TEST(LatestFix, FreshForTwoSecondsFromItsFirstReportAndNeverRepeated) {
  gps::LatestFix latest;
  const Clock::time_point t0{std::chrono::seconds(1000)};
  const auto fixTime = std::chrono::system_clock::from_time_t(1'800'000'000);
  EXPECT_EQ(latest.State(t0), gps::GpsState::off);
  latest.SetLinked(true);
  EXPECT_EQ(latest.State(t0), gps::GpsState::noFix);

  latest.Report(MakeFix(2, fixTime), t0);
  ASSERT_TRUE(latest.Fresh(t0 + 1s));
  EXPECT_EQ(latest.State(t0 + 1s), gps::GpsState::fix2D);
  // The same fix completed with its altitude: newer data, but its age still counts from t0.
  latest.Report(MakeFix(3, fixTime), t0 + 1500ms);
  EXPECT_EQ(latest.Fresh(t0 + 2s)->mode, 3);
  EXPECT_EQ(latest.State(t0 + 2s), gps::GpsState::fix3D);
  EXPECT_FALSE(latest.Fresh(t0 + 2001ms));
  EXPECT_EQ(latest.State(t0 + 2001ms), gps::GpsState::noFix);

  // A new fix time is a new fix.
  latest.Report(MakeFix(3, fixTime + 1s, 55.76), t0 + 2500ms);
  ASSERT_TRUE(latest.Fresh(t0 + 4s));
  EXPECT_DOUBLE_EQ(latest.Fresh(t0 + 4s)->latitude, 55.76);
  EXPECT_FALSE(latest.Fresh(t0 + 4501ms));
}

TEST(LatestFix, NoFixOrALostLinkForgetsThePosition) {
  const Clock::time_point t0{std::chrono::seconds(1000)};
  const auto fixTime = std::chrono::system_clock::from_time_t(1'800'000'000);
  struct Case {
    const char* what;
    gps::Fix report;
  };
  gps::Fix outOfRange = MakeFix(3, fixTime + 1s);
  outOfRange.latitude = 91;
  gps::Fix notFinite = MakeFix(3, fixTime + 1s);
  notFinite.longitude = NAN;
  const Case cases[] = {{"mode 1", MakeFix(1, fixTime + 1s)},
                        {"mode 0", MakeFix(0, fixTime + 1s)},
                        {"latitude beyond 90", outOfRange},
                        {"no longitude", notFinite}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gps::LatestFix latest;
    latest.SetLinked(true);
    latest.Report(MakeFix(3, fixTime), t0);
    latest.Report(c.report, t0 + 100ms);
    EXPECT_FALSE(latest.Fresh(t0 + 200ms));
    EXPECT_EQ(latest.State(t0 + 200ms), gps::GpsState::noFix);
  }
  gps::LatestFix latest;
  latest.SetLinked(true);
  latest.Report(MakeFix(3, fixTime), t0);
  latest.SetLinked(false);
  EXPECT_FALSE(latest.Fresh(t0));
  EXPECT_EQ(latest.State(t0), gps::GpsState::noGpsd);
  // Back again, the old fix does not come back with it.
  latest.SetLinked(true);
  EXPECT_FALSE(latest.Fresh(t0));
}

// A fix that goes and comes back with the time it had is the old fix: fresh only once.
TEST(LatestFix, AFixTimeIsFreshOnceThroughReportsOfNoFix) {
  gps::LatestFix latest;
  latest.SetLinked(true);
  const Clock::time_point t0{std::chrono::seconds(1000)};
  const auto fixTime = std::chrono::system_clock::from_time_t(1'800'000'000);
  latest.Report(MakeFix(3, fixTime), t0);
  for (int k = 1; k <= 3; ++k) {
    latest.Report(MakeFix(1, fixTime), t0 + k * 3s);
    latest.Report(MakeFix(3, fixTime), t0 + k * 3s + 100ms);
    EXPECT_FALSE(latest.Fresh(t0 + k * 3s + 200ms)) << k;
  }
  latest.Report(MakeFix(3, fixTime + 10s), t0 + 10s);
  EXPECT_TRUE(latest.Fresh(t0 + 10s));
}

TEST(LatestFix, ValuesBeyondWhatAReceiverReportsAreUnknown) {
  const Clock::time_point t0{std::chrono::seconds(1000)};
  const auto fixTime = std::chrono::system_clock::from_time_t(1'800'000'000);
  struct Case {
    double altitude;
    double horizontalError;
    bool altitudeKept;
    bool errorKept;
  };
  const Case cases[] = {
      {150.2, 4.5, true, true}, {-420, 0, true, true},         {1e9, 1e12, false, false},
      {-1e4, -3, false, false}, {INFINITY, NAN, false, false}, {49'000, 9'999, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.altitude);
    gps::LatestFix latest;
    latest.SetLinked(true);
    gps::Fix fix = MakeFix(3, fixTime);
    fix.altitude = c.altitude;
    fix.horizontalError = c.horizontalError;
    latest.Report(fix, t0);
    const auto fresh = latest.Fresh(t0);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(std::isfinite(fresh->altitude), c.altitudeKept);
    EXPECT_EQ(std::isfinite(fresh->horizontalError), c.errorKept);
    if (c.altitudeKept) {
      EXPECT_EQ(fresh->altitude, c.altitude);
    }
  }
}

// The state an indicator shows, as the latest fix makes it over a drive: the texts of each state,
// the age counted from the fix's first report and kept once it grows stale, the satellites of the
// latest sky report while it is recent.
TEST(GpsStatus, TextOfEachStateWithAgeAndSatellites) {
  const Clock::time_point t0{std::chrono::seconds(1000)};
  const auto fixTime = std::chrono::system_clock::from_time_t(1'800'000'000);
  const std::string address = "localhost:2947";
  gps::LatestFix latest;
  EXPECT_EQ(gps::GpsStatusText(latest.Status(t0), address), "GPS: выключен");
  latest.SetLinked(false);
  EXPECT_EQ(gps::GpsStatusText(latest.Status(t0), address), "GPS: нет связи с gpsd localhost:2947");
  latest.SetLinked(true);
  EXPECT_EQ(gps::GpsStatusText(latest.Status(t0), address), "GPS: нет местоположения");
  EXPECT_FALSE(latest.Status(t0).Stale());

  latest.Report(MakeFix(2, fixTime), t0);
  EXPECT_EQ(gps::GpsStatusText(latest.Status(t0 + 1500ms), address), "GPS: 2D, 1 с назад");
  latest.ReportSky(9, 12, t0 + 1s);
  latest.Report(MakeFix(3, fixTime + 1s), t0 + 1s);
  EXPECT_EQ(gps::GpsStatusText(latest.Status(t0 + 1s), address), "GPS: 3D, спутников 9 из 12, 0 с назад");

  // Stale: the last fix stays with its age, through a report of no fix too.
  latest.Report(MakeFix(1, fixTime + 2s), t0 + 2s);
  const gps::GpsStatus stale = latest.Status(t0 + 16s);
  EXPECT_TRUE(stale.Stale());
  EXPECT_EQ(stale.last->mode, 3);
  EXPECT_EQ(gps::GpsStatusText(stale, address), "GPS: нет местоположения (последнее 15 с назад)")
      << "the sky report is too old to count";
  EXPECT_EQ(gps::GpsStatusText(latest.Status(t0 + 181s), address), "GPS: нет местоположения (последнее 3 мин назад)");
  latest.ReportSky(0, 4, t0 + 181s);
  EXPECT_EQ(gps::GpsStatusText(latest.Status(t0 + 182s), address),
            "GPS: нет местоположения (последнее 3 мин назад), спутников 0 из 4");
  latest.ReportSky(-1, 4, t0 + 182s);
  EXPECT_EQ(gps::SatellitesText(latest.Status(t0 + 182s)), "видно спутников 4");

  // Losing gpsd forgets the fix and the sky; back again, nothing old is shown.
  latest.SetLinked(false);
  EXPECT_EQ(gps::GpsStatusText(latest.Status(t0 + 183s), ""), "GPS: нет связи с gpsd");
  latest.SetLinked(true);
  EXPECT_EQ(gps::GpsStatusText(latest.Status(t0 + 183s), address), "GPS: нет местоположения");

  struct Age {
    std::chrono::steady_clock::duration age;
    const char* text;
  };
  const Age ages[] = {{-1s, "0 с"}, {999ms, "0 с"}, {59s, "59 с"}, {60s, "1 мин"}, {3599s, "59 мин"}, {7300s, "2 ч"}};
  for (const Age& a : ages) EXPECT_EQ(gps::AgeText(a.age), a.text);
}

TEST(FixTime, OnlyTheYearsAReceiverReports) {
  using std::chrono::system_clock;
  EXPECT_EQ(gps::FixTimeOf(0, 0), system_clock::time_point{});
  EXPECT_EQ(gps::FixTimeOf(1'800'000'000, 500'000'000),
            system_clock::from_time_t(1'800'000'000) + std::chrono::milliseconds(500));
  // 2400-01-01, 1970-01-02, the far ends of the type, a nanosecond count out of its range.
  for (const auto& [seconds, nanoseconds] :
       std::initializer_list<std::pair<std::int64_t, std::int64_t>>{{13'569'465'600, 0},
                                                                    {86'400, 0},
                                                                    {std::numeric_limits<std::int64_t>::max(), 0},
                                                                    {std::numeric_limits<std::int64_t>::min(), 0},
                                                                    {1'800'000'000, 1'000'000'000},
                                                                    {1'800'000'000, -1}}) {
    EXPECT_FALSE(gps::FixTimeOf(seconds, nanoseconds)) << seconds << " " << nanoseconds;
  }
}

TEST(GpsdAddress, Forms) {
  using Fault = gps::GpsdAddressFault;
  struct Case {
    const char* text;
    const char* host;  // null: refused, for the fault given
    const char* port;
    Fault fault = Fault::none;
  };
  const Case cases[] = {
      {"localhost:2947", "localhost", "2947"},
      {"gps.example", "gps.example", "2947"},
      {"127.0.0.1:12000", "127.0.0.1", "12000"},
      {"[::1]:2947", "::1", "2947"},
      {"[::1]", "::1", "2947"},
      {"host:065535", "host", "65535"},
      {"", nullptr, nullptr, Fault::noHost},
      {":2947", nullptr, nullptr, Fault::noHost},
      {"[]:2947", nullptr, nullptr, Fault::noHost},
      {"host:", nullptr, nullptr, Fault::noPort},
      {"[::1]:", nullptr, nullptr, Fault::noPort},
      {"host:0", nullptr, nullptr, Fault::portOutOfRange},
      {"host:65536", nullptr, nullptr, Fault::portOutOfRange},
      {"host:99999999999", nullptr, nullptr, Fault::portOutOfRange},
      {"host:29x", nullptr, nullptr, Fault::portNotNumber},
      {"host:-1", nullptr, nullptr, Fault::portNotNumber},
      {"::1:2947", nullptr, nullptr, Fault::bareIpv6},
      {"[::1", nullptr, nullptr, Fault::unclosedBracket},
      {"[::1]2947", nullptr, nullptr, Fault::afterBracket},
      {"bad host:2947", nullptr, nullptr, Fault::hostCharacter},
      {"host\n:2947", nullptr, nullptr, Fault::hostCharacter},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Fault fault = Fault::portNotNumber;
    const auto address = gps::ParseGpsdAddress(c.text, &fault);
    EXPECT_EQ(fault, c.fault);
    if (!c.host) {
      EXPECT_FALSE(address);
      continue;
    }
    ASSERT_TRUE(address);
    EXPECT_EQ(address->host, c.host);
    EXPECT_EQ(address->port, c.port);
  }
  EXPECT_EQ(gps::FormatGpsdAddress({"::1", "2947"}), "[::1]:2947");
  EXPECT_EQ(gps::FormatGpsdAddress({"localhost", "2947"}), "localhost:2947");
}

}  // namespace
