// The monitor thread against scripted modems that fail in the ways the field knows.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/open_port_message.h"
#include "platform/text_encoding.h"
#include "tests/support/prompt_bound.h"
#include "tests/support/recording_sink.h"
#include "tests/support/recording_window.h"
#include "tests/support/scripted_modem.h"
#include "tests/support/session_under_test.h"

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
  testsupport::InitCore(window);
  testsupport::StartMonitor();
  EXPECT_TRUE(window.WaitFor([] { return !testsupport::MonitorThreadRunning(); }, limit));
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
  EXPECT_FALSE(testsupport::ConnectionActive());
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
  // The refusal is no firmware revision: the field keeps its "(n/a)".
  EXPECT_TRUE(window.shown.Fields().empty());
  for (const auto& call : calls) EXPECT_EQ(call.rfind("error", 0), std::string::npos) << call;
  EXPECT_TRUE(window.Saw("layout ModemLayout"));
  EXPECT_FALSE(window.Saw("layout MonitorLayout"));
  EXPECT_EQ(calls.back(), "layout PortLayout");

  // A new connection can start at once.
  testsupport::RecordingWindow again({"/dev/no-such-modem", 9600});
  RunConnection(again);
  EXPECT_TRUE(again.Saw("settings"));
}

// The disconnect button against a modem that drips a byte a second into the serving report and
// never ends the line: the connection ends within 2 s, and the modem still gets its "ATZ".
TEST(MonitorFailures, StopAgainstADrippingModemEndsWithinTwoSeconds) {
  std::atomic<bool> dripping{false};
  testsupport::ScriptedModem peer([&dripping](const std::string& command) {
    if (command == "AT^MONI") {
      dripping.store(true);
      return testsupport::ScriptedReply{"\r\nServing Cell\r\n", false, false, 1000ms};
    }
    if (command.starts_with("AT+CG")) return testsupport::ScriptedReply{Answer("VALUE") + Answer("OK")};
    return testsupport::ScriptedReply{Answer("OK")};
  });
  testsupport::RecordingWindow window({peer.Path(), 9600});
  testsupport::InitCore(window);
  testsupport::StartMonitor();
  ASSERT_TRUE(window.WaitFor([&] { return dripping.load(); }, 30s));
  std::this_thread::sleep_for(1500ms);  // well inside the drip
  const auto stop = std::chrono::steady_clock::now();
  testsupport::StopMonitor(false);
  ASSERT_TRUE(window.WaitFor([] { return !testsupport::MonitorThreadRunning(); }, 30s));
  EXPECT_LT(std::chrono::steady_clock::now() - stop, testsupport::Promptly(2s));
  EXPECT_EQ(peer.Commands().back(), "ATZ");
  for (const auto& call : window.Calls()) EXPECT_NE(call.rfind("error", 0), 0u) << call;
}

// The second line says why, in words the user can act on.
TEST(MonitorFailures, OpenPortMessageNamesTheCause) {
  using platform::ErrorReason;
  struct Case {
    const char* port;
    platform::SystemError error;
    const char* reason;  // UTF-8; "" for no second line
  };
  const Case cases[] = {
      {"/dev/ttyUSB0", {ErrorReason::notFound, ENOENT}, "Нет такого устройства"},
      {"COM2", {ErrorReason::notFound, ENOENT}, "Нет такого устройства (/dev/ttyS1)"},
      {"/dev/ttyUSB0",
       {ErrorReason::noPermission, EACCES},
       "Нет прав на доступ к порту: добавьте пользователя в группу dialout и войдите в систему заново"},
      {"/dev/ttyACM0", {ErrorReason::busy, EBUSY}, "Порт занят другой программой (например, ModemManager)"},
      {"./notes.txt", {ErrorReason::wrongType, 0}, "Это не последовательный порт"},
      {"/dev/ttyS0", {ErrorReason::other, EMFILE}, "Системная ошибка 24 (EMFILE)"},
      {"/dev/ttyS0", {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    std::string expected = std::string("Невозможно открыть порт "_cp1251) + c.port;
    if (*c.reason != '\0') expected += "\n" + platform::Utf8ToCp1251(c.reason);
    EXPECT_EQ(core::OpenPortMessage(c.port, c.error), expected);
  }
}
