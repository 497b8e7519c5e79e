// Cells of other technologies than GSM in the log: each cell's text and the way back, texts that
// are no cell's, and a run's cycles written by the log recorder and read back as the same cells,
// with the same report as the log without those records.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "core/log_recorder.h"
#include "log/log_dump.h"
#include "log/log_record.h"
#include "log/log_viewer.h"
#include "log/log_writer.h"
#include "platform/text_encoding.h"
#include "radio/cell_text.h"
#include "radio/cell_values.h"
#include "survey/cycle_reader.h"
#include "survey/log_cycle.h"
#include "tests/log/plain_log.h"
#include "tests/log/temp_dir.h"
#include "tests/support/recording_window.h"
#include "tests/support/typed_cells.h"

namespace {

using namespace platform::literals;
using radio::CellRole;
using radio::Tech;
using testsupport::TypedCell;

std::vector<radio::NamedValue> Values(const radio::Cell& cell) { return radio::CellValues(cell); }

radio::Cell ReadBack(const std::vector<std::string>& lines) {
  radio::CellLineReader reader;
  for (const std::string& line : lines) EXPECT_TRUE(reader.Add(line)) << line;
  EXPECT_EQ(reader.Cells().size(), 1u);
  return reader.Cells().empty() ? radio::Cell{} : reader.Cells().front().cell;
}

TEST(CellLines, EveryCellOfAnEnDcCycleComesBackAsItWas) {
  const radio::Cycle cycle = testsupport::EnDcCycle();
  EXPECT_EQ(radio::CellLines(CellRole::serving, *cycle.serving, gsmlog::kMaxLogText),
            (std::vector<std::string>{"serving;tech=lte;mcc=250;mnc=1;operator_name=MTS RUS;tac=7001;cell_id=26132481;"
                                      "channel=1850;band=B3;pci=123;rsrp_dbm=-95.5",
                                      "+;rsrq_db=-10.5;rssi_dbm=-65;sinr_db=12.4"}));
  EXPECT_EQ(radio::CellLines(CellRole::neighbour, cycle.neighbours[1], gsmlog::kMaxLogText),
            std::vector<std::string>{"neighbour;tech=wcdma;channel=10737;psc=301;rscp_dbm=-87;ecno_db=-6.5"});
  struct Case {
    CellRole role;
    radio::Cell cell;
  };
  std::vector<Case> cases = {{CellRole::serving, *cycle.serving}, {CellRole::secondary, cycle.secondary[0]}};
  for (const radio::Cell& cell : cycle.neighbours) cases.push_back({CellRole::neighbour, cell});
  for (const Case& c : cases) {
    const auto lines = radio::CellLines(c.role, c.cell, gsmlog::kMaxLogText);
    SCOPED_TRACE(lines.front());
    radio::CellLineReader reader;
    for (const std::string& line : lines) ASSERT_TRUE(reader.Add(line));
    ASSERT_EQ(reader.Cells().size(), 1u);
    EXPECT_EQ(reader.Cells()[0].role, c.role);
    EXPECT_EQ(Values(reader.Cells()[0].cell), Values(c.cell));
  }
}

TEST(CellLines, LongNamesStayPlainAndShortAcrossRecords) {
  // Names as a modem may give them: long, with the separator and control bytes in them.
  radio::Cell cell = testsupport::EnDcCycle().serving.value();
  cell.countryName = "Russian Federation; the longest country name ever";
  cell.operatorName = std::string("MTS\tRUS;") + std::string(50, 'x');
  const auto lines = radio::CellLines(CellRole::serving, cell, gsmlog::kMaxLogText);
  ASSERT_GE(lines.size(), 2u);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_LE(lines[i].size(), gsmlog::kMaxLogText) << lines[i];
    EXPECT_TRUE(
        std::all_of(lines[i].begin(), lines[i].end(), [](char c) { return static_cast<unsigned char>(c) >= 0x20; }));
    EXPECT_EQ(lines[i].starts_with("+;"), i > 0) << lines[i];
  }
  const radio::Cell back = ReadBack(lines);
  EXPECT_EQ(back.countryName, "Russian Federation? the longest country ");
  EXPECT_EQ(back.operatorName, "MTS?RUS?" + std::string(32, 'x'));
  radio::Cell expected = cell;
  expected.countryName = back.countryName;
  expected.operatorName = back.operatorName;
  EXPECT_EQ(Values(back), Values(expected));
}

TEST(CellLineReader, TextsThatAreNoCellAndValuesThatAreNoValue) {
  radio::CellLineReader reader;
  for (const char* text : {"+;pci=1", "serving", "serving;pci=5;tech=lte", "server;tech=lte", "serving;tech=umts", "",
                           ";;;", "neighbour;tech="}) {
    EXPECT_FALSE(reader.Add(text)) << text;
  }
  EXPECT_TRUE(reader.Cells().empty());
  // Out of range, not a number, a fraction for a whole number, a name of another technology, no
  // "=": absent; the rest kept, a continuation included.
  ASSERT_TRUE(
      reader.Add("neighbour;tech=lte;pci=2000;rsrp_dbm=abc;channel=1.5;rsrq_db=-10;bsic=5;junk;sinr_db=nan;"
                 "rssi_dbm=-70x;band=;tac=-1"));
  ASSERT_TRUE(reader.Add("+;pci=17;rsrp_dbm=1e400;tech=nr"));
  ASSERT_EQ(reader.Cells().size(), 1u);
  EXPECT_EQ(Values(reader.Cells()[0].cell), Values(TypedCell(Tech::lte, {{"rsrq_db", -10.0}, {"pci", 17}})));
  // A cycle holds no more cells than any modem reports, however many records it has.
  while (reader.Add("neighbour;tech=nr;pci=1")) {
  }
  EXPECT_EQ(reader.Cells().size(), radio::CellLineReader::kMostCells);
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A cycle of the seed family: GSM cells known only as the field values its reports delivered.
radio::Cycle SeedFamilyCycle(long n) {
  radio::Cycle cycle;
  cycle.n = n;
  const auto field = [&](int code, int index, std::string text) {
    const parser::FieldValue value = parser::TextValue(std::move(text));
    cycle.delivered.push_back({code, index, value.text, value.number});
    parser::ApplyField(cycle, code, index, value);
  };
  field(parser::fcCountry, 0, std::string("Россия"_cp1251));
  field(parser::fcLocalArea, 0, "5580");
  field(parser::fcCell, 0, "28641");
  field(parser::fcBaseStation, 0, "7.3");
  field(parser::fcChannel, 0, "62");
  field(parser::fcFreqBand, 0, "900");
  field(parser::fcRxLevel, 0, "-70");
  field(parser::fcChannel, 1, "70");
  field(parser::fcRxLevel, 1, "-88");
  return cycle;
}

TEST(CellRecords, ARunOfEveryTechnologyReadsBackAsItsCellsWithTheSameReport) {
  logtest::TempDir dir;
  const std::string path = dir.File("endc.log");
  gsmlog::TLogWriter writer;
  testsupport::RecordingWindow window({});
  core::LogRecorder recorder(window, writer, nullptr, nullptr);
  ASSERT_TRUE(recorder.StartLog(path));
  recorder.RunStarted({});
  const std::vector<radio::Cycle> written = {testsupport::EnDcCycle(1), SeedFamilyCycle(2),
                                             testsupport::EnDcCycle(3, -120.25)};
  for (const radio::Cycle& cycle : written) recorder.CycleCompleted(cycle);
  recorder.RunEnded({.reachedPoll = true, .lost = false, .cycles = 3});

  // A record per cell of another technology (the serving cell's values need two); the seed family's
  // cycle has none.
  std::vector<int> cellRecords(1, 0);
  logtest::PlainLog stripped;
  for (const auto& record : gsmlog::DumpLogFile(path).records) {
    if (record.code == gsmlog::kCycleCellCode) {
      ++cellRecords.back();
    } else if (record.code == gsmlog::kChecksumCode) {
      stripped.Seal();
      cellRecords.push_back(0);
    } else {
      stripped.Add(record.code, record.text);
    }
  }
  // Before the creation's seal, 3 cycles, the summary, after its seal.
  EXPECT_EQ(cellRecords, (std::vector<int>{0, 6, 0, 6, 0, 0}));

  std::vector<radio::Cycle> read;
  const auto result = survey::ReadLogCycles(path, [&](const survey::SurveyCycle& logged) {
    read.push_back(survey::CycleOfLog(logged));
    return true;
  });
  ASSERT_TRUE(result.ok) << result.error;
  ASSERT_EQ(read.size(), written.size());
  for (std::size_t i = 0; i < read.size(); ++i) {
    SCOPED_TRACE(i);
    const radio::Cycle& w = written[i];
    const radio::Cycle& r = read[i];
    ASSERT_TRUE(r.serving.has_value());
    EXPECT_EQ(Values(*r.serving), Values(*w.serving));
    ASSERT_EQ(r.secondary.size(), w.secondary.size());
    for (std::size_t s = 0; s < w.secondary.size(); ++s) EXPECT_EQ(Values(r.secondary[s]), Values(w.secondary[s]));
    ASSERT_EQ(r.neighbours.size(), w.neighbours.size());
    for (std::size_t n = 0; n < w.neighbours.size(); ++n) EXPECT_EQ(Values(r.neighbours[n]), Values(w.neighbours[n]));
  }

  const std::string without = dir.File("without.log");
  WriteFile(without, stripped.Bytes());
  const auto withReport = gsmlog::BuildLogReport(path);
  const auto withoutReport = gsmlog::BuildLogReport(without);
  ASSERT_TRUE(withReport.ok) << withReport.error;
  ASSERT_TRUE(withoutReport.ok) << withoutReport.error;
  EXPECT_EQ(withReport.text, withoutReport.text);
  EXPECT_EQ(std::count(withReport.text.begin(), withReport.text.end(), '\n'), 41);
}

}  // namespace
