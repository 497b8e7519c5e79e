// A survey drive end to end: the headless monitor against the simulated modem, with positions
// from Debian's gpsd fed a recorded drive through a pseudo-terminal; its log exported to a
// GeoPackage and read back with ogrinfo. Each position must be the drive's on the right cycle:
// fed no more than 2 s before the cycle (plus the time gpsd takes), never across a lost fix, never
// after gpsd stopped.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gps/gps_fix.h"
#include "tests/support/child_process.h"
#include "tests/support/gpsd_process.h"
#include "tests/support/modem_sim_process.h"

namespace {

using namespace std::chrono_literals;
using std::chrono::system_clock;
using testsupport::ChildProcess;

// What gpsd may add between the feeder's write and the monitor's receipt, on a busy machine.
constexpr auto kDelivery = 500ms;

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "/" + std::to_string(::getpid()) + "-drive-" + name;
}

// ogrinfo's date-time form: "2026/12/10 15:34:11.303+03", "+0530", "+00" or none.
std::optional<system_clock::time_point> OgrTime(const std::string& text) {
  static const std::regex form(R"((\d{4})/(\d\d)/(\d\d) (\d\d):(\d\d):(\d\d)(?:\.(\d{1,3}))?(?:([+-])(\d\d)(\d\d)?)?)");
  std::smatch m;
  if (!std::regex_match(text, m, form) || !m[8].matched) return std::nullopt;
  std::tm parts{};
  parts.tm_year = std::stoi(m[1]) - 1900;
  parts.tm_mon = std::stoi(m[2]) - 1;
  parts.tm_mday = std::stoi(m[3]);
  parts.tm_hour = std::stoi(m[4]);
  parts.tm_min = std::stoi(m[5]);
  parts.tm_sec = std::stoi(m[6]);
  std::string fraction = m[7].matched ? m[7].str() : "0";
  fraction.resize(3, '0');
  const int offset = (std::stoi(m[9]) * 60 + (m[10].matched ? std::stoi(m[10]) : 0)) * (m[8] == "-" ? -1 : 1);
  return system_clock::from_time_t(::timegm(&parts)) + std::chrono::milliseconds(std::stoi(fraction)) -
         std::chrono::minutes(offset);
}

struct Cycle {
  int number = 0;
  system_clock::time_point time;
  std::optional<double> latitude, longitude;
  std::optional<system_clock::time_point> fixTime;
};

// The features of the export's "cycles" layer as ogrinfo lists them.
std::vector<Cycle> ReadBack(const std::string& gpkg) {
  ChildProcess info({"/usr/bin/ogrinfo", "-q", gpkg, "cycles"});
  EXPECT_EQ(info.Wait(60s), 0) << info.Stderr();
  EXPECT_EQ(info.Stderr(), "");  // no complaint about non-conformant content
  std::vector<Cycle> cycles;
  std::istringstream lines(info.Stdout());
  static const std::regex field(R"(  (\w+) \((\w+)\) = (.*))");
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("OGRFeature(cycles):")) cycles.emplace_back();
    std::smatch m;
    if (cycles.empty() || !std::regex_match(line, m, field) || m[3] == "(null)") continue;
    Cycle& c = cycles.back();
    if (m[1] == "n") c.number = std::stoi(m[3]);
    if (m[1] == "time") c.time = OgrTime(m[3]).value_or(system_clock::time_point{});
    if (m[1] == "latitude_deg") c.latitude = std::stod(m[3]);
    if (m[1] == "longitude_deg") c.longitude = std::stod(m[3]);
    if (m[1] == "fix_time") c.fixTime = OgrTime(m[3]);
  }
  return cycles;
}

// Runs the export of log to a fresh GeoPackage and reads it back.
std::vector<Cycle> ExportAndReadBack(const std::string& log) {
  const std::string gpkg = TempPath(std::filesystem::path(log).stem().string() + ".gpkg");
  std::filesystem::remove(gpkg);
  ChildProcess exporter({GSMMON_CLI_PATH, "export", log, "-o", gpkg});
  EXPECT_EQ(exporter.Wait(60s), 0) << exporter.Stderr();
  return ReadBack(gpkg);
}

int CyclesPrinted(const std::string& jsonl) {
  int cycles = 0;
  std::istringstream lines(jsonl);
  for (std::string line; std::getline(lines, line);)
    cycles += nlohmann::json::parse(line).value("event", "") == "cycle" ? 1 : 0;
  return cycles;
}

// The fed group a cycle's position came from: same fix time and place. Null when there is none.
const testsupport::FedGroup* SourceOf(const Cycle& cycle, const std::vector<testsupport::FedGroup>& fed) {
  for (const auto& group : fed) {
    if (group.group.hasFix && cycle.fixTime && group.fixTime == *cycle.fixTime &&
        std::abs(group.group.latitude - *cycle.latitude) < 1e-6 &&
        std::abs(group.group.longitude - *cycle.longitude) < 1e-6) {
      return &group;
    }
  }
  return nullptr;
}

std::string Describe(const Cycle& c) {
  std::ostringstream text;
  text << "cycle " << c.number << " at "
       << std::chrono::duration_cast<std::chrono::milliseconds>(c.time.time_since_epoch()).count() << " ms";
  if (c.latitude) text << " at " << *c.latitude << ", " << *c.longitude;
  return text.str();
}

class SurveyDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_ = testsupport::ReadNmeaDrive(GSMMON_DRIVE_NMEA);
    ASSERT_EQ(drive_.size(), 60u);
    ASSERT_TRUE(feeder_.Opened());
    gpsd_ = std::make_unique<testsupport::GpsdProcess>(feeder_.DevicePath());
    if (!gpsd_->Started()) GTEST_SKIP() << "gpsd cannot be started here";
    ASSERT_TRUE(sim_.Started());
  }

  std::vector<testsupport::NmeaGroup> Seconds(std::size_t first, std::size_t last) const {
    return {drive_.begin() + static_cast<std::ptrdiff_t>(first), drive_.begin() + static_cast<std::ptrdiff_t>(last)};
  }

  std::unique_ptr<ChildProcess> StartMonitor(const std::string& log, const std::vector<std::string>& extra) {
    std::filesystem::remove(log);
    std::vector<std::string> argv = {GSMMON_CLI_PATH, "monitor", "--port",         sim_.DevicePath(), "--format",
                                     "jsonl",         "--gpsd",  gpsd_->Address(), "--log",           log};
    argv.insert(argv.end(), extra.begin(), extra.end());
    // A zone with an offset, so the times read back must carry it.
    return std::make_unique<ChildProcess>(argv, std::vector<std::string>{"TZ=Europe/Moscow"});
  }

  std::vector<testsupport::NmeaGroup> drive_;
  testsupport::NmeaFeeder feeder_;
  std::unique_ptr<testsupport::GpsdProcess> gpsd_;
  testsupport::ModemSimProcess sim_{{"--seed", "4"}};
};

TEST_F(SurveyDrive, PositionsOfTheDriveOnTheRightCycles) {
  feeder_.Start(Seconds(0, 16), 1s);
  const std::string log = TempPath("drive.log");
  auto monitor = StartMonitor(log, {"--cycles", "25"});
  ASSERT_EQ(monitor->Wait(90s), 0) << monitor->Stderr();
  EXPECT_EQ(monitor->Stderr(), "");
  feeder_.Stop();
  const auto fed = feeder_.Fed();

  const auto cycles = ExportAndReadBack(log);
  ASSERT_EQ(cycles.size(), 25u);
  EXPECT_EQ(CyclesPrinted(monitor->Stdout()), 25);
  // The JSON lines carry the same stamp as the log: each cycle's position, or null.
  std::istringstream lines(monitor->Stdout());
  for (std::string line; std::getline(lines, line);) {
    const auto object = nlohmann::json::parse(line);
    if (object.value("event", "") != "cycle") continue;
    const Cycle& c = cycles.at(object["n"].get<std::size_t>() - 1);
    SCOPED_TRACE(line);
    ASSERT_EQ(object["position"].is_null(), !c.latitude.has_value());
    if (c.latitude) {
      EXPECT_NEAR(object["position"]["latitude_deg"].get<double>(), *c.latitude, 1e-7);
      EXPECT_NEAR(object["position"]["longitude_deg"].get<double>(), *c.longitude, 1e-7);
    }
  }
  int placed = 0;
  int unplacedAfterFirst = 0;
  for (const Cycle& c : cycles) {
    SCOPED_TRACE(Describe(c));
    EXPECT_NE(c.time, system_clock::time_point{});
    EXPECT_EQ(c.number, &c - cycles.data() + 1);
    if (!c.latitude) {
      unplacedAfterFirst += placed > 0 ? 1 : 0;
      continue;
    }
    ++placed;
    const testsupport::FedGroup* source = SourceOf(c, fed);
    ASSERT_NE(source, nullptr) << "a position the drive never had";
    EXPECT_LE(source->written, c.time + 50ms);
    EXPECT_LE(c.time - source->written, gps::kFreshFor + kDelivery);
  }
  // Fixes come every second and stay fresh for two: once they flow, (almost) every cycle has one.
  EXPECT_GE(placed, 15);
  EXPECT_LE(unplacedAfterFirst, 3);
}

TEST_F(SurveyDrive, LostFixAndStoppedGpsdLeaveCyclesWithoutPositions) {
  // Four seconds of fixes, the tunnel's six without, fixes again; gpsd stops while they flow.
  const auto seconds = Seconds(26, 40);
  feeder_.Start(seconds, 1s);
  const std::string log = TempPath("tunnel.log");
  auto monitor = StartMonitor(log, {});
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (feeder_.Fed().size() < 12 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(feeder_.Fed().size(), 12u);
  const auto stopped = system_clock::now();
  gpsd_->Stop();
  std::this_thread::sleep_for(3s);
  monitor->Signal(SIGTERM);
  ASSERT_EQ(monitor->Wait(30s), 0) << monitor->Stderr();
  EXPECT_NE(monitor->Stderr().find("Связь с gpsd " + gpsd_->Address() + " прервана"), std::string::npos)
      << monitor->Stderr();
  feeder_.Stop();
  const auto fed = feeder_.Fed();

  const auto cycles = ExportAndReadBack(log);
  // A stop that cuts a cycle short keeps the values that cycle had already logged (nothing
  // measured is lost), so the log may hold one cycle more than the monitor printed as complete.
  const int printed = CyclesPrinted(monitor->Stdout());
  EXPECT_GE(static_cast<int>(cycles.size()), printed);
  EXPECT_LE(static_cast<int>(cycles.size()), printed + 1);
  int beforeTunnel = 0, inTunnel = 0, afterTunnel = 0, afterStop = 0;
  const auto tunnelStart = fed[4].written;
  const auto tunnelEnd = fed[10].written;
  for (const Cycle& c : cycles) {
    SCOPED_TRACE(Describe(c));
    const bool tunnel = c.time > tunnelStart + kDelivery && c.time < tunnelEnd;
    const bool gone = c.time > stopped + kDelivery;
    if (!c.latitude) {
      inTunnel += tunnel ? 1 : 0;
      afterStop += gone ? 1 : 0;
      continue;
    }
    EXPECT_FALSE(tunnel) << "a position while gpsd reported no fix";
    EXPECT_FALSE(gone) << "a position after gpsd stopped";
    const testsupport::FedGroup* source = SourceOf(c, fed);
    ASSERT_NE(source, nullptr) << "a position the drive never had";
    EXPECT_LE(c.time - source->written, gps::kFreshFor + kDelivery);
    // Never a position from before a lost fix that gpsd had already reported.
    for (const auto& later : fed) {
      if (!later.group.hasFix && later.written > source->written) {
        EXPECT_GT(later.written + kDelivery, c.time);
      }
    }
    (c.time < tunnelStart ? beforeTunnel : afterTunnel)++;
  }
  EXPECT_GT(beforeTunnel, 0);
  EXPECT_GT(afterTunnel, 0);
  EXPECT_GE(inTunnel, 8);   // about five seconds at two and a half cycles a second
  EXPECT_GE(afterStop, 4);  // about three seconds
}

}  // namespace
