// The headless tool's survey side: each cycle's time and position in its outputs and its log,
// what it says when gpsd does not answer, and the export command.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "log/log_dump.h"
#include "log/log_writer.h"
#include "tests/support/child_process.h"
#include "tests/support/gpsd_process.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/survey_log.h"
#include "tests/support/text_lines.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;

namespace {

using testsupport::Lines;

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "/" + std::to_string(::getpid()) + "-survey-" + name;
}

std::vector<std::int32_t> Codes(const std::string& log) {
  std::vector<std::int32_t> codes;
  for (const auto& record : gsmlog::DumpLogFile(log).records) codes.push_back(record.code);
  return codes;
}

const std::regex kLocalTime(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");

TEST(SurveyCli, NoGpsdIsSaidOnceAndChangesNothingElse) {
  testsupport::ModemSimProcess sim({"--seed", "4"});
  ASSERT_TRUE(sim.Started());
  const std::string nobody = "127.0.0.1:" + std::to_string(testsupport::FreeLoopbackPort());
  const std::string withClient = TempPath("no-gpsd.log");
  const std::string without = TempPath("no-gps.log");
  std::filesystem::remove(withClient);
  std::filesystem::remove(without);

  ChildProcess tool({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--cycles", "3", "--format", "jsonl",
                     "--gpsd", nobody, "--log", withClient});
  ASSERT_EQ(tool.Wait(30s), 0) << tool.Stderr();
  EXPECT_EQ(tool.Stderr(), "Нет связи с gpsd " + nobody + "\n");
  int cycles = 0;
  for (const auto& line : Lines(tool.Stdout())) {
    const auto object = nlohmann::json::parse(line);
    if (!object.contains("event") || object["event"] != "cycle") continue;
    ++cycles;
    EXPECT_TRUE(std::regex_match(object["time"].get<std::string>(), kLocalTime)) << line;
    EXPECT_TRUE(object["position"].is_null()) << line;
  }
  EXPECT_EQ(cycles, 3);

  ChildProcess quiet(
      {GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--cycles", "3", "--no-gps", "--log", without});
  ASSERT_EQ(quiet.Wait(30s), 0) << quiet.Stderr();
  EXPECT_EQ(quiet.Stderr(), "");

  // The same records either way: each cycle has its time, none a position.
  const auto codes = Codes(withClient);
  EXPECT_EQ(codes, Codes(without));
  EXPECT_EQ(std::count(codes.begin(), codes.end(), gsmlog::kCycleTimeCode), 3);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), gsmlog::kCyclePositionCode), 0);
  ChildProcess report({GSMMON_CLI_PATH, "report", withClient});
  ASSERT_EQ(report.Wait(10s), 0) << report.Stderr();
  EXPECT_EQ(Lines(report.Stdout()).size(), 41u);
}

TEST(SurveyCli, CsvAndTextCarryTheCycleTime) {
  testsupport::ModemSimProcess sim({"--seed", "4"});
  ASSERT_TRUE(sim.Started());
  ChildProcess csv(
      {GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--cycles", "2", "--format", "csv", "--no-gps"});
  ASSERT_EQ(csv.Wait(30s), 0) << csv.Stderr();
  const auto lines = Lines(csv.Stdout());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind("event,n,session,time,", 0), 0u) << lines[0];
  int stamps = 0;
  for (const auto& line : lines) {
    if (line.rfind("cycle,", 0) != 0) continue;
    ++stamps;
    // event, n, session, then the time
    const std::size_t at = line.find(',', line.find(',', line.find(',') + 1) + 1) + 1;
    EXPECT_TRUE(std::regex_match(line.substr(at, line.find(',', at) - at), kLocalTime)) << line;
  }
  EXPECT_EQ(stamps, 2);

  ChildProcess text({GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--cycles", "1", "--no-gps"});
  ASSERT_EQ(text.Wait(30s), 0) << text.Stderr();
  EXPECT_TRUE(std::regex_search(text.Stdout(), std::regex(R"(Цикл 1  \d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\n)")))
      << text.Stdout();
}

TEST(SurveyCli, GpsOptionsAreChecked) {
  ChildProcess badAddress({GSMMON_CLI_PATH, "monitor", "--port", "COM1", "--gpsd", "host:99999"});
  EXPECT_NE(badAddress.Wait(10s), 0);
  EXPECT_NE(badAddress.Stderr().find("Неверный адрес gpsd: host:99999"), std::string::npos) << badAddress.Stderr();
  ChildProcess both({GSMMON_CLI_PATH, "monitor", "--port", "COM1", "--gpsd", "localhost:2947", "--no-gps"});
  EXPECT_NE(both.Wait(10s), 0);
}

class SurveyExport : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = TempPath("export.log");
    std::filesystem::remove(log_);
    ASSERT_TRUE(testsupport::WriteSurveyLog(log_));
  }
  std::string log_;
};

TEST_F(SurveyExport, FormatFromTheExtensionOrItsName) {
  const std::string gpkg = TempPath("out.gpkg");
  std::filesystem::remove(gpkg);
  ChildProcess tool({GSMMON_CLI_PATH, "export", log_, "-o", gpkg});
  ASSERT_EQ(tool.Wait(30s), 0) << tool.Stderr();
  // The survey log holds no events and its cycles show none.
  EXPECT_EQ(tool.Stdout(), "Экспортировано циклов: 2, с местоположением: 1\nСобытий: 0 (найдены по циклам журнала)\n");
  if (::access("/usr/bin/ogrinfo", X_OK) == 0) {
    ChildProcess info({"/usr/bin/ogrinfo", "-so", gpkg, "cycles"});
    ASSERT_EQ(info.Wait(30s), 0) << info.Stderr();
    EXPECT_NE(info.Stdout().find("Feature Count: 2"), std::string::npos) << info.Stdout();
  }

  const std::string named = TempPath("out.dat");
  std::filesystem::remove(named);
  std::filesystem::remove(TempPath("out-events.dat"));
  ChildProcess geojson({GSMMON_CLI_PATH, "export", log_, "-o", named, "--format", "GeoJSON"});
  ASSERT_EQ(geojson.Wait(30s), 0) << geojson.Stderr();
  const auto parsed = nlohmann::json::parse(std::ifstream(named));
  EXPECT_EQ(parsed["features"].size(), 2u);
  EXPECT_EQ(parsed["features"][0]["geometry"]["coordinates"][0], 37.6173);
  EXPECT_TRUE(parsed["features"][1]["geometry"].is_null());

  // Again over the same file: refused unless asked for.
  ChildProcess again({GSMMON_CLI_PATH, "export", log_, "-o", named, "--format", "geojson"});
  EXPECT_EQ(again.Wait(30s), 1);
  EXPECT_EQ(again.Stderr(), "Файл " + named + " уже существует\n");
  ChildProcess replaced({GSMMON_CLI_PATH, "export", log_, "-o", named, "--format", "geojson", "--overwrite"});
  EXPECT_EQ(replaced.Wait(30s), 0) << replaced.Stderr();
  EXPECT_NE(replaced.Stdout().find(", файл " + TempPath("out-events.dat") + "\n"), std::string::npos)
      << replaced.Stdout();
}

TEST_F(SurveyExport, CsvDialects) {
  struct Case {
    const char* dialect;
    const char* start;  // of the file; nullptr: the option is refused
  };
  const Case cases[] = {
      {"standard", "n,time,"},
      {"EXCEL-RU", "\xEF\xBB\xBFn;time;"},
      {"excel", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dialect);
    const std::string out = TempPath("dialect.csv");
    ChildProcess tool({GSMMON_CLI_PATH, "export", log_, "-o", out, "--csv-dialect", c.dialect, "--overwrite"});
    const int status = tool.Wait(30s);
    if (c.start == nullptr) {
      EXPECT_NE(status, 0);
      continue;
    }
    ASSERT_EQ(status, 0) << tool.Stderr();
    std::ifstream in(out, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.rfind(c.start, 0), 0u) << text.substr(0, 20);
  }
}

TEST_F(SurveyExport, UnknownFormatsAndBadLogs) {
  ChildProcess noFormat({GSMMON_CLI_PATH, "export", log_, "-o", TempPath("out.shp")});
  EXPECT_EQ(noFormat.Wait(10s), 2);
  EXPECT_EQ(noFormat.Stderr(),
            "Формат экспорта не следует из имени файла " + TempPath("out.shp") + ": укажите --format\n");
  ChildProcess badFormat({GSMMON_CLI_PATH, "export", log_, "-o", TempPath("out.gpkg"), "--format", "shapefile"});
  EXPECT_EQ(badFormat.Wait(10s), 2);
  EXPECT_EQ(badFormat.Stderr(), "Неизвестный формат экспорта: shapefile\n");

  const std::string damaged = TempPath("damaged.log");
  { std::ofstream(damaged) << "not a log at all"; }
  const std::string out = TempPath("damaged.csv");
  std::filesystem::remove(out);
  ChildProcess tool({GSMMON_CLI_PATH, "export", damaged, "-o", out});
  EXPECT_EQ(tool.Wait(10s), 1);
  EXPECT_EQ(tool.Stderr(), "Файл протокола " + damaged +
                               " поврежден: недопустимый байт в тексте записи (байт 0, запись 1); прочитано циклов: 0, "
                               "байт: 0 из 16\n");
  EXPECT_EQ(tool.Stdout().rfind("Экспортировано циклов: 0, с местоположением: 0\n", 0), 0u) << tool.Stdout();
}

}  // namespace
