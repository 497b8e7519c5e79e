// A hostile modem and a hostile log reader: terminal escapes in the modem's texts, a modem that
// drips a byte at a time, a log pipe that is never read. No control character reaches the
// terminal, and a stop ends the monitor within 2 s whatever the modem does.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/faults/fault_fixture.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/prompt_bound.h"
#include "tests/support/scripted_answers.h"
#include "tests/support/scripted_modem.h"

namespace faults {
namespace {

using testsupport::GoodAnswer;
using testsupport::kNeighbours;
using testsupport::kOk;
using testsupport::kServing;
using testsupport::Promptly;

using testsupport::ScriptedModem;
using testsupport::ScriptedReply;

// The first control character in UTF-8 text (a C0 control but LF, DEL, or a C1 control
// U+0080..U+009F), as a short description; "" when there is none.
std::string FirstControl(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte < 0x20 && byte != '\n') || byte == 0x7F)
      return "byte " + std::to_string(byte) + " at " + std::to_string(i);
    if (byte == 0xC2 && i + 1 < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0x80 && next <= 0x9F) return "U+00" + std::to_string(next) + " (decimal) at " + std::to_string(i);
    }
  }
  return {};
}

// Escapes where the modem's texts reach the display and the log: in the serving cell's BSIC (its
// NCC), in a neighbour's BSIC (its BCC), and in the model's and manufacturer's names.
ScriptedReply EscapingModem(const std::string& command) {
  if (command == "AT+CGMI")
    return {
        "\r\nEVIL\x1B]0;owned\x07\x9B"
        "31m\r\n" +
        kOk};
  if (command == "AT+CGMM") return {"\r\nPEER\x1B[2J\x98\x7F\r\n" + kOk};
  if (command == "AT^MONI") {
    std::string serving = kServing;
    const std::string nccBcc = "   4   4  33";
    serving.replace(serving.find(nccBcc), nccBcc.size(), "   \x1B[2J \t4  33");
    return {serving + kOk};
  }
  if (command == "AT^MONP") {
    std::string neighbours = kNeighbours;
    const std::string nccBcc = "   0   6  DA53";
    neighbours.replace(neighbours.find(nccBcc), nccBcc.size(), "   0 \x98\x1B[H  DA53");
    return {neighbours + kOk};
  }
  return GoodAnswer(command);
}

class EscapeTest : public FaultTest, public testing::WithParamInterface<const char*> {};

TEST_P(EscapeTest, NoControlCharacterReachesTheTerminal) {
  ScriptedModem modem(EscapingModem);
  const std::string logFile = (dir_ / "escapes.log").string();
  const RunResult run =
      RunToEnd({kCli, "monitor", "--port", modem.Path(), "--cycles", "2", "--format", GetParam(), "--log", logFile},
               dir_, "monitor", 60s);
  ASSERT_TRUE(run.status.has_value());
  ASSERT_EQ(*run.status, kExitNormal) << run.err;
  EXPECT_EQ(FirstControl(run.out), "") << run.out;
  EXPECT_EQ(FirstControl(run.err), "") << run.err;
  // The text shows the modem's BSIC as it came; the machine outputs carry it as a number, and one
  // with an escape in it is no number.
  if (std::string_view(GetParam()) == "text") {
    EXPECT_NE(run.out.find("?[2J"), std::string::npos) << run.out;
  }

  for (const char* command : {"report", "dump"}) {
    SCOPED_TRACE(command);
    const RunResult listing = RunToEnd({kCli, command, logFile}, dir_, command);
    ASSERT_TRUE(listing.status.has_value());
    EXPECT_EQ(*listing.status, 0) << listing.err;
    EXPECT_EQ(FirstControl(listing.out), "") << listing.out;
    EXPECT_NE(listing.out.find("PEER"), std::string::npos) << listing.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, EscapeTest, testing::Values("text", "csv", "jsonl"));

// ---- A modem that drips ----

// Answers as it should until the second serving report, whose title comes and then one byte per
// drip, never a line end; a command after that is answered properly again (the drip stops).
ScriptedModem::Script DripAtSecondReport(std::chrono::milliseconds drip, std::atomic<bool>& dripping) {
  return [drip, &dripping, reports = 0](const std::string& command) mutable {
    if (command == "AT^MONI" && ++reports == 2) {
      dripping.store(true);
      return ScriptedReply{"\r\nServing Cell\r\n", false, false, drip};
    }
    return GoodAnswer(command);
  };
}

struct StopCase {
  const char* name;
  int signal;
};

void PrintTo(const StopCase& row, std::ostream* out) { *out << row.name; }

class DripStopTest : public FaultTest, public testing::WithParamInterface<StopCase> {};

// A stop request in the middle of a line the modem drips a byte a second into: the monitor ends
// within 2 s, resets the modem with "ATZ", and completes its log with the run summary.
TEST_P(DripStopTest, StopsWithinTwoSecondsWithResetAndSummary) {
  std::atomic<bool> dripping{false};
  ScriptedModem modem(DripAtSecondReport(1000ms, dripping));
  const std::string logFile = (dir_ / "drip.log").string();
  ChildProcess monitor(MonitorArgs(modem.Path(), 0, logFile), dir_, "monitor");
  ASSERT_TRUE(WaitUntil([&] { return dripping.load(); }, 30s));
  std::this_thread::sleep_for(1500ms);
  ASSERT_FALSE(monitor.WaitExit(0ms).has_value()) << "the monitor ended by itself";
  monitor.Signal(GetParam().signal);
  const auto status = monitor.WaitExit(Promptly(2s));
  ASSERT_TRUE(status.has_value()) << "the monitor did not stop within 2 s";
  EXPECT_EQ(*status, kExitNormal) << monitor.Stderr();
  EXPECT_EQ(modem.Commands().back(), "ATZ");
  EXPECT_EQ(CyclesAnnounced(monitor.Stdout()), 1);

  const RunResult report = RunToEnd({kCli, "report", logFile}, dir_, "report");
  ASSERT_EQ(report.status, 0) << report.err;
  // The summary was written: the run's end time is there.
  const std::size_t timeAt = report.out.find("Время: ");
  ASSERT_NE(timeAt, std::string::npos) << report.out;
  const std::string timeLine = report.out.substr(timeAt, report.out.find('\n', timeAt) - timeAt);
  EXPECT_EQ(timeLine.find("(n/a)"), std::string::npos) << timeLine;
}

INSTANTIATE_TEST_SUITE_P(Signals, DripStopTest,
                         testing::Values(StopCase{"Sigterm", SIGTERM}, StopCase{"Sighup", SIGHUP},
                                         StopCase{"Sigint", SIGINT}),
                         [](const testing::TestParamInfo<StopCase>& row) { return std::string(row.param.name); });

// A stop request that comes while a healthy modem is about to answer its neighbour report: the
// cycle finishes with the answer, the modem gets "ATZ", and the log holds both cycles.
TEST_F(FaultTest, AStopLetsAPromptModemFinishItsCycle) {
  std::atomic<bool> atNeighbours{false};
  std::atomic<bool> signalled{false};
  ScriptedModem modem([&, reports = 0](const std::string& command) mutable {
    if (command == "AT^MONP" && ++reports == 2) {
      atNeighbours.store(true);
      WaitUntil([&] { return signalled.load(); }, 10s);
      // The stop is under way before the answer comes, still well within a prompt modem's time.
      std::this_thread::sleep_for(100ms);
    }
    return GoodAnswer(command);
  });
  const std::string logFile = (dir_ / "stop.log").string();
  ChildProcess monitor(MonitorArgs(modem.Path(), 0, logFile), dir_, "monitor");
  ASSERT_TRUE(WaitUntil([&] { return atNeighbours.load(); }, 30s));
  monitor.Signal(SIGINT);
  signalled.store(true);
  const auto status = monitor.WaitExit(Promptly(2s));
  ASSERT_TRUE(status.has_value()) << "the monitor did not stop within 2 s";
  EXPECT_EQ(*status, kExitNormal) << monitor.Stderr();
  EXPECT_EQ(CyclesAnnounced(monitor.Stdout()), 2) << monitor.Stdout();
  EXPECT_EQ(modem.Commands().back(), "ATZ");
  const RunResult dump = RunToEnd({kCli, "dump", logFile}, dir_, "dump");
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_EQ(CountOf(dump.out, "cycle.time"), 2) << dump.out;
}

// A modem that drips faster than any read time-out: each line read still ends, the wait for the
// report gives up, and the connection ends by itself.
TEST_F(FaultTest, FastDripEndsTheConnectionByItself) {
  std::atomic<bool> dripping{false};
  ScriptedModem modem(DripAtSecondReport(80ms, dripping));
  ChildProcess monitor(MonitorArgs(modem.Path(), 0), dir_, "monitor");
  const auto status = monitor.WaitExit(60s);
  ASSERT_TRUE(status.has_value()) << "the monitor still reads the drip";
  EXPECT_EQ(*status, kExitConnectionEnded) << monitor.Stderr();
  EXPECT_EQ(modem.Commands().back(), "ATZ");
}

// ---- A log pipe that is never read ----

// The pipe fills, the write that finds it full fails within its wait, the user is told once and
// the run goes on without its log; a stop still ends it within 2 s.
TEST_F(FaultTest, ALogPipeThatIsNeverReadIsAFailedWrite) {
  const std::string fifo = (dir_ / "log.fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  (void)::fcntl(reader, F_SETPIPE_SZ, 4096);
  testsupport::ModemSimProcess sim({"--seed", "35"});
  ASSERT_TRUE(sim.Started());
  ChildProcess monitor(MonitorArgs(sim.DevicePath(), 0, fifo), dir_, "monitor");
  ASSERT_TRUE(
      WaitUntil([&] { return monitor.Stderr().find("Невозможно записать протокол") != std::string::npos; }, 90s))
      << "no failed write reported; stderr: " << monitor.Stderr();
  const int failedAt = CyclesAnnounced(monitor.Stdout());
  ASSERT_TRUE(WaitUntil([&] { return CyclesAnnounced(monitor.Stdout()) >= failedAt + 2; }, 30s))
      << "the run did not go on without its log";
  monitor.Signal(SIGTERM);
  const auto status = monitor.WaitExit(Promptly(2s));
  ASSERT_TRUE(status.has_value()) << "the monitor did not stop in time";
  EXPECT_EQ(*status, kExitError);
  EXPECT_EQ(CountOf(monitor.Stderr(), "Невозможно записать протокол"), 1) << monitor.Stderr();
  ::close(reader);
}

}  // namespace
}  // namespace faults
