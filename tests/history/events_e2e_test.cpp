// The events end to end: the headless monitor against the simulated modem with scripted
// reselections. Each change of the serving cell the values show is one event, on the cycle that
// shows it; the log holds the same events (as `dump` lists them), and its report is unchanged.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "history/cell_events.h"
#include "survey/survey_text.h"
#include "tests/support/child_process.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/text_lines.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "/" + std::to_string(::getpid()) + "-events-" + name;
}

using testsupport::Lines;

std::chrono::system_clock::time_point Instant(const std::string& text) {
  const auto iso = survey::ParseIsoTime(text);
  EXPECT_TRUE(iso) << text;
  return iso ? survey::ToTimePoint(*iso).value_or(std::chrono::system_clock::time_point{})
             : std::chrono::system_clock::time_point{};
}

struct Seen {
  std::string key, from, to, time;
  int cycle = 0;  // the cycle line that follows it
};

TEST(EventsEndToEnd, ScriptedReselectionsInJsonLinesAndInTheLog) {
  testsupport::ModemSimProcess sim({"--seed", "5", "--reselect-every", "3"});
  ASSERT_TRUE(sim.Started());
  const std::string log = TempPath("run.log");
  std::filesystem::remove(log);
  ChildProcess tool({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--cycles", "10", "--format", "jsonl",
                     "--no-gps", "--log", log, "--level-threshold", "-120"});
  ASSERT_EQ(tool.Wait(60s), 0) << tool.Stderr();

  // The serving cell of each cycle as its values name it, and the events between.
  std::vector<std::string> servingOf{""};  // by cycle number, from 1
  std::vector<std::string> cycleTimes{""};
  std::vector<Seen> events;
  std::size_t waiting = 0;  // the first event still without its cycle
  for (const auto& line : Lines(tool.Stdout())) {
    const auto object = nlohmann::json::parse(line);
    if (object["event"] == "cycle") {
      servingOf.push_back(std::to_string(object["serving"]["cell_id"].get<long>()));
      cycleTimes.push_back(object["time"]);
      for (; waiting < events.size(); ++waiting) events[waiting].cycle = object["n"];
      continue;
    }
    events.push_back({object["event"], object.value("from", ""), object.value("to", ""), object["time"], 0});
  }
  ASSERT_EQ(servingOf.size(), 11u);

  std::vector<int> changes;
  for (std::size_t n = 2; n < servingOf.size(); ++n)
    if (servingOf[n] != servingOf[n - 1]) changes.push_back(static_cast<int>(n));
  EXPECT_EQ(changes, (std::vector<int>{4, 7, 10})) << "a reselection after every three cycles";

  std::vector<int> marked;
  int areas = 0;
  for (const Seen& e : events) {
    SCOPED_TRACE(e.key + " " + e.from + " " + e.to);
    if (e.key == "area") ++areas;
    if (e.key != "serving_cell") continue;
    marked.push_back(e.cycle);
    ASSERT_GT(e.cycle, 1);
    // Named by the cells the values showed, stamped with the time of the cycle that showed it.
    EXPECT_TRUE(e.from.starts_with(servingOf[static_cast<std::size_t>(e.cycle) - 1] + " ("));
    EXPECT_TRUE(e.to.starts_with(servingOf[static_cast<std::size_t>(e.cycle)] + " ("));
    EXPECT_LE(std::chrono::abs(Instant(e.time) - Instant(cycleTimes[static_cast<std::size_t>(e.cycle)])),
              std::chrono::milliseconds(100));
  }
  EXPECT_EQ(marked, changes);
  EXPECT_EQ(areas, 1) << "every second reselection enters another area";
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.front().key, "connection_started");
  EXPECT_EQ(events.back().key, "connection_ended");

  // The log: the same events in the same order, with the same times, as `dump` lists them.
  ChildProcess dump({GSMMON_CLI_PATH, "dump", log});
  ASSERT_EQ(dump.Wait(30s), 0) << dump.Stderr();
  std::vector<std::string> logged;
  for (const auto& line : Lines(dump.Stdout())) {
    const std::size_t at = line.find(" cycle.event ");
    if (at == std::string::npos) continue;
    const std::string text = line.substr(line.find_first_not_of(' ', at + 12));
    const auto event = history::ParseEventRecord(text);
    ASSERT_TRUE(event) << line;
    logged.push_back(std::string(history::EventKey(event->kind)) + "|" + event->from + "|" + event->to + "|" +
                     text.substr(0, 29));
  }
  std::vector<std::string> printed;
  for (const Seen& e : events) printed.push_back(e.key + "|" + e.from + "|" + e.to + "|" + e.time);
  EXPECT_EQ(logged, printed);

  ChildProcess report({GSMMON_CLI_PATH, "report", log});
  ASSERT_EQ(report.Wait(30s), 0) << report.Stderr();
  EXPECT_EQ(Lines(report.Stdout()).size(), 41u);
}

}  // namespace

namespace {

// A modem that drops the line: the run ends by itself, and says so as its last event, in the
// output and in the log.
TEST(EventsEndToEnd, ALineThatDropsIsAConnectionLost) {
  testsupport::ModemSimProcess sim({"--seed", "5", "--hangup-after", "2"});
  ASSERT_TRUE(sim.Started());
  const std::string log = TempPath("lost.log");
  std::filesystem::remove(log);
  ChildProcess tool(
      {GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--format", "jsonl", "--no-gps", "--log", log});
  ASSERT_EQ(tool.Wait(60s), 2) << tool.Stderr();
  std::vector<std::string> events;
  for (const auto& line : Lines(tool.Stdout())) {
    const auto object = nlohmann::json::parse(line);
    if (object.contains("event") && object["event"] != "cycle") events.push_back(object["event"]);
  }
  EXPECT_EQ(events, (std::vector<std::string>{"connection_started", "connection_lost"}));
  ChildProcess dump({GSMMON_CLI_PATH, "dump", log});
  ASSERT_EQ(dump.Wait(30s), 0) << dump.Stderr();
  const auto lines = Lines(dump.Stdout());
  std::string last;
  for (const auto& line : lines)
    if (line.find(" cycle.event ") != std::string::npos) last = line;
  EXPECT_NE(last.find(";connection_lost;"), std::string::npos) << last;
}

}  // namespace
