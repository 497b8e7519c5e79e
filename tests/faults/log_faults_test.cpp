// The log file on a full disk, on a device that is always full, and where it cannot be created:
// the run must say so once, stop logging, end with status 1, and leave a file that still reads.

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <ostream>
#include <string>

#include "tests/faults/fault_fixture.h"
#include "tests/support/modem_sim_process.h"

namespace faults {
namespace {

constexpr auto kRunBound = 90s;
const std::string kWriteFailed = "Невозможно записать протокол";
const std::string kCreateFailed = "Невозможно создать файл протокола";

// A file-size limit fills the disk after a few cycles: later records and seals fail to write.
class FullDiskTest : public FaultTest {
 protected:
  static constexpr rlim_t kDiskBytes = 1500;

  std::optional<int> RunOnFullDisk() {
    logFile_ = (dir_ / "full.log").string();
    testsupport::ModemSimProcess sim({"--seed", "21"});
    if (!sim.Started()) return std::nullopt;
    ChildProcess monitor(MonitorArgs(sim.DevicePath(), 6, logFile_), dir_, "monitor", kDiskBytes);
    const auto status = monitor.WaitExit(kRunBound);
    stderr_ = monitor.Stderr();
    return status;
  }

  std::string logFile_;
  std::string stderr_;
};

TEST_F(FullDiskTest, RunEndsAndTheSealedCyclesRead) {
  const auto status = RunOnFullDisk();
  ASSERT_TRUE(status.has_value()) << "the monitor still runs on a full disk";
  EXPECT_TRUE(*status == kExitNormal || *status == kExitError) << *status;
  EXPECT_LE(std::filesystem::file_size(logFile_), kDiskBytes);
  ExpectReportReadable(logFile_);
}

// A write that fails inside a cycle closes the log; the user is told once and the run says so.
TEST_F(FullDiskTest, UserIsToldOnceAndTheRunEndsWithAnError) {
  const auto status = RunOnFullDisk();
  ASSERT_TRUE(status.has_value()) << "the monitor still runs on a full disk";
  EXPECT_EQ(*status, kExitError);
  EXPECT_EQ(CountOf(stderr_, kWriteFailed), 1) << stderr_;
}

// A device named as the log is written as it is: /dev/full refuses the first seal, so the run
// ends before anything is sent to the modem, with the message, and no file appears beside it.
TEST_F(FaultTest, AlwaysFullDeviceEndsTheRunCleanly) {
  testsupport::ModemSimProcess sim({"--seed", "22"});
  ASSERT_TRUE(sim.Started());
  ChildProcess monitor(MonitorArgs(sim.DevicePath(), 2, "/dev/full"), dir_, "monitor");
  const auto status = monitor.WaitExit(kRunBound);
  ASSERT_TRUE(status.has_value()) << "the monitor still runs logging to /dev/full";
  EXPECT_EQ(*status, kExitError) << monitor.Stderr();
  EXPECT_EQ(CountOf(monitor.Stderr(), kWriteFailed), 1) << monitor.Stderr();
  EXPECT_FALSE(std::filesystem::exists("/dev/full-2"));
}

struct UnwritableCase {
  const char* name;
  bool needsNonRoot;  // root passes permission checks
};

// Test names in listings show the row name, not the bytes of the row.
void PrintTo(const UnwritableCase& row, std::ostream* out) { *out << row.name; }

class UnwritableLogTest : public FaultTest, public testing::WithParamInterface<UnwritableCase> {};

TEST_P(UnwritableLogTest, RefusesBeforeTouchingTheModem) {
  if (GetParam().needsNonRoot && ::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  std::string logFile = "/proc/self/gsmmon.log";
  if (GetParam().needsNonRoot) {
    const auto folder = dir_ / "read-only";
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    logFile = (folder / "run.log").string();
  }
  const std::string commandLog = (dir_ / "commands.txt").string();
  testsupport::ModemSimProcess sim({"--seed", "23", "--log-commands", commandLog});
  ASSERT_TRUE(sim.Started());
  const RunResult run = RunToEnd(MonitorArgs(sim.DevicePath(), 1, logFile), dir_, "monitor");
  ASSERT_TRUE(run.status.has_value()) << "the monitor did not end";
  EXPECT_EQ(*run.status, kExitError);
  EXPECT_NE(run.err.find(kCreateFailed), std::string::npos) << run.err;
  EXPECT_EQ(ReadWholeFile(commandLog), "");
  EXPECT_FALSE(std::filesystem::exists(logFile));
}

INSTANTIATE_TEST_SUITE_P(Places, UnwritableLogTest,
                         testing::Values(UnwritableCase{"ProcFolder", false}, UnwritableCase{"ReadOnlyFolder", true}),
                         [](const testing::TestParamInfo<UnwritableCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace faults
