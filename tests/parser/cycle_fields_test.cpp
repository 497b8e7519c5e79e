// The field report's values of a cycle and back: the values the simulated modem's reports deliver,
// put into the cycle record, come out of it as the same texts and numbers, so that a cycle
// received as numbers is logged as the modem's own report would have been.

#include "parser/cycle_fields.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "parser/report_parser.h"
#include "platform/text_encoding.h"
#include "tests/support/recording_sink.h"
#include "tools/gsm_modem_sim/cell_world.h"

namespace {

using namespace platform::literals;
using Delivered = std::map<std::pair<int, int>, std::pair<std::string, std::optional<double>>>;

// Each (code, cell) once: its last value, as the window and the cycle record keep it.
Delivered ByAddress(const std::vector<radio::DeliveredField>& fields) {
  Delivered byAddress;
  for (const auto& field : fields) byAddress[{field.code, field.cell}] = {field.text, field.number};
  return byAddress;
}

TEST(FieldsOfCycle, GivesBackWhatTheReportsDelivered) {
  for (const auto& [seed, band] : {std::pair{4u, modemsim::SimBand::mixed}, std::pair{11u, modemsim::SimBand::egsm},
                                   std::pair{12u, modemsim::SimBand::gsm900}}) {
    modemsim::CellWorld world(seed, 6, band);
    for (int step = 0; step < 40; ++step) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
      world.Advance();
      if (step % 9 == 8) world.Reselect();
      testsupport::ScopedDisplayRecorder recorder;
      const auto serving = world.ServingReport(step % 2 == 0);
      parser::ParseReportLines(serving[1], serving[2], 0);
      const auto neighbours = world.NeighbourReport();
      for (std::size_t row = 1; row < neighbours.size(); ++row) {
        parser::ParseReportLines(neighbours[0], neighbours[row], static_cast<int>(row));
      }

      radio::Cycle cycle;
      std::vector<radio::DeliveredField> delivered;
      const auto fields = recorder.Fields();
      const auto numbers = recorder.Numbers();
      for (std::size_t i = 0; i < fields.size(); ++i) {
        delivered.push_back({fields[i].fieldCode, fields[i].cellIndex, fields[i].text, numbers[i]});
        parser::ApplyField(cycle, fields[i].fieldCode, fields[i].cellIndex, {fields[i].text, numbers[i]});
      }
      ASSERT_EQ(cycle.neighbours.size(), 6u);
      EXPECT_EQ(ByAddress(parser::FieldsOfCycle(cycle)), ByAddress(delivered));
    }
  }
}

// The texts the column table makes of values the simulator seldom gives.
TEST(FieldsOfCycle, WritesEachMeasureAsTheColumnTableDoes) {
  struct Case {
    int code;
    std::string text;  // delivered, and expected back
  };
  const Case cases[] = {
      {parser::fcTimingAdvance, "0"},
      {parser::fcTimingAdvance, "3,0"},
      {parser::fcTimingAdvance, "35,0"},
      {parser::fcBitError, "18,1"},
      {parser::fcBitError, "0,14"},
      {parser::fcOperator, "05"},
      {parser::fcOperator, std::string("МТС"_cp1251)},
      {parser::fcOperator, "20"},
      {parser::fcCountry, "251"},
      {parser::fcCountry, std::string("Россия"_cp1251)},
      {parser::fcBaseStation, "0.0"},
      {parser::fcBaseStation, "7.7"},
      {parser::fcFreqBand, "EGSM"},
      {parser::fcRxLevel, "-120"},
      {parser::fcCell, "0"},
      {parser::fcLocalArea, "9998"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.code) + " " + c.text);
    radio::Cycle cycle;
    parser::ApplyField(cycle, c.code, 0, parser::TextValue(c.text));
    const auto back = ByAddress(parser::FieldsOfCycle(cycle));
    ASSERT_TRUE(back.contains({c.code, 0}));
    EXPECT_EQ(back.at({c.code, 0}).first, c.text);
    EXPECT_EQ(back.at({c.code, 0}).second, parser::ValueNumber(c.text));
  }
}

// A BSIC is its network colour code and base station colour code; a text that states no such
// pair is no BSIC, and the cell shows "(n/a)" for it.
TEST(FieldsOfCycle, ReadsABsicAsItsTwoColourCodes) {
  const std::pair<std::string, std::optional<int>> cases[] = {{"4.4", 36},
                                                              {"0.0", 0},
                                                              {"7.7", 63},
                                                              {"x.5", std::nullopt},
                                                              {"8.1", std::nullopt},
                                                              {"4.", std::nullopt},
                                                              {".4", std::nullopt},
                                                              {"-1.2", std::nullopt},
                                                              {"1.-2", std::nullopt},
                                                              {"4.4.4", std::nullopt},
                                                              {"12", 12},
                                                              {"64", std::nullopt},
                                                              {"(n/a)", std::nullopt}};
  for (const auto& [text, bsic] : cases) {
    radio::Cycle cycle;
    parser::ApplyField(cycle, parser::fcBaseStation, 1, parser::TextValue(text));
    ASSERT_EQ(cycle.neighbours.size(), 1u);
    EXPECT_EQ(cycle.neighbours[0].gsm()->bsic, bsic) << text;
  }
}

TEST(FieldsOfCycle, SaysNothingOfCellsNotReportedNorOfOtherTechnologies) {
  radio::Cycle cycle;
  parser::ApplyField(cycle, parser::fcChannel, 3, parser::TextValue("55"));  // neighbours 1 and 2 unheard
  radio::Cell lte;
  lte.measures = radio::LteMeasures{};
  lte.channel = 1300;
  lte.band = "B3";
  cycle.neighbours.push_back(lte);
  std::vector<std::pair<int, int>> addresses;
  for (const auto& field : parser::FieldsOfCycle(cycle)) addresses.emplace_back(field.code, field.cell);
  EXPECT_EQ(addresses, (std::vector<std::pair<int, int>>{{parser::fcFreqBand, 3},
                                                         {parser::fcBaseStation, 3},
                                                         {parser::fcCell, 3},
                                                         {parser::fcRxLevel, 3},
                                                         {parser::fcChannel, 3}}));
}

}  // namespace
