// The headless tool as a user runs it: against the simulated modem, with each output format, a
// log file, a stop by signal, and its errors.

#include <gtest/gtest.h>

#include <charconv>
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

TEST(HeadlessTool, JsonLinesAreCyclesAndEventsWithNumbers) {
  testsupport::ModemSimProcess sim({"--seed", "4"});
  ASSERT_TRUE(sim.Started());
  ChildProcess tool({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--speed", "115200", "--cycles", "2",
                     "--format", "jsonl"});
  ASSERT_EQ(tool.Wait(30s), 0) << tool.Stderr();

  int cycles = 0;
  std::vector<std::string> events;
  for (const auto& line : Lines(tool.Stdout())) {
    const auto object = nlohmann::json::parse(line);
    ASSERT_TRUE(object.contains("event")) << line;  // no raw field lines unless asked for
    if (object["event"] != "cycle") {
      events.push_back(object["event"]);
      continue;
    }
    EXPECT_EQ(object["n"], ++cycles);
    EXPECT_EQ(object["schema"], 2);
    const auto& serving = object["serving"];
    EXPECT_TRUE(serving["rxlevel_dbm"].is_number_integer()) << line;
    EXPECT_TRUE(serving["ber_percent"].is_number()) << line;
    EXPECT_EQ(serving["mcc"], 250);
    EXPECT_EQ(serving["country_name"], "Россия");
    EXPECT_EQ(serving["tech"], "gsm");
    ASSERT_EQ(object["neighbours"].size(), 6u);
    for (const auto& cell : object["neighbours"]) {
      EXPECT_TRUE(cell["rxlevel_dbm"].is_number_integer()) << line;
      EXPECT_TRUE(cell["bsic"].is_number_integer()) << line;
    }
    // No value is a text with a decimal comma: the texts are names.
    for (const auto* cell : {&serving, &object["neighbours"][0]}) {
      for (const auto& [name, value] : cell->items()) {
        if (value.is_string()) {
          EXPECT_EQ(value.get<std::string>().find(','), std::string::npos) << name;
        }
      }
    }
  }
  EXPECT_EQ(cycles, 2);
  // Two cycles of one cell, well above the level threshold: the connection's start and end only.
  EXPECT_EQ(events, (std::vector<std::string>{"connection_started", "connection_ended"}));
}

TEST(HeadlessTool, RawFieldsKeepEveryValueAsDelivered) {
  testsupport::ModemSimProcess sim({"--seed", "4"});
  ASSERT_TRUE(sim.Started());
  ChildProcess tool({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--speed", "115200", "--cycles", "2",
                     "--format", "jsonl", "--raw-fields"});
  ASSERT_EQ(tool.Wait(30s), 0) << tool.Stderr();

  int cycles = 0;
  int serving = 0;
  int neighbours = 0;
  std::vector<int> identity;
  for (const auto& line : Lines(tool.Stdout())) {
    const auto object = nlohmann::json::parse(line);
    if (object.contains("event")) {
      cycles += object["event"] == "cycle";
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
  EXPECT_EQ(identity, (std::vector<int>{4, 1, 2, 3}));
  EXPECT_EQ(serving, 2);
  EXPECT_EQ(neighbours, 12);
}

// Splits a CSV line of no quoted cells.
std::vector<std::string> CsvCells(const std::string& line) {
  std::vector<std::string> cells;
  std::size_t start = 0;
  for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1) {
    cells.push_back(line.substr(start, comma - start));
  }
  cells.push_back(line.substr(start));
  return cells;
}

// The JSON line's value a CSV column stands for: the serving cell's without a prefix, a
// neighbour's after "n1_" .. "n6_", the position's, the cycle's own.
nlohmann::json JsonOfColumn(const nlohmann::json& cycle, const std::string& column) {
  if (column == "n" || column == "event" || column == "session") return cycle[column];
  if (cycle["position"].is_object() && cycle["position"].contains(column)) return cycle["position"][column];
  if (column.size() > 3 && column[0] == 'n' && column[2] == '_' && column[1] >= '1' && column[1] <= '6') {
    const auto neighbours = cycle["neighbours"];
    const std::size_t index = static_cast<std::size_t>(column[1] - '1');
    return index < neighbours.size() ? neighbours[index].value(column.substr(3), nlohmann::json()) : nlohmann::json();
  }
  return cycle["serving"].value(column, nlohmann::json());
}

// The same seed gives the same cycles, so a run printing JSON lines and one printing CSV show the
// same numbers under the same names; CSV numbers have a decimal point and absent values are empty.
TEST(HeadlessTool, CsvRowsAndJsonLinesCarryTheSameNumbersUnderTheSameNames) {
  const auto run = [](const char* format) {
    testsupport::ModemSimProcess sim({"--seed", "4", "--neighbours", "4"});
    EXPECT_TRUE(sim.Started());
    ChildProcess tool(
        {GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--cycles", "3", "--no-gps", "--format", format});
    EXPECT_EQ(tool.Wait(30s), 0) << tool.Stderr();
    return Lines(tool.Stdout());
  };
  std::vector<nlohmann::json> cycles;
  for (const auto& line : run("jsonl")) {
    const auto object = nlohmann::json::parse(line);
    if (object["event"] == "cycle") cycles.push_back(object);
  }
  const auto lines = run("csv");
  ASSERT_EQ(cycles.size(), 3u);
  ASSERT_FALSE(lines.empty());
  const auto columns = CsvCells(lines[0]);
  EXPECT_EQ(lines[0].rfind("event,n,session,time,latitude_deg,longitude_deg,", 0), 0u) << lines[0];
  std::size_t row = 0;
  int compared = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].find('"'), std::string::npos) << lines[i];
    const auto cells = CsvCells(lines[i]);
    ASSERT_EQ(cells.size(), columns.size()) << lines[i];
    if (cells[0] != "cycle") continue;
    ASSERT_LT(row, cycles.size());
    const nlohmann::json& cycle = cycles[row++];
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (columns[c] == "time" || columns[c] == "from" || columns[c] == "to" || columns[c] == "threshold") continue;
      SCOPED_TRACE(columns[c] + " = " + cells[c]);
      const nlohmann::json expected = JsonOfColumn(cycle, columns[c]);
      if (expected.is_null()) {
        EXPECT_EQ(cells[c], "");
      } else if (expected.is_number()) {
        double number = 0;
        const auto [end, error] = std::from_chars(cells[c].data(), cells[c].data() + cells[c].size(), number);
        EXPECT_TRUE(error == std::errc{} && end == cells[c].data() + cells[c].size());
        EXPECT_EQ(number, expected.get<double>());
        ++compared;
      } else {
        EXPECT_EQ(cells[c], expected.get<std::string>());
      }
    }
  }
  EXPECT_EQ(row, cycles.size());
  EXPECT_GT(compared, 3 * 20);  // the serving cell's numbers and four neighbours' each cycle
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
}

// A command line the tool cannot take: one Russian line saying why, the hint at --help, status 2.
TEST(HeadlessTool, UsageErrorsInRussianWithStatusTwo) {
  struct Case {
    std::vector<std::string> args;
    std::string said;
  };
  const Case cases[] = {
      {{"monitor", "--port", "COM1", "--speed", "1234"}, "--speed: недопустимое значение 1234, допустимы: "},
      {{"monitor", "--port", "COM1", "--gpsd", "h:1", "--no-gps"}, "Параметры --gpsd и --no-gps несовместимы"},
      {{"monitor", "--port", "COM1", "--mqtt", "mqtt://h", "--mqtt-ca", "/no/ca.pem"},
       "--mqtt-ca: файл не существует: /no/ca.pem"},
      {{"monitor", "--port", "COM1", "--level-threshold", "-10"},
       "--level-threshold: значение -10 вне диапазона -120..-40"},
      {{"monitor", "--port", "COM1", "--mqtt", "mqtt://site:S3cr3t@h:99999"},
       "--mqtt: Неверный адрес брокера MQTT: mqtt://site:***@h:99999"},
      {{"collect", "--mqtt", "mqtt://h", "--dir", "d", "--share", "a/b"}, "--share: Недопустимое имя группы: a/b"},
      {{"monitor"}, "Не указан параметр --port"},
      {{"report", "a.log", "b.log"}, "Лишние аргументы: b.log"},
      {{"frobnicate"}, "Не указана команда: monitor, collect, report, dump или export"},
      {{"dump", "a.log", "--bogus"}, "Лишние аргументы: --bogus"},
      {{}, "Не указана команда: monitor, collect, report, dump или export"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv{GSMMON_CLI_PATH};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.said);
    ChildProcess tool(argv);
    EXPECT_EQ(tool.Wait(10s), 2);
    const std::string said = tool.Stderr();
    EXPECT_EQ(said.substr(0, c.said.size()), c.said) << said;
    EXPECT_NE(said.find("\nСправка: ostrin_gsmmon_cli --help\n"), std::string::npos) << said;
    EXPECT_EQ(said.find("S3cr3t"), std::string::npos);
  }
}
