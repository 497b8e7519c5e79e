#include "modem/modem.h"

#include <gtest/gtest.h>

#include "modem/com_port.h"
#include "modem/link_state.h"
#include "parser/measurement_fields.h"
#include "tests/modem/pty_pair.h"
#include "tests/support/recording_sink.h"

namespace {

using modemtest::PtyPair;
using modemtest::ScopedActivePort;
using modemtest::ScriptedPeer;
using testsupport::RecordedField;

class ModemTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(port_.Opened()); }
  // The texts the engine handed to the diagnostic output, in order.
  std::vector<std::string> Diagnostics() const { return display_.Diagnostics(); }

  // Exchanges are positional: what one case left unread must not shift the next.
  static void discardInput() {
    std::string rest;
    while (modem::ReadLineOk(modem::ActivePort(), rest)) {
    }
  }

  PtyPair pty_;
  ScopedActivePort port_{pty_.SlavePath()};
  testsupport::ScopedDisplayRecorder display_;
};

TEST_F(ModemTest, ReadReplyStepsOverRing) {
  struct Case {
    const char* input;
    bool ok;
    const char* line;
  };
  const Case cases[] = {
      {"RING\r\nOK\r\n", true, "OK"},
      {"+CME ERROR\r\n", true, "+CME ERROR"},
      {"RING\r\n", false, ""},
      {"RING\r", false, ""},
      {"", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    pty_.Feed(c.input);
    std::string line;
    EXPECT_EQ(modem::ReadReply(line), c.ok);
    EXPECT_EQ(line, c.line);
    discardInput();
  }
}

TEST_F(ModemTest, InitModem) {
  struct Case {
    const char* name;
    std::vector<std::string> replies;
    bool ok;
  };
  const std::vector<Case> cases = {
      {"echoing modem", {"ATZ\r\r\nOK\r\n", "ATE\r\r\nOK\r\n"}, true},
      {"no OK after ATZ", {"", "\r\nOK\r\n"}, true},
      {"ATE refused", {"\r\nOK\r\n", "\r\nERROR\r\n"}, false},
      {"silent modem", {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    discardInput();
    ScriptedPeer peer(pty_, c.replies);
    EXPECT_EQ(modem::InitModem(), c.ok);
    EXPECT_EQ(peer.Stop(), (std::vector<std::string>{"ATZ", "ATE"}));
  }
}

TEST_F(ModemTest, QueryFieldTakesTheFourthRead) {
  struct Case {
    const char* name;
    const char* reply;
    int code;
    bool ok;
    std::vector<RecordedField> shown;
  };
  const std::vector<Case> cases = {
      {"after an answer's LF", "\n\r\nREV 1\r\n\r\nOK\r\n", parser::fcFirmware, true, {{4, 0, "REV 1"}}},
      {"fourth read empty", "\r\nREV 1\r\n\r\nOK\r\n", parser::fcModel, true, {{3, 0, ""}}},
      {"code refused", "\n\r\nX\r\n\r\nOK\r\n", 5, false, {}},
      {"no OK", "\n\r\n12345\r\n\r\nERROR\r\n", parser::fcImei, false, {}},
      {"refused", "\n\r\nERROR\r\n", parser::fcFirmware, false, {}},
      {"reply cut short", "\n\r\n", parser::fcImei, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    discardInput();
    display_.Clear();
    ScriptedPeer peer(pty_, {c.reply});
    EXPECT_EQ(modem::QueryField("AT+CGMR", "", c.code), c.ok);
    EXPECT_EQ(peer.Stop(), std::vector<std::string>{"AT+CGMR"});
    EXPECT_EQ(display_.Fields(), c.shown);
  }
}

TEST_F(ModemTest, RunCommandOutsideTheTable) {
  ScriptedPeer peer(pty_, {"\r\nERROR\r\n"});
  EXPECT_FALSE(modem::RunCommand("AT+COPS", "?"));
  EXPECT_EQ(peer.Stop(), std::vector<std::string>{"AT+COPS?"});
  EXPECT_EQ(Diagnostics(), std::vector<std::string>{"*** ERROR:Unknown AT-core command: AT+COPS?"});
}

TEST_F(ModemTest, RunCommandCallAnswers) {
  // Each reply line ends with CR alone, so one read takes one line.
  struct Case {
    const char* name;
    const char* command;
    const char* argument;
    const char* reply;
    bool ok;
    std::vector<std::string> errors;
  };
  const std::vector<Case> cases = {
      {"empty second lines, OK", "ATD", "0123;", "\r\r\rOK\r\r\rOK\r", true, {}},
      {"empty second lines, other final", "ATH", "", "\r\r\rOK\r\r\rNO CARRIER\r", true, {"*** ERROR:NO CARRIER"}},
      {"non-empty line at index 1", "ATD", "0123;", "\r\r\rOK\r\rBUSY\rX\rY\r", false, {"*** ERROR:PARSE ERROR"}},
      {"index 1 empty after a line", "ATH", "", "\r\r\rOK\r\rX\r\rOK\r", true, {}},
      {"RING before the answer", "ATD", "5;", "\r\rRING\r\r\rOK\r\r\rOK\r", true, {}},
      {"silence", "ATH", "", "", false, {"*** ERROR:PARSE ERROR"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    discardInput();
    display_.Clear();
    ScriptedPeer peer(pty_, {c.reply});
    EXPECT_EQ(modem::RunCommand(c.command, c.argument), c.ok);
    EXPECT_EQ(peer.Stop(), std::vector<std::string>{std::string(c.command) + c.argument});
    EXPECT_EQ(Diagnostics(), c.errors);
  }
}

TEST_F(ModemTest, RunCommandFieldCodeEntryDispatchesEachLine) {
  ScriptedPeer peer(pty_, {"\r\r\r250011234567890\r\r\rOK\r"});
  EXPECT_TRUE(modem::RunCommand("AT+CIMI", ""));
  peer.Stop();
  EXPECT_EQ(display_.Fields(), (std::vector<RecordedField>{{parser::fcImsi, 0, "250011234567890"}}));
}

TEST(CommandTableTest, TenEntriesInSearchOrder) {
  const char* expected[] = {"ATZ",     "ATE",     "ATD",     "ATH",     "AT^MONI",
                            "AT+CGSN", "AT+CGMI", "AT+CGMM", "AT+CGMR", "AT+CIMI"};
  const auto table = modem::CommandTable();
  ASSERT_EQ(table.size(), 10u);
  for (std::size_t i = 0; i < table.size(); ++i) EXPECT_EQ(table[i].command, expected[i]);
  EXPECT_EQ(std::get<int>(table[9].handler), parser::fcImsi);
}

TEST(CommandTableTest, CellReportHandler) {
  testsupport::ScopedDisplayRecorder display;
  std::string state;
  EXPECT_TRUE(modem::CellReportHandler("Serving Cell x", 0, state));
  EXPECT_FALSE(modem::CellReportHandler("Serving Cel", 0, state));
  EXPECT_FALSE(modem::CellReportHandler("chann dBm", 1, state));
  EXPECT_TRUE(modem::CellReportHandler("chann,dBm", 1, state));
  EXPECT_EQ(state, "chann,dBm");
  EXPECT_TRUE(modem::CellReportHandler("Neighbour Cells", 3, state));
  EXPECT_FALSE(modem::CellReportHandler("Neighbour Cells:", 3, state));
  state = "chann  dBm";
  EXPECT_TRUE(modem::CellReportHandler("25  -71", 2, state));
  EXPECT_TRUE(modem::CellReportHandler("30  -80", 5, state));
  EXPECT_TRUE(modem::CellReportHandler("40  -90", 10, state));
  EXPECT_FALSE(modem::CellReportHandler("50  -95", 11, state));
  const auto fields = display.Fields();
  EXPECT_NE(std::find(fields.begin(), fields.end(), RecordedField{parser::fcRxLevel, 0, "-71"}), fields.end());
  EXPECT_NE(std::find(fields.begin(), fields.end(), RecordedField{parser::fcRxLevel, 1, "-80"}), fields.end());
  EXPECT_NE(std::find(fields.begin(), fields.end(), RecordedField{parser::fcRxLevel, 6, "-90"}), fields.end());
}

TEST(CommandTableTest, CallHandlerAcceptsOnlyLineOne) {
  std::string state;
  for (int index : {0, 1, 2, 5}) EXPECT_EQ(modem::CallHandler("x", index, state), index == 1);
}

TEST(CommandLockTest, RunCommandHoldsTheLock) {
  PtyPair pty;
  ScopedActivePort port(pty.SlavePath());
  std::unique_lock lock(modem::CommandLock());
  std::atomic<bool> done{false};
  modem::Link& link = modem::CurrentLink();
  std::thread worker([&] {
    const modem::ScopedLink scope(link);
    modem::RunCommand("AT+X", "");
    done = true;
  });
  // The worker cannot have sent anything while the lock is held.
  EXPECT_EQ(pty.Drain(100), "");
  EXPECT_FALSE(done);
  lock.unlock();
  worker.join();
  EXPECT_EQ(pty.Drain(), "AT+X\r\n");
}

}  // namespace
