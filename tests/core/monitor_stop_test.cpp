// Stopping a connection at its edges: during the identity queries (no log is created), and a
// close of the window in the instant the connection ends by itself (one decision, never a
// close refused for good).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "core/log_recorder.h"
#include "log/log_writer.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/recording_window.h"
#include "tests/support/scripted_modem.h"
#include "tests/support/session_under_test.h"

using namespace std::chrono_literals;

namespace {

bool WaitForEnd(testsupport::RecordingWindow& window, std::chrono::seconds limit = 40s) {
  return window.WaitFor([] { return !testsupport::MonitorThreadRunning(); }, limit);
}

// A modem that answers the reset and the echo command, and drops the line at the first identity
// query: the connection ends by itself, quickly.
testsupport::ScriptedReply DropAtIdentity(const std::string& command) {
  if (command == "ATZ") return {"ATZ\r\r\nOK\r\n"};
  if (command == "ATE") return {"ATE\r\r\nOK\r\n"};
  return {"", true};
}

}  // namespace

TEST(MonitorStop, StopDuringIdentityCreatesNoLog) {
  struct Case {
    const char* name;
    const char* stopAtLayout;  // or nullptr: stop at the first sweep
    bool logCreated;
  };
  const Case cases[] = {{"stop during the identity queries", "ModemLayout", false},
                        {"stop after the first cycle", nullptr, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::ModemSimProcess sim({"--seed", "11"});
    ASSERT_TRUE(sim.Started());
    testsupport::RecordingWindow window({sim.DevicePath(), 115200});
    const std::string path = ::testing::TempDir() + "/stop-" + std::to_string(::getpid()) + ".log";
    std::filesystem::remove(path);
    std::atomic<int> namesAsked{0};
    gsmlog::TLogWriter writer;
    core::LogRecorder recorder(
        window, writer,
        [&] {
          ++namesAsked;
          return path;
        },
        nullptr);
    if (c.stopAtLayout) {
      window.onLayout = [&c](const std::string& layout) {
        if (layout == c.stopAtLayout) testsupport::StopMonitor(false);
      };
    } else {
      window.onSweep = [] { testsupport::StopMonitor(false); };
    }
    testsupport::InitCore(window, &recorder);
    testsupport::StartMonitor();
    ASSERT_TRUE(WaitForEnd(window));

    EXPECT_EQ(namesAsked.load(), c.logCreated ? 1 : 0);
    EXPECT_EQ(std::filesystem::exists(path), c.logCreated);
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_EQ(window.Calls().back(), "layout PortLayout");
    std::filesystem::remove(path);
  }
}

TEST(MonitorStop, CloseWhilePollingIsRefusedUntilTheThreadHasEndedTheProgram) {
  testsupport::ModemSimProcess sim({"--seed", "11"});
  ASSERT_TRUE(sim.Started());
  testsupport::RecordingWindow window({sim.DevicePath(), 115200});
  std::atomic<int> refused{0};
  window.onSweep = [&refused] {
    // The close, and the user trying again while the connection finishes.
    refused += testsupport::StopMonitor(true);
    refused += testsupport::StopMonitor(true);
  };
  testsupport::InitCore(window);
  testsupport::StartMonitor();
  ASSERT_TRUE(WaitForEnd(window));
  EXPECT_EQ(refused.load(), 2);
  EXPECT_EQ(window.Count("exit"), 1);
  EXPECT_EQ(window.Calls().back(), "exit");
  EXPECT_FALSE(testsupport::ExitAfterStop());
  EXPECT_FALSE(testsupport::StopMonitor(true));  // nothing left running: a close goes through
}

TEST(MonitorStop, CloseAsTheConnectionEndsIsDecidedOnce) {
  // The close is requested from another thread the moment the ending connection turns the
  // window idle, racing the thread's last steps. Either the close came first and the thread
  // ends the program, or the connection had gone and the close goes through at once.
  for (int round = 0; round < 25; ++round) {
    SCOPED_TRACE(round);
    testsupport::ScriptedModem peer(DropAtIdentity);
    testsupport::RecordingWindow window({peer.Path(), 115200});
    std::atomic<bool> closeRefused{false};
    std::thread closer;
    window.onLayout = [&, round](const std::string& layout) {
      if (layout == "PortLayout" && !closer.joinable()) {
        closer = std::thread([&closeRefused] { closeRefused = testsupport::StopMonitor(true); });
        // Holds the ending thread a little longer each round, so both orders occur.
        std::this_thread::sleep_for(std::chrono::microseconds(40 * round));
      }
    };
    testsupport::InitCore(window);
    testsupport::StartMonitor();
    ASSERT_TRUE(WaitForEnd(window, 10s));
    ASSERT_TRUE(closer.joinable());
    closer.join();

    EXPECT_EQ(closeRefused.load(), window.Saw("exit"));
    EXPECT_FALSE(testsupport::ExitAfterStop());
    EXPECT_FALSE(testsupport::StopMonitor(true));  // a later close is never refused
  }
}
