// The monitor thread against the simulated modem: the exchanges, their order and pauses, the
// values, and stopping, calling and unplugging while it polls.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "parser/measurement_fields.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/recording_sink.h"
#include "tests/support/recording_window.h"
#include "tests/support/session_under_test.h"

using namespace std::chrono_literals;

namespace {

struct ReceivedCommand {
  long long ms;
  std::string text;
};

class MonitorPollTest : public ::testing::Test {
 protected:
  void StartSim(std::vector<std::string> args) {
    commandLog_ = ::testing::TempDir() + "/commands-" + std::to_string(::getpid()) + ".txt";
    std::remove(commandLog_.c_str());
    args.insert(args.end(), {"--seed", "11", "--log-commands", commandLog_});
    sim_ = std::make_unique<testsupport::ModemSimProcess>(args);
    ASSERT_TRUE(sim_->Started());
    window_ = std::make_unique<testsupport::RecordingWindow>(core::PortSettings{sim_->DevicePath(), 115200});
  }

  // Starts a connection; stopAfter > 0 requests the stop at that sweep.
  void Connect(int stopAfter, bool exitAfter = false) {
    window_->onSweep = [this, stopAfter, exitAfter] {
      const int n = ++sweeps_;
      if (onSweep) onSweep(n);
      if (n == stopAfter) testsupport::StopMonitor(exitAfter);
    };
    testsupport::InitCore(*window_);
    testsupport::StartMonitor();
  }

  bool WaitForEnd(std::chrono::seconds limit = 40s) {
    return window_->WaitFor([] { return !testsupport::MonitorThreadRunning(); }, limit);
  }

  std::vector<ReceivedCommand> Commands() const {
    std::vector<ReceivedCommand> commands;
    std::ifstream in(commandLog_);
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      ReceivedCommand command;
      fields >> command.ms >> command.text;
      commands.push_back(command);
    }
    return commands;
  }
  std::vector<std::string> CommandTexts() const {
    std::vector<std::string> texts;
    for (const auto& c : Commands()) texts.push_back(c.text);
    return texts;
  }

  std::unique_ptr<testsupport::ModemSimProcess> sim_;
  std::unique_ptr<testsupport::RecordingWindow> window_;
  std::atomic<int> sweeps_{0};
  std::function<void(int)> onSweep;
  std::string commandLog_;
};

const std::vector<std::string> kStart = {"ATZ", "ATE", "AT+CGMR", "AT+CGSN", "AT+CGMI", "AT+CGMM"};

}  // namespace

TEST_F(MonitorPollTest, PollsInOrderWithItsPausesAndResetsAtTheEnd) {
  StartSim({});
  Connect(2);
  ASSERT_TRUE(WaitForEnd());

  std::vector<std::string> expected = kStart;
  expected.insert(expected.end(), {"AT^MONI", "AT^MONP", "AT^MONI", "AT^MONP", "ATZ"});
  EXPECT_EQ(CommandTexts(), expected);
  const auto commands = Commands();
  ASSERT_EQ(commands.size(), expected.size());
  EXPECT_GE(commands[7].ms - commands[6].ms, 100);  // MONI -> MONP
  EXPECT_GE(commands[8].ms - commands[7].ms, 300);  // MONP -> next MONI

  // Identity first, in query order, then every cell of both cycles.
  const auto fields = window_->shown.Fields();
  ASSERT_GE(fields.size(), 4u);
  EXPECT_EQ(fields[0].fieldCode, parser::fcFirmware);
  EXPECT_EQ(fields[0].text, "REVISION 01.002");
  EXPECT_EQ(fields[1].fieldCode, parser::fcImei);
  EXPECT_EQ(fields[1].text.size(), 15u);
  EXPECT_EQ(fields[2].fieldCode, parser::fcManufacturer);
  EXPECT_EQ(fields[3].fieldCode, parser::fcModel);
  for (int cell = 0; cell <= 6; ++cell) {
    SCOPED_TRACE(cell);
    const auto levels = std::count_if(fields.begin(), fields.end(), [cell](const auto& f) {
      return f.fieldCode == parser::fcRxLevel && f.cellIndex == cell;
    });
    EXPECT_EQ(levels, 2);
  }

  const auto calls = window_->Calls();
  const std::vector<std::string> head = {
      "prepare", "state 01", "settings", "mark 10", "mark 11", "layout ModemLayout", "state 00", "layout MonitorLayout",
      "mark 01", "mark 00"};
  EXPECT_TRUE(std::equal(head.begin(), head.end(), calls.begin()));
  const std::vector<std::string> tail(calls.end() - 5, calls.end());
  EXPECT_EQ(tail,
            (std::vector<std::string>{"state 11", "layout PortLayout", "mark 00", "state 10", "layout PortLayout"}));
}

TEST_F(MonitorPollTest, ShortNeighbourReportDoesNotEndThePoll) {
  StartSim({"--neighbours", "3"});
  Connect(2);
  ASSERT_TRUE(WaitForEnd(60s));
  EXPECT_EQ(sweeps_.load(), 2);
  for (const auto& f : window_->shown.Fields()) EXPECT_LE(f.cellIndex, 3) << f.fieldCode;
  EXPECT_EQ(CommandTexts().back(), "ATZ");
}

// A stop does not wait for the modem: the identity queries still to come are never sent, and the
// modem is reset as after a poll.
TEST_F(MonitorPollTest, StopDuringIdentityEndsTheQueriesAndResets) {
  StartSim({});
  window_->onLayout = [](const std::string& layout) {
    if (layout == "ModemLayout") testsupport::StopMonitor(false);
  };
  Connect(0);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(CommandTexts(), (std::vector<std::string>{"ATZ", "ATE", "ATZ"}));
  EXPECT_FALSE(window_->Saw("layout MonitorLayout"));
  for (const auto& call : window_->Calls()) EXPECT_NE(call.rfind("error", 0), 0u) << call;
  EXPECT_EQ(window_->Calls().back(), "layout PortLayout");
}

TEST_F(MonitorPollTest, CloseDuringPollEndsTheProgramAfterTheCleanUp) {
  StartSim({});
  Connect(1, true);
  ASSERT_TRUE(WaitForEnd());
  const auto calls = window_->Calls();
  EXPECT_EQ(calls.back(), "exit");
  EXPECT_FALSE(window_->Saw("layout PortLayout") && calls[calls.size() - 2] != "layout PortLayout");
  EXPECT_EQ(CommandTexts().back(), "ATZ");
}

TEST_F(MonitorPollTest, CallsDuringPollingTakeTheirTurn) {
  StartSim({});
  onSweep = [](int n) {
    if (n == 1) testsupport::StartCall(true, "0123456");
    if (n == 2) testsupport::StartCall(false, "");
  };
  Connect(4);
  ASSERT_TRUE(WaitForEnd());
  const auto texts = CommandTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "ATD0123456;"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "ATH"), texts.end());
  EXPECT_EQ(sweeps_.load(), 4);
  EXPECT_EQ(texts.back(), "ATZ");
}

TEST_F(MonitorPollTest, ModemWithoutCellReportsEndsQuietlyWithReset) {
  StartSim({"--no-moni"});
  Connect(0);
  ASSERT_TRUE(WaitForEnd());
  std::vector<std::string> expected = kStart;
  expected.insert(expected.end(), {"AT^MONI", "ATZ"});
  EXPECT_EQ(CommandTexts(), expected);
  for (const auto& call : window_->Calls()) EXPECT_NE(call.rfind("error", 0), 0u) << call;
}

TEST_F(MonitorPollTest, UnpluggedOrSilentModemEndsTheConnection) {
  for (const char* fault : {"--hangup-after", "--silent-after"}) {
    SCOPED_TRACE(fault);
    StartSim({fault, "1"});
    Connect(0);
    ASSERT_TRUE(WaitForEnd(60s));
    EXPECT_EQ(window_->Calls().back(), "layout PortLayout");
    EXPECT_FALSE(testsupport::ConnectionActive());
    sim_.reset();
    sweeps_ = 0;
  }
}

// Other families: a modem of no known family is polled the seed family's way first and goes on
// with the 3GPP baseline once it refuses that report; a family's modem is set up and polled with
// its own commands, and a command it refused is not sent again.
TEST_F(MonitorPollTest, OtherFamiliesArePolledWithTheirOwnCommands) {
  const std::vector<std::string> baselineSetup = {"AT+CREG=2", "AT+CGREG=2", "AT+CEREG=2", "AT+COPS=3,2"};
  struct Row {
    std::vector<std::string> simArgs;
    std::vector<std::vector<std::string>> parts;
  };
  const std::vector<std::string> baseline = {"AT+CREG?", "AT+CGREG?", "AT+CEREG?", "AT+COPS?", "AT+CSQ", "AT+CESQ"};
  const Row rows[] = {
      {{"--dialect", "baseline", "--tech", "lte"}, {kStart, {"AT^MONI"}, baselineSetup, baseline, baseline, {"ATZ"}}},
      {{"--dialect", "quectel", "--tech", "lte"},
       {kStart,
        baselineSetup,
        {"AT+QENG=1", "AT+QENG=\"servingcell\"", "AT+QENG=\"neighbourcell\"", "AT+QENG?"},
        baseline,
        {"AT+QENG=\"servingcell\"", "AT+QENG=\"neighbourcell\""},
        baseline,
        {"ATZ"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.simArgs[1]);
    StartSim(row.simArgs);
    Connect(2);
    ASSERT_TRUE(WaitForEnd());
    std::vector<std::string> expected;
    for (const auto& part : row.parts) expected.insert(expected.end(), part.begin(), part.end());
    EXPECT_EQ(CommandTexts(), expected);
    for (const auto& call : window_->Calls()) EXPECT_NE(call.rfind("error", 0), 0u) << call;
    sim_.reset();
    sweeps_ = 0;
  }
}
