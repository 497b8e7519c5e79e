// A scripted modem that answers with noise, leaves lines unended, babbles without end or hangs up
// at an exact command: the headless monitor must end within its waits, without a crash, with
// the documented exit status.

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>

#include "tests/faults/fault_fixture.h"
#include "tests/support/scripted_answers.h"
#include "tests/support/scripted_modem.h"

namespace faults {
namespace {

using testsupport::GoodAnswer;
using testsupport::kNeighbours;
using testsupport::kOk;
using testsupport::kServing;

using testsupport::ScriptedModem;
using testsupport::ScriptedReply;

constexpr auto kEndBound = 60s;

bool IsReport(const std::string& command) { return command == "AT^MONI" || command == "AT^MONP"; }

std::string RandomBytes(std::mt19937& random) {
  std::uniform_int_distribution<int> length(1, 200);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(static_cast<std::size_t>(length(random)), '\0');
  for (auto& b : bytes) b = static_cast<char>(byte(random));
  return bytes;
}

struct GarbageCase {
  const char* name;
  ScriptedModem::Script script;
  int cycles;  // --cycles, 0 for none
  int expectedStatus;
  const char* expectedError;  // a UTF-8 part of stderr, or ""
};

// Test names in listings show the row name, not the bytes of the row.
void PrintTo(const GarbageCase& row, std::ostream* out) { *out << row.name; }

class GarbageTest : public FaultTest, public testing::WithParamInterface<GarbageCase> {};

TEST_P(GarbageTest, EndsWithinTheWaits) {
  const GarbageCase& row = GetParam();
  ScriptedModem modem(row.script);
  ASSERT_FALSE(modem.Path().empty());
  ChildProcess monitor(MonitorArgs(modem.Path(), row.cycles), dir_, "monitor");
  const auto status = monitor.WaitExit(kEndBound);
  ASSERT_TRUE(status.has_value()) << "the monitor still runs; commands seen: " << modem.Commands().size();
  EXPECT_EQ(*status, row.expectedStatus) << monitor.Stderr();
  EXPECT_NE(monitor.Stderr().find(row.expectedError), std::string::npos) << monitor.Stderr();
}

ScriptedModem::Script NoiseToEverything(unsigned seed) {
  return [random = std::mt19937(seed)](const std::string&) mutable { return ScriptedReply{RandomBytes(random)}; };
}

ScriptedModem::Script NoiseToReports(unsigned seed) {
  return [random = std::mt19937(seed)](const std::string& command) mutable {
    return IsReport(command) ? ScriptedReply{RandomBytes(random)} : GoodAnswer(command);
  };
}

// The serving report's value line is the last thing the modem sends: no line end, no "OK".
ScriptedReply ServingWithoutLineEnd(const std::string& command) {
  if (command == "AT^MONI") return {kServing.substr(0, kServing.size() - 2)};
  return GoodAnswer(command);
}

// Every answer's closing "OK" comes without its line end: each costs one read time-out.
ScriptedReply OkWithoutLineEnd(const std::string& command) {
  ScriptedReply reply = GoodAnswer(command);
  reply.bytes.resize(reply.bytes.size() - 2);
  return reply;
}

ScriptedReply BabbleAfterServingTitle(const std::string& command) {
  if (command == "AT^MONI") return {"\r\nServing Cell\r\n", false, true};
  return GoodAnswer(command);
}

// A modem of no known family that answers its identity and refuses everything else: it falls
// back to the 3GPP baseline, refuses that too, and the run ends instead of polling nothing.
ScriptedReply RefusesAllButIdentity(const std::string& command) {
  for (const char* answered : {"ATZ", "ATE", "AT+CGMR", "AT+CGSN", "AT+CGMI", "AT+CGMM"}) {
    if (command == answered) return GoodAnswer(command);
  }
  return {"\r\nERROR\r\n"};
}

ScriptedModem::Script HangUpAt(std::string at, int occurrence) {
  return [at = std::move(at), occurrence, seen = 0](const std::string& command) mutable {
    if (command == at && ++seen == occurrence) return ScriptedReply{"", true};
    return GoodAnswer(command);
  };
}

const char* const kNoModem = "Нет связи с GSM-модемом";
const char* const kConnectionLost = "Связь с GSM-модемом прервана";

INSTANTIATE_TEST_SUITE_P(
    Scripts, GarbageTest,
    testing::Values(
        GarbageCase{"NoiseToEverything1", NoiseToEverything(1), 0, kExitError, kNoModem},
        GarbageCase{"NoiseToEverything2", NoiseToEverything(2), 0, kExitError, kNoModem},
        GarbageCase{"NoiseToReports", NoiseToReports(3), 0, kExitConnectionEnded, kConnectionLost},
        GarbageCase{"ServingWithoutLineEnd", ServingWithoutLineEnd, 0, kExitConnectionEnded, kConnectionLost},
        GarbageCase{"OkWithoutLineEnd", OkWithoutLineEnd, 1, kExitNormal, ""},
        GarbageCase{"RefusesAllButIdentity", RefusesAllButIdentity, 0, kExitConnectionEnded,
                    "Модем отклонил команду AT+CESQ"},
        GarbageCase{"HangUpAtManufacturer", HangUpAt("AT+CGMI", 1), 0, kExitConnectionEnded, kConnectionLost},
        GarbageCase{"HangUpAtNeighbours", HangUpAt("AT^MONP", 2), 0, kExitConnectionEnded, kConnectionLost}),
    [](const testing::TestParamInfo<GarbageCase>& row) { return std::string(row.param.name); });

// A modem that sends bytes without end and never a line end: the reader cuts them into long
// lines, the wait for the report gives up, and the connection ends.
TEST_F(FaultTest, BabblingModemEndsTheConnection) {
  ScriptedModem modem(BabbleAfterServingTitle);
  ChildProcess monitor(MonitorArgs(modem.Path(), 0), dir_, "monitor");
  const auto status = monitor.WaitExit(kEndBound);
  ASSERT_TRUE(status.has_value()) << "the monitor still reads the endless line";
  EXPECT_EQ(*status, kExitConnectionEnded) << monitor.Stderr();
}

}  // namespace
}  // namespace faults
