// The headless tool against the simulated modem speaking other families' dialects, on a
// pseudo-terminal: the JSON cycle lines carry the serving cell the modem reported (technology,
// operator, area, cell, channel, physical identity, level), its neighbours and the NR leg of
// EN-DC; the dialect is told at the start; a refused command is said once and not sent again.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/text_lines.h"
#include "tools/gsm_modem_sim/cell_world.h"
#include "tools/gsm_modem_sim/sim_techs.h"

using namespace std::chrono_literals;
using nlohmann::json;
using testsupport::ChildProcess;

namespace {

constexpr int kCycles = 3;

struct Case {
  const char* dialect;
  const char* tech;
  const char* servingTech;
  bool engineering;              // the family's report: channel and physical identity known
  std::size_t neighbours;        // in the last cycle
  std::string_view toldAtStart;  // on stderr
};

const Case kCases[] = {
    {"quectel", "gsm", "gsm", true, 6, "Диалект модема: quectel"},
    {"quectel", "lte", "lte", true, 9, "Диалект модема: quectel"},
    {"quectel", "endc", "lte", true, 9, "Диалект модема: quectel"},
    {"simcom", "gsm", "gsm", true, 6, "Диалект модема: simcom"},
    {"simcom", "lte", "lte", true, 0, "Диалект модема: simcom"},
    {"simcom", "endc", "lte", true, 0, "Диалект модема: simcom"},
    {"baseline", "gsm", "gsm", false, 0, "опрос продолжается командами 3GPP (диалект baseline)"},
    {"baseline", "lte", "lte", false, 0, "опрос продолжается командами 3GPP (диалект baseline)"},
};

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "/" + std::to_string(::getpid()) + "-" + name;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(DialectsEndToEnd, CycleLinesCarryTheCellsEachFamilyReports) {
  // The simulated cells of this seed: reports of every dialect are drawn from them.
  const modemsim::CellWorld world(4, 6);
  const modemsim::SimLteCell lte = modemsim::LteServing(world);
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.dialect) + " " + c.tech);
    const std::string commands = TempPath(std::string("commands-") + c.dialect + "-" + c.tech);
    std::filesystem::remove(commands);
    testsupport::ModemSimProcess sim(
        {"--seed", "4", "--dialect", c.dialect, "--tech", c.tech, "--log-commands", commands});
    ASSERT_TRUE(sim.Started());
    ChildProcess tool({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--speed", "115200", "--cycles",
                       std::to_string(kCycles), "--format", "jsonl", "--no-gps"});
    ASSERT_EQ(tool.Wait(60s), 0) << tool.Stderr();
    EXPECT_NE(tool.Stderr().find(c.toldAtStart), std::string::npos) << tool.Stderr();

    std::vector<json> cycles;
    json started;
    for (const std::string& line : testsupport::Lines(tool.Stdout())) {
      const json object = json::parse(line);
      if (object["event"] == "cycle") cycles.push_back(object);
      if (object["event"] == "connection_started") started = object;
    }
    ASSERT_EQ(cycles.size(), static_cast<std::size_t>(kCycles)) << tool.Stdout();
    const std::string first = c.dialect == std::string("baseline") ? "moni" : c.dialect;
    EXPECT_EQ(started["dialect"], first);

    const json& serving = cycles.back()["serving"];
    ASSERT_TRUE(serving.is_object()) << cycles.back();
    EXPECT_EQ(serving["tech"], c.servingTech);
    EXPECT_EQ(serving["mcc"], modemsim::kSimMcc);
    EXPECT_EQ(serving["mnc"], world.Mnc());
    const bool gsm = std::string(c.servingTech) == "gsm";
    if (gsm) {
      EXPECT_EQ(serving["lac"], world.Lac());
      EXPECT_EQ(serving["cell_id"], modemsim::GsmCellIdOf(world.Serving()));
      EXPECT_TRUE(serving["rxlevel_dbm"].is_number_integer());
    } else {
      EXPECT_EQ(serving["tac"], lte.tac);
      EXPECT_EQ(serving["cell_id"], lte.cellId);
      EXPECT_TRUE(serving["rsrp_dbm"].is_number());
    }
    if (c.engineering) {
      EXPECT_EQ(serving["channel"], gsm ? world.Serving().channel : lte.earfcn);
      if (gsm) {
        EXPECT_EQ(serving["bsic"], modemsim::BsicOf(world.Serving()));
      } else {
        EXPECT_EQ(serving["pci"], lte.pci);
        EXPECT_EQ(serving["band"], "B3");
      }
    } else {
      EXPECT_TRUE(serving["channel"].is_null());
    }

    const json& neighbours = cycles.back()["neighbours"];
    ASSERT_EQ(neighbours.size(), c.neighbours) << cycles.back();
    if (c.neighbours == 9) {
      EXPECT_EQ(neighbours[0]["tech"], "lte");
      EXPECT_EQ(neighbours[1]["tech"], "wcdma");
      EXPECT_EQ(neighbours[1]["psc"], modemsim::WcdmaNeighbours(world)[0].psc);
      EXPECT_EQ(neighbours[3]["tech"], "gsm");
    }
    if (c.neighbours >= 6) {
      // The GSM neighbours, in the order of their levels as the modem lists them.
      std::set<std::pair<int, int>> reported;
      std::set<std::pair<int, int>> simulated;
      for (const json& cell : neighbours) {
        if (cell["tech"] == "gsm") reported.insert({cell["channel"].get<int>(), cell["bsic"].get<int>()});
      }
      for (const modemsim::SimCell& cell : world.Neighbours()) simulated.insert({cell.channel, modemsim::BsicOf(cell)});
      EXPECT_EQ(reported, simulated);
    }
    const bool endc = std::string(c.tech) == "endc";
    ASSERT_EQ(cycles.back().contains("secondary"), endc && c.engineering);
    if (endc && c.engineering) {
      const json& nr = cycles.back()["secondary"][0];
      EXPECT_EQ(nr["tech"], "nr");
      EXPECT_EQ(nr["pci"], modemsim::NrLeg(world).pci);
      EXPECT_EQ(nr["channel"], modemsim::NrLeg(world).arfcn);
      EXPECT_EQ(nr["band"], "n78");
    }

    // A command the modem refuses goes out once in the whole run, and is said once.
    std::ifstream log(commands);
    const std::string sent((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    if (std::string(c.dialect) == "quectel") {
      EXPECT_EQ(Count(sent, " AT+QENG?\n"), 1u) << sent;
      EXPECT_EQ(Count(tool.Stderr(), "Модем отклонил команду AT+QENG?"), 1u) << tool.Stderr();
      EXPECT_EQ(Count(sent, "AT+QENG=\"servingcell\""), static_cast<std::size_t>(kCycles));
    }
    if (std::string(c.dialect) == "baseline") {
      EXPECT_EQ(Count(sent, "AT^MONI"), 1u) << sent;
    }
  }
}

// The seed family's simulated modem keeps its exchange, and says nothing of dialects.
TEST(DialectsEndToEnd, SeedFamilyRunIsAsBefore) {
  testsupport::ModemSimProcess sim({"--seed", "4"});
  ASSERT_TRUE(sim.Started());
  ChildProcess tool({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--speed", "115200", "--cycles", "1",
                     "--format", "jsonl", "--no-gps"});
  ASSERT_EQ(tool.Wait(30s), 0) << tool.Stderr();
  EXPECT_EQ(tool.Stderr(), "");
  EXPECT_NE(tool.Stdout().find(R"("dialect":"moni")"), std::string::npos);
}

// The window's table (here the text output, which shows what the window shows): GSM cells of any
// family fill it; an LTE serving cell leaves the serving column "(n/a)" and its GSM neighbours
// take the neighbour columns.
TEST(DialectsEndToEnd, GsmCellsOfAnyFamilyFillTheTable) {
  const modemsim::CellWorld world(4, 6);
  std::set<std::string> neighbourChannels;
  for (const modemsim::SimCell& cell : world.Neighbours()) neighbourChannels.insert(std::to_string(cell.channel));
  struct Row {
    const char* dialect;
    const char* tech;
    std::string serving;
  };
  for (const Row& row :
       {Row{"simcom", "gsm", std::to_string(world.Serving().channel)}, Row{"quectel", "lte", "(n/a)"}}) {
    SCOPED_TRACE(row.dialect);
    testsupport::ModemSimProcess sim({"--seed", "4", "--dialect", row.dialect, "--tech", row.tech});
    ASSERT_TRUE(sim.Started());
    ChildProcess tool(
        {GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--speed", "115200", "--cycles", "1", "--no-gps"});
    ASSERT_EQ(tool.Wait(30s), 0) << tool.Stderr();
    std::vector<std::string> channels;
    for (const std::string& line : testsupport::Lines(tool.Stdout())) {
      if (line.rfind("Канал:", 0) != 0) continue;
      std::istringstream words(line.substr(std::string("Канал:").size()));
      for (std::string word; words >> word;) channels.push_back(word);
    }
    ASSERT_EQ(channels.size(), 7u) << tool.Stdout();
    EXPECT_EQ(channels[0], row.serving);
    EXPECT_EQ(std::set<std::string>(channels.begin() + 1, channels.end()), neighbourChannels) << tool.Stdout();
  }
}
