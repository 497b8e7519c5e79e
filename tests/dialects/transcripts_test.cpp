// Every captured response of a real modem through the readers: none crashes or gives a value
// outside the cycle record's ranges, and a sample of them gives exactly the values its fields
// say (worked out by hand from the field lists of each command).

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "dialects/baseline_reader.h"
#include "dialects/quectel_reader.h"
#include "dialects/sierra_reader.h"
#include "dialects/simcom_reader.h"
#include "dialects/telit_reader.h"
#include "dialects/ublox_reader.h"
#include "radio/cell_values.h"

namespace {

using namespace dialects;
using radio::Tech;
using Reader = std::function<CellReport(std::string_view)>;

CellReport Baseline(std::string_view response) {
  BaselineFacts facts;
  ReadBaselineAnswer(response, facts);
  return BaselineReport(facts);
}

const std::vector<Reader>& AllReaders() {
  static const std::vector<Reader> readers = {Baseline,
                                              ReadQuectelServingCell,
                                              ReadQuectelNeighbourCells,
                                              ReadQuectelEngineering2g,
                                              ReadSimcomSystemInfo,
                                              ReadSimcomEngineering,
                                              ReadUbloxCellInfo,
                                              ReadUbloxCellDump,
                                              ReadTelitRadioStatus,
                                              ReadTelitMonitor,
                                              ReadTelitServingInfo,
                                              ReadSierraStatus};
  return readers;
}

std::vector<std::string> Responses() {
  std::ifstream in(TRANSCRIPTS_PATH);
  const nlohmann::json transcripts = nlohmann::json::parse(in);
  std::vector<std::string> responses;
  for (const auto& transcript : transcripts) responses.push_back(transcript.at("response").get<std::string>());
  return responses;
}

// Every value a cell holds is one the cycle record takes under its name.
void ExpectInRange(const radio::Cell& cell) {
  for (const radio::NamedValue& value : radio::CellValues(cell)) {
    if (value.name == "tech") continue;
    radio::Cell copy = radio::MakeCell(cell.tech());
    EXPECT_TRUE(radio::SetCellValue(copy, value.name, value.value)) << value.name;
  }
}

TEST(Transcripts, EveryResponseThroughEveryReaderStaysInRange) {
  const std::vector<std::string> responses = Responses();
  ASSERT_GT(responses.size(), 90u);
  for (std::size_t i = 0; i < responses.size(); ++i) {
    SCOPED_TRACE("transcript " + std::to_string(i));
    for (const Reader& read : AllReaders()) {
      const CellReport report = read(responses[i]);
      if (report.serving) ExpectInRange(*report.serving);
      for (const radio::Cell& cell : report.secondary) ExpectInRange(cell);
      for (const radio::Cell& cell : report.neighbours) ExpectInRange(cell);
    }
  }
}

// The serving cell a response gives; nullopt where a value must be absent.
struct Expected {
  std::size_t transcript;
  Reader read;
  std::optional<Tech> tech;  // no serving cell at all when absent
  std::optional<int> mcc, mnc;
  std::optional<std::int64_t> area, cellId;  // LAC or TAC
  std::optional<int> channel, physicalId;
  std::optional<double> levelDbm;  // RxLev, RSCP or RSRP
  std::size_t neighbours = 0;
};

const Expected kExpected[] = {
    // Quectel: GSM with a doubled echo and placeholders, its five GSM neighbours, LTE TDD, LTE
    // whose neighbour lines without a cell are only frequencies, a negative C2, SEARCH without a
    // cell, a line wrapped after "+QENG:", WCDMA, the 2G modules' form.
    {19, ReadQuectelServingCell, Tech::gsm, 460, 0, 9340, 4903, 82, 35, -52, 0},
    {20, ReadQuectelNeighbourCells, {}, {}, {}, {}, {}, {}, {}, {}, 5},
    {21, ReadQuectelServingCell, Tech::lte, 460, 0, 9340, 205597827, 38950, 401, -90, 0},
    {22, ReadQuectelNeighbourCells, {}, {}, {}, {}, {}, {}, {}, {}, 1},
    {24, ReadQuectelServingCell, Tech::lte, 222, 88, 15049, 37978126, 3350, 20, -86, 0},
    {28, ReadQuectelServingCell, Tech::gsm, 515, 3, 11206, 5676, 40, 58, -81, 0},
    {31, ReadQuectelServingCell, {}, {}, {}, {}, {}, {}, {}, {}, 0},
    {35, ReadQuectelServingCell, Tech::lte, 214, 1, 1539, 124217865, 6300, 188, -104, 0},
    {39, ReadQuectelServingCell, Tech::wcdma, 440, 10, 117, 117309584, 10736, 58, -78, 0},
    {29, ReadQuectelEngineering2g, Tech::gsm, 460, 0, 22831, 26362, 65, 25, -76, 0},
    {40, ReadQuectelEngineering2g, Tech::gsm, 404, 20, 15002, 5161, 1, 63, -68, 6},
    // SIMCom: CPSI of WCDMA (magnitudes), Cat-M1, SIM7600 in tenths, GSM with ARFCN and band in one
    // field; CENG of SIM900 (no blank after the colon, an unknown neighbour), mode 3 with empty
    // slots, the 7600 layout, neighbours without a cell identity, the extended mode.
    {44, ReadSimcomSystemInfo, Tech::wcdma, 505, 1, 338, 14302219, 4436, 214, -83, 0},
    {57, ReadSimcomSystemInfo, Tech::lte, 440, 52, 24673, 33815299, 5900, 94, -84, 0},
    {59, ReadSimcomSystemInfo, Tech::lte, 404, 45, 8697, 322642, 39275, 453, -112.6, 0},
    {62, ReadSimcomSystemInfo, Tech::gsm, 460, 0, 6189, 12401, 27, {}, -64, 0},
    {51, ReadSimcomEngineering, Tech::gsm, 310, 260, 253, 21553, 668, 59, -98, 6},
    {55, ReadSimcomEngineering, Tech::gsm, 460, 0, 20481, 38589, {}, 23, -66, 1},
    {58, ReadSimcomEngineering, Tech::gsm, 404, 95, 49600, 19244, 665, 2, -76, 5},
    {60, ReadSimcomEngineering, Tech::gsm, 404, 4, 435, 55572, {}, 3, -94, 5},
    {61, ReadSimcomEngineering, Tech::gsm, 310, 411, 6029, 15, 154, 12, -83, 6},
    {64, ReadSimcomEngineering, Tech::gsm, 466, 5, 1122, 6496, 96, 43, -85, 2},
    // Telit: RFSTS of GSM, not camped (placeholders everywhere), UMTS whose active set stands for
    // the empty serving fields, LTE with a redacted cell; #MONI of LTE and a wrapped GSM line.
    {71, ReadTelitRadioStatus, Tech::gsm, 204, 4, 222, 39032, 1001, {}, -80, 0},
    {75, ReadTelitRadioStatus, Tech::gsm, {}, {}, {}, {}, {}, {}, -47, 0},
    {77, ReadTelitRadioStatus, Tech::wcdma, 204, 4, {}, 48086443, 10564, 176, {}, 0},
    {79, ReadTelitRadioStatus, Tech::lte, 310, 410, 35614, {}, 800, {}, -93, 0},
    {80, ReadTelitMonitor, Tech::lte, {}, {}, 35614, {}, 800, {}, -92, 0},
    {82, ReadTelitMonitor, Tech::gsm, {}, {}, 35539, 24596, 148, 51, -99, 0},
    // Sierra: LTE with carrier aggregation through a numbering wrapper, radio off, WCDMA.
    {65, ReadSierraStatus, Tech::lte, {}, {}, 42235, 7746572, 976, {}, -116, 0},
    {68, ReadSierraStatus, {}, {}, {}, {}, {}, {}, {}, {}, 0},
    {69, ReadSierraStatus, Tech::wcdma, {}, {}, 5001, 32883841, 10662, {}, {}, 0},
    // u-blox: the serving cell dump split over two lines.
    {90, ReadUbloxCellDump, Tech::wcdma, 310, 410, 11511, 145074050, 4384, {}, {}, 0},
    // The baseline: numeric operator without a blank, registration with a vendor field between
    // the area and the cell, an unsolicited line in the answer, FFFE as the LAC of an LTE modem,
    // a three-digit TAC, 28-bit cell identity without a technology, ffff as the cell.
    {0, Baseline, Tech::lte, 250, 1, {}, {}, {}, {}, {}, 0},
    {1, Baseline, Tech::lte, {}, {}, {}, 1193046, {}, {}, {}, 0},
    {12, Baseline, Tech::lte, {}, {}, 7936, 7985411, {}, {}, {}, 0},
    {49, Baseline, Tech::lte, {}, {}, {}, {}, {}, {}, {}, 0},
    {66, Baseline, Tech::lte, {}, {}, {}, 7746572, {}, {}, {}, 0},
    {84, Baseline, Tech::wcdma, {}, {}, 11511, 145074050, {}, {}, {}, 0},
    {91, Baseline, Tech::lte, {}, {}, 3339, 205897744, {}, {}, {}, 0},
    {17, Baseline, Tech::wcdma, {}, {}, 10, 227739, {}, {}, {}, 0},
    {7, Baseline, Tech::gsm, {}, {}, 6360, {}, {}, {}, {}, 0},
    {93, Baseline, Tech::gsm, {}, {}, {}, {}, {}, {}, -75, 0},
};

TEST(Transcripts, SampledResponsesGiveTheValuesTheirFieldsSay) {
  const std::vector<std::string> responses = Responses();
  for (const Expected& expected : kExpected) {
    SCOPED_TRACE("transcript " + std::to_string(expected.transcript) + ":\n" + responses.at(expected.transcript));
    const CellReport report = expected.read(responses.at(expected.transcript));
    EXPECT_EQ(report.neighbours.size(), expected.neighbours);
    ASSERT_EQ(report.serving.has_value(), expected.tech.has_value());
    if (!report.serving) continue;
    const radio::Cell& cell = *report.serving;
    EXPECT_EQ(cell.tech(), *expected.tech);
    EXPECT_EQ(cell.mcc, expected.mcc);
    EXPECT_EQ(cell.mnc, expected.mnc);
    const bool byTac = cell.tech() == Tech::lte || cell.tech() == Tech::nr;
    EXPECT_EQ(byTac ? cell.tac : cell.lac, expected.area);
    EXPECT_EQ(byTac ? cell.lac : cell.tac, std::nullopt);
    EXPECT_EQ(cell.cellId, expected.cellId);
    EXPECT_EQ(cell.channel, expected.channel);
    EXPECT_EQ(cell.PhysicalId(), expected.physicalId);
    EXPECT_EQ(cell.LevelDbm(), expected.levelDbm);
  }
}

}  // namespace
