// The headless tool against simulated modems that behave like real ones in the field: fewer
// than six neighbours in view, and a serving cell on E-GSM channels.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/text_lines.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;

namespace {

using testsupport::Lines;

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "/" + std::to_string(::getpid()) + "-" + name;
}

// Milliseconds between successive "AT^MONI" commands in a simulator's command log.
std::vector<long long> PollPeriods(const std::string& commandLog) {
  std::vector<long long> times;
  std::ifstream in(commandLog);
  long long ms = 0;
  std::string command;
  while (in >> ms >> command) {
    if (command == "AT^MONI") times.push_back(ms);
  }
  std::vector<long long> periods;
  for (std::size_t i = 1; i < times.size(); ++i) periods.push_back(times[i] - times[i - 1]);
  return periods;
}

// The cells of the last cycle's row that starts with label, in the text table: serving cell
// first, then neighbours 1 to 6.
std::vector<std::string> LastRow(const std::string& output, const std::string& label) {
  std::vector<std::string> row;
  for (const auto& line : Lines(output)) {
    if (line.rfind(label, 0) == 0) row = Words(line.substr(label.size()));
  }
  return row;
}

}  // namespace

TEST(RealModems, FewerNeighboursKeepThePollPeriodAndShowTheRestNotAvailable) {
  constexpr int kCycles = 4;
  std::vector<long long> sixPeriods;
  for (int neighbours = 6; neighbours >= 0; --neighbours) {  // six first: the period to keep
    SCOPED_TRACE(std::to_string(neighbours) + " neighbours");
    const std::string commands = TempPath("commands-" + std::to_string(neighbours) + ".txt");
    std::filesystem::remove(commands);
    testsupport::ModemSimProcess sim(
        {"--seed", "4", "--neighbours", std::to_string(neighbours), "--log-commands", commands});
    ASSERT_TRUE(sim.Started());
    ChildProcess tool({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--speed", "115200", "--cycles",
                       std::to_string(kCycles), "--format", "text"});
    ASSERT_EQ(tool.Wait(30s), 0) << tool.Stderr();

    const auto levels = LastRow(tool.Stdout(), "Уровень:");
    const auto bands = LastRow(tool.Stdout(), "GSM:");
    ASSERT_EQ(levels.size(), 7u) << tool.Stdout();
    ASSERT_EQ(bands.size(), 7u) << tool.Stdout();
    for (int cell = 0; cell <= 6; ++cell) {
      SCOPED_TRACE(cell);
      if (cell <= neighbours) {
        EXPECT_NE(levels[static_cast<std::size_t>(cell)], "(n/a)");
      } else {
        EXPECT_EQ(levels[static_cast<std::size_t>(cell)], "(n/a)");
        EXPECT_EQ(bands[static_cast<std::size_t>(cell)], "(n/a)");
      }
    }

    // A read that waits out its time-out costs a whole second; the cycle is 0.4 s of pauses
    // and the exchanges. So every period stays below the six-neighbour period plus a second.
    const auto periods = PollPeriods(commands);
    ASSERT_EQ(periods.size(), static_cast<std::size_t>(kCycles - 1));
    if (neighbours == 6) {
      sixPeriods = periods;
      std::sort(sixPeriods.begin(), sixPeriods.end());
    }
    const long long reference = sixPeriods[sixPeriods.size() / 2];
    for (const long long period : periods) EXPECT_LT(period, reference + 1000) << "a read waited out its time-out";
  }
}

TEST(RealModems, RunOnExtendedBandChannelsCountsAsGsm900) {
  testsupport::ModemSimProcess sim({"--seed", "4", "--band", "egsm"});
  ASSERT_TRUE(sim.Started());
  const std::string log = TempPath("egsm.log");
  std::filesystem::remove(log);
  ChildProcess tool({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--speed", "115200", "--cycles", "3",
                     "--format", "text", "--log", log});
  ASSERT_EQ(tool.Wait(30s), 0) << tool.Stderr();
  EXPECT_EQ(LastRow(tool.Stdout(), "GSM:"), std::vector<std::string>(7, "EGSM"));

  ChildProcess report({GSMMON_CLI_PATH, "report", log});
  ASSERT_EQ(report.Wait(10s), 0) << report.Stderr();
  const auto lines = Lines(report.Stdout());
  ASSERT_EQ(lines.size(), 41u);
  EXPECT_EQ(lines[29], "GSM 900: 100%");
  EXPECT_EQ(lines[30], "GSM 1800: 0%");
  EXPECT_EQ(lines[40].rfind("Диапазон|EGSM  |", 0), 0u) << lines[40];
}
