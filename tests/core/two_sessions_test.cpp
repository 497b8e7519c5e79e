// Two modems monitored at once in one process: each session keeps its own port, its own cycles and
// its own log, and neither sees the other's values.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "core/log_recorder.h"
#include "core/session.h"
#include "log/log_dump.h"
#include "log/log_viewer.h"
#include "log/log_writer.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/recording_window.h"

using namespace std::chrono_literals;

namespace {

// Keeps every cycle a session hands on.
class CycleRecorder : public core::RunConsumer {
 public:
  void RunStarted(const core::RunStart& start) override { identity = start.identity; }
  void CycleCompleted(const radio::Cycle& cycle) override { cycles.push_back(cycle); }
  void RunEnded(const core::RunEnd& end) override { ended = end; }

  radio::Identity identity;
  std::vector<radio::Cycle> cycles;
  core::RunEnd ended;
};

struct Site {
  explicit Site(std::vector<std::string> simArgs, const std::string& logPath)
      : sim(simArgs),
        window({sim.DevicePath(), 115200}),
        recorder(
            window, writer, [logPath] { return logPath; }, nullptr) {}

  testsupport::ModemSimProcess sim;
  testsupport::RecordingWindow window;
  gsmlog::TLogWriter writer;
  core::LogRecorder recorder;
  CycleRecorder cycles;
};

TEST(TwoSessions, EachKeepsItsOwnModemCyclesAndLog) {
  const std::string dir = ::testing::TempDir() + "/two-sessions-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  Site first({"--seed", "3", "--neighbours", "2", "--band", "900"}, dir + "/first.log");
  Site second({"--seed", "4", "--neighbours", "5", "--band", "1800"}, dir + "/second.log");
  ASSERT_TRUE(first.sim.Started());
  ASSERT_TRUE(second.sim.Started());
  {
    core::Session a(first.window, {&first.recorder, &first.cycles});
    core::Session b(second.window, {&second.recorder, &second.cycles});
    first.window.onSweep = [&] {
      if (first.cycles.cycles.size() >= 3) a.StopMonitor(false);
    };
    second.window.onSweep = [&] {
      if (second.cycles.cycles.size() >= 4) b.StopMonitor(false);
    };
    a.StartMonitor();
    b.StartMonitor();
    ASSERT_TRUE(first.window.WaitFor([&] { return !a.MonitorThreadRunning(); }, 60s));
    ASSERT_TRUE(second.window.WaitFor([&] { return !b.MonitorThreadRunning(); }, 60s));
  }

  // Each run has its own cycles, numbered from 1, of its own modem's cells only.
  for (const auto* site : {&first, &second}) {
    ASSERT_GE(site->cycles.cycles.size(), 3u);
    EXPECT_TRUE(site->cycles.ended.reachedPoll);
    for (std::size_t i = 0; i < site->cycles.cycles.size(); ++i) {
      const radio::Cycle& cycle = site->cycles.cycles[i];
      EXPECT_EQ(cycle.n, static_cast<long>(i + 1));
      ASSERT_TRUE(cycle.serving);
      EXPECT_EQ(cycle.identity.imei, site->cycles.identity.imei);
    }
  }
  EXPECT_NE(first.cycles.identity.imei, second.cycles.identity.imei);
  for (const radio::Cycle& cycle : first.cycles.cycles) {
    EXPECT_EQ(cycle.neighbours.size(), 2u);
    EXPECT_EQ(cycle.serving->band, "GSM900");
  }
  for (const radio::Cycle& cycle : second.cycles.cycles) {
    EXPECT_EQ(cycle.neighbours.size(), 5u);
    EXPECT_EQ(cycle.serving->band, "GSM1800");
  }

  // Each log is whole, holds its own run's cycles and names its own modem.
  for (const auto& [site, path] : {std::pair{&first, dir + "/first.log"}, std::pair{&second, dir + "/second.log"}}) {
    const gsmlog::LogDump dump = gsmlog::DumpLogFile(path);
    ASSERT_TRUE(dump.ok) << dump.error;
    long seals = 0;
    for (const auto& record : dump.records) seals += record.code == gsmlog::kChecksumCode;
    // The empty file's seal, one per cycle, and the summary's.
    EXPECT_EQ(seals, static_cast<long>(site->cycles.cycles.size()) + 2) << path;
    const auto report = gsmlog::BuildLogReport(path);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_NE(report.text.find("IMEI: " + site->cycles.identity.imei), std::string::npos) << report.text;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
