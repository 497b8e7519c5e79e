// The headless tool as a user runs it: against the simulated modem, with each output format, a
// log file, a stop by signal, and its errors.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_name.h"
#include "platform/text_encoding.h"
#include "tests/support/child_process.h"
#include "tests/support/file_name_cases.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/text_lines.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;

namespace {

using testsupport::Lines;

// How a message on the terminal shows a file name.
std::string Utf8Text(const std::string& name) { return platform::Cp1251ToUtf8(platform::FileNameText(name)); }

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "/" + std::to_string(::getpid()) + "-" + name;
}

}  // namespace

TEST(HeadlessTool, JsonLinesCarryEveryValueAndEachCycle) {
  testsupport::ModemSimProcess sim({"--seed", "4"});
  ASSERT_TRUE(sim.Started());
  ChildProcess tool({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--speed", "115200", "--cycles", "2",
                     "--format", "jsonl"});
  ASSERT_EQ(tool.Wait(30s), 0) << tool.Stderr();

  int cycles = 0;
  int serving = 0;
  int neighbours = 0;
  std::vector<int> identity;
  std::vector<std::string> events;
  for (const auto& line : Lines(tool.Stdout())) {
    const auto object = nlohmann::json::parse(line);
    if (object.contains("event")) {
      if (object["event"] == "cycle") {
        EXPECT_EQ(object["n"], ++cycles);
      } else {
        events.push_back(object["event"]);
      }
      continue;
    }
    const int code = object["code"];
    const int cell = object["cell"];
    EXPECT_GE(cell, 0);
    EXPECT_LE(cell, 6);
    if (code <= 4) identity.push_back(code);
    if (code == 387) (cell == 0 ? serving : neighbours)++;
    if (code == 257) {
      EXPECT_EQ(object["text"], "Россия");
    }
  }
  EXPECT_EQ(cycles, 2);
  // Two cycles of one cell, well above the level threshold: the connection's start and end only.
  EXPECT_EQ(events, (std::vector<std::string>{"connection_started", "connection_ended"}));
  EXPECT_EQ(identity, (std::vector<int>{4, 1, 2, 3}));
  EXPECT_EQ(serving, 2);
  EXPECT_EQ(neighbours, 12);
}

TEST(HeadlessTool, CsvQuotesDecimalCommas) {
  testsupport::ModemSimProcess sim({"--seed", "4"});
  ASSERT_TRUE(sim.Started());
  ChildProcess tool({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--cycles", "1", "--format", "csv"});
  ASSERT_EQ(tool.Wait(30s), 0) << tool.Stderr();
  const auto lines = Lines(tool.Stdout());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "time,code,cell,field,text");
  bool sawBitError = false;
  for (const auto& line : lines) {
    if (line.find(",390,0,ber_percent,\"") != std::string::npos) sawBitError = true;
  }
  EXPECT_TRUE(sawBitError);
}

TEST(HeadlessTool, TextTableAndLogWithItsReport) {
  testsupport::ModemSimProcess sim({"--seed", "4", "--neighbours", "6"});
  ASSERT_TRUE(sim.Started());
  const std::string log = TempPath("run.log");
  std::filesystem::remove(log);
  ChildProcess tool({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--cycles", "2", "--log", log});
  ASSERT_EQ(tool.Wait(30s), 0) << tool.Stderr();
  EXPECT_NE(tool.Stdout().find("Цикл 2"), std::string::npos);
  EXPECT_NE(tool.Stdout().find("Уровень:"), std::string::npos);

  ChildProcess report({GSMMON_CLI_PATH, "report", log});
  ASSERT_EQ(report.Wait(10s), 0) << report.Stderr();
  const auto lines = Lines(report.Stdout());
  ASSERT_EQ(lines.size(), 41u);
  EXPECT_EQ(lines[5].rfind("IMEI: 35", 0), 0u) << lines[5];
  EXPECT_EQ(lines[9], "Страна: Россия");
  EXPECT_EQ(lines[36].find("(n/a)"), std::string::npos) << lines[36];  // RxLevel of six cells

  ChildProcess raw({GSMMON_CLI_PATH, "report", "--raw", log});
  ASSERT_EQ(raw.Wait(10s), 0);
  EXPECT_EQ(raw.Stdout().substr(0, 6), "\xC4\xE0\xF2\xE0: ");  // "Дата: " in Windows-1251
  EXPECT_NE(raw.Stdout().find("\r\n"), std::string::npos);

  ChildProcess dump({GSMMON_CLI_PATH, "dump", log});
  ASSERT_EQ(dump.Wait(10s), 0) << dump.Stderr();
  EXPECT_NE(dump.Stdout().find("12814"), std::string::npos);

  // The same name again is never overwritten.
  ChildProcess second({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--cycles", "1", "--log", log});
  ASSERT_EQ(second.Wait(30s), 0) << second.Stderr();
  EXPECT_NE(second.Stderr().find("-2.log"), std::string::npos) << second.Stderr();
}

// Log names in any script, or no UTF-8 at all, are the file's own bytes: created, numbered,
// reported and dumped under exactly those bytes; messages show them as text.
TEST(HeadlessTool, LogNamesRoundTripByteForByte) {
  testsupport::ModemSimProcess sim({"--seed", "4"});
  ASSERT_TRUE(sim.Started());
  const std::string folder = TempPath("names");
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  std::set<std::string> expected;
  for (const auto& c : test_support::FileNameCases()) {
    SCOPED_TRACE(c.kind);
    const std::string log = folder + "/" + c.name;
    const std::string second = platform::NumberedName(log, 2);
    for (const std::string& written : {log, second}) {
      ChildProcess tool(
          {GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--cycles", "1", "--no-gps", "--log", log});
      ASSERT_EQ(tool.Wait(30s), 0) << tool.Stderr();
      const std::string told = "Протокол записывается в файл " + Utf8Text(written) + "\n";
      EXPECT_EQ(tool.Stderr(), written == log ? "" : told);
      expected.insert(written.substr(folder.size() + 1));

      ChildProcess report({GSMMON_CLI_PATH, "report", written});
      ASSERT_EQ(report.Wait(10s), 0) << report.Stderr();
      const auto lines = Lines(report.Stdout());
      ASSERT_EQ(lines.size(), 41u);
      EXPECT_EQ(lines[9], "Страна: Россия");
      ChildProcess dump({GSMMON_CLI_PATH, "dump", written});
      EXPECT_EQ(dump.Wait(10s), 0) << dump.Stderr();
    }
    const std::string missing = folder + "/missing " + c.name;
    ChildProcess report({GSMMON_CLI_PATH, "report", missing});
    EXPECT_EQ(report.Wait(10s), 1);
    EXPECT_EQ(report.Stderr(), "Невозможно открыть файл протокола \"" + Utf8Text(missing) + "\"\n");
  }
  std::set<std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    entries.insert(entry.path().filename().string());
  }
  EXPECT_EQ(entries, expected) << "each name byte for byte, and no other";
  std::filesystem::remove_all(folder);
}

TEST(HeadlessTool, SigtermStopsLikeTheDisconnectButton) {
  const std::string commands = TempPath("commands.txt");
  std::filesystem::remove(commands);
  testsupport::ModemSimProcess sim({"--seed", "4", "--log-commands", commands});
  ASSERT_TRUE(sim.Started());
  ChildProcess tool({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--format", "jsonl"});
  // Wait for the first cycle, then stop.
  for (int i = 0; i < 300 && tool.Stdout().find("\"cycle\"") == std::string::npos; ++i) {
    std::this_thread::sleep_for(20ms);
  }
  tool.Signal(SIGTERM);
  EXPECT_EQ(tool.Wait(30s), 0) << tool.Stderr();
  std::ifstream in(commands);
  std::string last;
  for (std::string line; std::getline(in, line);) last = line;
  EXPECT_NE(last.find(" ATZ"), std::string::npos) << last;
}

TEST(HeadlessTool, ErrorsGoToStderrWithAStatus) {
  ChildProcess missingPort({GSMMON_CLI_PATH, "monitor", "--port", "/dev/no-such-modem"});
  EXPECT_EQ(missingPort.Wait(10s), 1);
  EXPECT_EQ(missingPort.Stderr(), "Невозможно открыть порт /dev/no-such-modem\nНет такого устройства\n");

  const std::string damaged = TempPath("damaged.log");
  { std::ofstream(damaged) << "not a log at all"; }
  ChildProcess report({GSMMON_CLI_PATH, "report", damaged});
  EXPECT_EQ(report.Wait(10s), 1);
  EXPECT_EQ(report.Stderr(),
            "Файл протокола " + damaged +
                " поврежден: недопустимый байт в тексте записи (байт 0, запись 1); прочитано циклов: 0, "
                "байт: 0 из 16\n");

  ChildProcess missingFile({GSMMON_CLI_PATH, "report", "/no/such.log"});
  EXPECT_EQ(missingFile.Wait(10s), 1);
  EXPECT_EQ(missingFile.Stderr(), "Невозможно открыть файл протокола \"/no/such.log\"\n");

  ChildProcess badOption({GSMMON_CLI_PATH, "monitor", "--port", "COM1", "--speed", "1234"});
  EXPECT_NE(badOption.Wait(10s), 0);
}
