// The simulated modem unplugged at each step of a connection, gone silent, and the monitor itself
// killed while logging: every run must end by itself within the modem's waits, with the
// documented exit status and a log file that still reads.

#include <gtest/gtest.h>
#include <signal.h>

#include <ostream>
#include <string>

#include "tests/faults/fault_fixture.h"
#include "tests/support/modem_sim_process.h"

namespace faults {
namespace {

// A run that is cut short must end within the modem's own waits: a token wait of ten 1 s reads,
// then the closing "ATZ" with its four reads, and some slack for a loaded machine.
constexpr auto kEndBound = 60s;

struct UnplugCase {
  const char* name;
  const char* command;  // the command the simulator is killed at
  int occurrence;       // ... on its n-th arrival
  bool reachedPoll;     // a cycle completed before the unplug
};

// Test names in listings show the row name, not the bytes of the row.
void PrintTo(const UnplugCase& row, std::ostream* out) { *out << row.name; }

class UnplugTest : public FaultTest, public testing::WithParamInterface<UnplugCase> {};

// The simulator is killed as soon as its command log shows the command: the line goes dead while
// the monitor is sending it or waiting for its answer.
TEST_P(UnplugTest, EndsWithinTheWaitsAndKeepsTheLog) {
  const UnplugCase& row = GetParam();
  const std::string commandLog = (dir_ / "commands.txt").string();
  const std::string logFile = (dir_ / "run.log").string();
  testsupport::ModemSimProcess sim({"--seed", "11", "--log-commands", commandLog});
  ASSERT_TRUE(sim.Started());

  ChildProcess monitor(MonitorArgs(sim.DevicePath(), 0, logFile), dir_, "monitor");
  const std::string marker = std::string(" ") + row.command + "\n";
  ASSERT_TRUE(WaitUntil([&] { return CountOf(ReadWholeFile(commandLog), marker) >= row.occurrence; }, 60s))
      << "the monitor never sent " << row.command;
  ::kill(sim.Pid(), SIGKILL);

  const auto status = monitor.WaitExit(kEndBound);
  ASSERT_TRUE(status.has_value()) << "the monitor still runs after the unplug";
  const std::string out = monitor.Stdout();
  // Unplugged before the poll, the modem never answered as a modem must: an error is shown.
  // Unplugged while polling, the connection ended by itself.
  if (row.reachedPoll) {
    EXPECT_EQ(*status, kExitConnectionEnded) << monitor.Stderr();
    EXPECT_GE(CyclesAnnounced(out), 1);
  } else {
    EXPECT_TRUE(*status == kExitError || *status == kExitConnectionEnded) << *status << " " << monitor.Stderr();
    EXPECT_EQ(CyclesAnnounced(out), 0);
  }
  ExpectReportReadable(logFile);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, UnplugTest,
    testing::Values(UnplugCase{"Reset", "ATZ", 1, false}, UnplugCase{"EchoOff", "ATE", 1, false},
                    UnplugCase{"Firmware", "AT+CGMR", 1, false}, UnplugCase{"Imei", "AT+CGSN", 1, false},
                    UnplugCase{"Model", "AT+CGMM", 1, false}, UnplugCase{"FirstServing", "AT^MONI", 1, false},
                    UnplugCase{"Serving", "AT^MONI", 3, true}, UnplugCase{"Neighbours", "AT^MONP", 3, true}),
    [](const testing::TestParamInfo<UnplugCase>& row) { return std::string(row.param.name); });

// The simulator's own unplug: the pseudo-terminal closes as a command arrives, the simulator ends.
TEST_F(FaultTest, HangUpAtTheNextCommandEndsTheConnection) {
  testsupport::ModemSimProcess sim({"--seed", "12", "--hangup-after", "2"});
  ASSERT_TRUE(sim.Started());
  ChildProcess monitor(MonitorArgs(sim.DevicePath(), 0), dir_, "monitor");
  const auto status = monitor.WaitExit(kEndBound);
  ASSERT_TRUE(status.has_value()) << "the monitor still runs after the hang-up";
  EXPECT_EQ(*status, kExitConnectionEnded) << monitor.Stderr();
  EXPECT_EQ(CyclesAnnounced(monitor.Stdout()), 2);
  EXPECT_NE(sim.WaitExit(5s), -1);
}

// A modem that stops answering mid-poll: the token wait gives up and the connection ends quietly.
TEST_F(FaultTest, SilentModemEndsTheConnectionAfterTheTokenWait) {
  const std::string logFile = (dir_ / "silent.log").string();
  testsupport::ModemSimProcess sim({"--seed", "13", "--silent-after", "2"});
  ASSERT_TRUE(sim.Started());
  ChildProcess monitor(MonitorArgs(sim.DevicePath(), 0, logFile), dir_, "monitor");
  const auto status = monitor.WaitExit(kEndBound);
  ASSERT_TRUE(status.has_value()) << "the monitor still runs with a silent modem";
  EXPECT_EQ(*status, kExitConnectionEnded) << monitor.Stderr();
  EXPECT_EQ(CyclesAnnounced(monitor.Stdout()), 2);
  ExpectReportReadable(logFile);
}

// SIGKILL gives the tool no chance to complete its log: what was sealed after each announced
// cycle must still be there and read.
TEST_F(FaultTest, KilledWhileLoggingKeepsEveryCompletedCycle) {
  const std::string logFile = (dir_ / "killed.log").string();
  testsupport::ModemSimProcess sim({"--seed", "14"});
  ASSERT_TRUE(sim.Started());
  ChildProcess monitor(MonitorArgs(sim.DevicePath(), 0, logFile), dir_, "monitor");
  ASSERT_TRUE(WaitUntil([&] { return CyclesAnnounced(monitor.Stdout()) >= 3; }, 60s));
  monitor.Signal(SIGKILL);
  ASSERT_EQ(monitor.WaitExit(10s), 128 + SIGKILL);
  const int announced = CyclesAnnounced(monitor.Stdout());

  ExpectReportReadable(logFile);
  // Each cycle logs one serving receive level; count those before the last matching checksum.
  const RunResult dump = RunToEnd({kCli, "dump", logFile}, dir_, "dump");
  ASSERT_EQ(dump.status, 0) << dump.err;
  const std::string sealed = dump.out.substr(0, dump.out.rfind("[match]"));
  EXPECT_GE(CountOf(sealed, "serving.rxlevel"), announced);
}

}  // namespace
}  // namespace faults
