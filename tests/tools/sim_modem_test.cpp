#include "tools/gsm_modem_sim/sim_modem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace {

using modemsim::SimModem;
using modemsim::SimOptions;

TEST(SimModemTest, ExactBytesPerCommand) {
  struct Case {
    const char* name;
    std::vector<std::string> inputs;  // fed in order; the last one's output is checked
    std::string output;
  };
  const std::vector<Case> cases = {
      {"echo after power-on", {"ATZ\r\n"}, "ATZ\r\r\nOK\r\n"},
      {"ATE turns echo off", {"ATE\r\n", "AT+CGMI\r\n"}, "\r\nSIMULATED\r\n\r\nOK\r\n"},
      {"ATE itself is echoed", {"ATE\r\n"}, "ATE\r\r\nOK\r\n"},
      {"ATZ turns echo on again", {"ATE\r\n", "ATZ\r\n", "ATH\r\n"}, "ATH\r\r\nOK\r\n"},
      {"unknown command", {"ATE\r\n", "AT+COPS?\r\n"}, "\r\nERROR\r\n"},
      {"data call refused", {"ATE\r\n", "ATD123\r\n"}, "\r\nERROR\r\n"},
      {"voice call", {"ATE\r\n", "ATD0123;\r\n"}, "\r\nOK\r\n"},
      {"bytes split anywhere", {"ATE\r", "\nAT+C", "GMM\r", "\n"}, ""},
      {"LF only is no command", {"ATE\r\n", "\n\n"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimModem modem(SimOptions{});
    std::string output;
    for (const auto& input : c.inputs) output = modem.Receive(input);
    EXPECT_EQ(output, c.output);
  }
}

TEST(SimModemTest, SplitCommandIsAnsweredWhenItsCrArrives) {
  SimModem modem(SimOptions{});
  modem.Receive("ATE\r\n");
  EXPECT_EQ(modem.Receive("AT+C"), "");
  EXPECT_EQ(modem.Receive("GMM\r"), "\r\nGSM-SIM 900\r\n\r\nOK\r\n");
  EXPECT_EQ(modem.TakeCommands(), (std::vector<std::string>{"ATE", "AT+CGMM"}));
}

TEST(SimModemTest, EchoAlwaysKeepsEcho) {
  SimOptions options;
  options.echoAlways = true;
  SimModem modem(options);
  modem.Receive("ATE\r\n");
  EXPECT_EQ(modem.Receive("ATH\r\n"), "ATH\r\r\nOK\r\n");
}

std::vector<std::string> AnswerLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    if (end > start) lines.push_back(bytes.substr(start, end - start));
  }
  return lines;
}

TEST(SimModemTest, ReportsCarryTheColumnsAndMoveSlowly) {
  SimOptions options;
  options.seed = 42;
  options.neighbours = 4;
  SimModem modem(options);
  modem.Receive("ATE\r\n");
  int previousLevel = 0;
  for (int cycle = 0; cycle < 300; ++cycle) {
    SCOPED_TRACE(cycle);
    const auto serving = AnswerLines(modem.Receive("AT^MONI\r\n"));
    ASSERT_EQ(serving.size(), 4u);
    EXPECT_EQ(serving[0], "Serving Cell");
    for (const char* column : {"chann", "dBm", "MCC", "MNC", "LAC", "cell", "NCC", "BCC", "RxQFull", "TA", " I "}) {
      EXPECT_NE(serving[1].find(column), std::string::npos) << column;
    }
    EXPECT_NE(serving[2].find("I No connection"), std::string::npos);
    EXPECT_EQ(serving[3], "OK");
    std::istringstream values(serving[2]);
    int channel = 0, rs = 0, level = 0;
    values >> channel >> rs >> level;
    EXPECT_GE(level, -110);
    EXPECT_LE(level, -50);
    if (cycle > 0) {
      EXPECT_LE(std::abs(level - previousLevel), 2);
    }
    previousLevel = level;
    const auto neighbours = AnswerLines(modem.Receive("AT^MONP\r\n"));
    ASSERT_EQ(neighbours.size(), 6u);
    EXPECT_EQ(neighbours[0].find("chann"), 0u);
    EXPECT_EQ(neighbours.back(), "OK");
  }
  EXPECT_EQ(modem.Cycles(), 300);
}

TEST(SimModemTest, BandKeepsEveryChannelInOneBand) {
  struct Case {
    modemsim::SimBand band;
    int low, high;
  };
  const Case cases[] = {{modemsim::SimBand::gsm900, 1, 124},
                        {modemsim::SimBand::gsm1800, 512, 885},
                        {modemsim::SimBand::egsm, 975, 1023}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.low);
    SimOptions options;
    options.seed = 7;
    options.band = c.band;
    SimModem modem(options);
    modem.Receive("ATE\r\n");
    // Long enough for faded neighbours to be replaced by new ones.
    for (int cycle = 0; cycle < 200; ++cycle) {
      std::vector<std::string> rows = {AnswerLines(modem.Receive("AT^MONI\r\n"))[2]};
      const auto neighbours = AnswerLines(modem.Receive("AT^MONP\r\n"));
      rows.insert(rows.end(), neighbours.begin() + 1, neighbours.end() - 1);
      for (const auto& row : rows) {
        const int channel = std::atoi(row.c_str());
        EXPECT_GE(channel, c.low) << row;
        EXPECT_LE(channel, c.high) << row;
      }
    }
  }
}

TEST(SimModemTest, CallAddsDedicatedChannelValues) {
  SimModem modem(SimOptions{});
  modem.Receive("ATE\r\nATD112;\r\n");
  const auto inCall = AnswerLines(modem.Receive("AT^MONI\r\n"));
  ASSERT_EQ(inCall.size(), 4u);
  EXPECT_EQ(inCall[2].find("No connection"), std::string::npos);
  EXPECT_NE(inCall[2].find(" I "), std::string::npos);
  modem.Receive("ATH\r\n");
  EXPECT_NE(AnswerLines(modem.Receive("AT^MONI\r\n"))[2].find("No connection"), std::string::npos);
}

TEST(SimModemTest, Faults) {
  SimOptions noMoni;
  noMoni.noMoni = true;
  SimModem plain(noMoni);
  plain.Receive("ATE\r\n");
  EXPECT_EQ(plain.Receive("AT^MONI\r\n"), "\r\nERROR\r\n");

  SimOptions silent;
  silent.silentAfter = 1;
  SimModem quiet(silent);
  quiet.Receive("ATE\r\nAT^MONI\r\n");
  EXPECT_NE(quiet.Receive("AT^MONP\r\n"), "");
  EXPECT_EQ(quiet.Receive("AT^MONI\r\n"), "");
  EXPECT_FALSE(quiet.HungUp());

  SimOptions hangup;
  hangup.hangupAfter = 2;
  SimModem unplugged(hangup);
  unplugged.Receive("ATE\r\n");
  unplugged.Receive("AT^MONP\r\n");
  EXPECT_FALSE(unplugged.HungUp());
  unplugged.Receive("AT^MONP\r\n");
  EXPECT_FALSE(unplugged.HungUp());
  EXPECT_EQ(unplugged.Receive("AT^MONI\r\n"), "");
  EXPECT_TRUE(unplugged.HungUp());

  SimOptions ring;
  ring.ring = true;
  SimModem ringing(ring);
  ringing.Receive("ATE\r\n");
  int rings = 0;
  for (int i = 0; i < 10; ++i) rings += ringing.Receive("AT^MONI\r\n").starts_with("\r\nRING\r\n") ? 1 : 0;
  EXPECT_EQ(rings, 2);
}

TEST(SimModemTest, OverlongLineIsCutNotKept) {
  SimModem modem(SimOptions{});
  modem.Receive("ATE\r\n");
  modem.TakeCommands();
  const std::string junk(100000, 'A');
  EXPECT_EQ(modem.Receive(junk + "\r"), "\r\nERROR\r\n");
  const auto commands = modem.TakeCommands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_LE(commands[0].size(), 256u);
}

}  // namespace

namespace {

// After every N complete cycles the strongest neighbour serves and the serving cell becomes a
// neighbour; every second reselection enters another location area.
TEST(SimModemTest, ReselectEveryNCycles) {
  SimOptions options;
  options.reselectEvery = 3;
  options.seed = 11;
  SimModem modem(options);
  modem.Receive("ATE\r");
  const int lac = modem.World().Lac();
  int reselections = 0;
  for (int cycle = 1; cycle <= 9; ++cycle) {
    const modemsim::SimCell before = modem.World().Serving();
    const modemsim::SimCell strongest = modem.World().Neighbours().front();
    modem.Receive("AT^MONI\r");
    const bool expected = cycle > 1 && (cycle - 1) % 3 == 0;
    SCOPED_TRACE(cycle);
    EXPECT_EQ(modem.World().Serving().cellId != before.cellId, expected);
    if (expected) {
      ++reselections;
      EXPECT_EQ(modem.World().Serving().cellId, strongest.cellId);
      const auto& neighbours = modem.World().Neighbours();
      EXPECT_TRUE(std::any_of(neighbours.begin(), neighbours.end(),
                              [&](const modemsim::SimCell& n) { return n.cellId == before.cellId; }));
      EXPECT_EQ(modem.World().Lac(), reselections == 2 ? lac + 1 : lac);
    }
    modem.Receive("AT^MONP\r");
  }
  EXPECT_EQ(reselections, 2);
  EXPECT_EQ(modem.World().Lac(), lac + 1);
}

}  // namespace
