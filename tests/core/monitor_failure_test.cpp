// The monitor thread against scripted modems that fail in the ways the field knows.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/monitor.h"
#include "platform/text_encoding.h"
#include "tests/support/recording_window.h"
#include "tests/support/scripted_modem.h"

using namespace platform::literals;
using namespace std::chrono_literals;
using Commands = std::vector<std::string>;

namespace {

// Answers as a V.250 modem does after "ATE": every line framed by CR LF, echo off.
std::string Answer(const std::string& line) { return "\r\n" + line + "\r\n"; }

testsupport::ScriptedReply ResetAndEchoOnly(const std::string& command) {
  if (command == "ATZ") return {"ATZ\r" + Answer("OK")};
  if (command == "ATE") return {"ATE\r" + Answer("OK")};
  return {};
}

// Runs one connection to its end (the monitor thread gone) and returns the window's calls.
std::vector<std::string> RunConnection(testsupport::RecordingWindow& window, std::chrono::seconds limit = 30s) {
  core::InitCore(window);
  core::StartMonitor();
  EXPECT_TRUE(window.WaitFor([] { return !core::MonitorThreadRunning(); }, limit));
  return window.Calls();
}

}  // namespace

TEST(MonitorFailures, MissingPortShowsItsNameAndReturnsToIdle) {
  testsupport::RecordingWindow window({"/dev/no-such-modem", 9600});
  const auto calls = RunConnection(window);
  const std::string error = "error " + std::string("Невозможно открыть порт "_cp1251) + "/dev/no-such-modem\n" +
                            std::string("Нет такого устройства"_cp1251);
  EXPECT_EQ(calls, (std::vector<std::string>{"prepare", "state 01", "settings", "mark 10", "mark 11", error, "state 10",
                                             "layout PortLayout"}));
  EXPECT_FALSE(core::ConnectionActive());
}

TEST(MonitorFailures, SilentModemAtResetShowsNoConnection) {
  testsupport::ScriptedModem peer([](const std::string&) { return testsupport::ScriptedReply{}; });
  testsupport::RecordingWindow window({peer.Path(), 115200});
  const auto calls = RunConnection(window);
  EXPECT_TRUE(window.Saw("error " + std::string("Нет связи с GSM-модемом"_cp1251)));
  EXPECT_EQ(peer.Commands(), (Commands{"ATZ", "ATE"}));
  // The disconnecting state and PortLayout come before the clean-up's idle state.
  const std::vector<std::string> tail(calls.end() - 4, calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"state 11", "layout PortLayout", "state 10", "layout PortLayout"}));
}

TEST(MonitorFailures, RefusedFirmwareQueryEndsQuietlyWithoutReset) {
  testsupport::ScriptedModem peer([](const std::string& command) {
    if (command == "AT+CGMR") return testsupport::ScriptedReply{Answer("ERROR")};
    return ResetAndEchoOnly(command);
  });
  testsupport::RecordingWindow window({peer.Path(), 9600});
  const auto calls = RunConnection(window);
  EXPECT_EQ(peer.Commands(), (Commands{"ATZ", "ATE", "AT+CGMR"}));
  for (const auto& call : calls) EXPECT_EQ(call.rfind("error", 0), std::string::npos) << call;
  EXPECT_TRUE(window.Saw("layout ModemLayout"));
  EXPECT_FALSE(window.Saw("layout MonitorLayout"));
  EXPECT_EQ(calls.back(), "layout PortLayout");

  // A new connection can start at once.
  testsupport::RecordingWindow again({"/dev/no-such-modem", 9600});
  RunConnection(again);
  EXPECT_TRUE(again.Saw("settings"));
}
