#pragma once
// Cells and cycles of every technology made from their values by name, for tests.

#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "parser/cycle_fields.h"
#include "radio/cell_values.h"
#include "radio/cycle.h"

namespace testsupport {

// A cell of tech with the values given; a value its technology refuses fails the test's
// expectations at once, not later.
inline radio::Cell TypedCell(radio::Tech tech, std::initializer_list<radio::NamedValue> values) {
  radio::Cell cell = radio::MakeCell(tech);
  for (const radio::NamedValue& value : values) {
    if (!radio::SetCellValue(cell, value.name, value.value)) cell.band = "refused " + std::string(value.name);
  }
  return cell;
}

// A GSM 900 cell: channel, BSIC "N.B" (none: ""), level in dBm, cell identity (none: -1).
inline radio::Cell GsmCell(int channel, std::string_view bsic, int levelDbm, std::int64_t cellId = -1) {
  radio::Cell cell = TypedCell(radio::Tech::gsm, {{"channel", channel}, {"rxlevel_dbm", levelDbm}});
  cell.band = "GSM900";
  if (bsic.size() == 3) cell.gsm()->bsic = (bsic[0] - '0') * 8 + (bsic[2] - '0');
  if (cellId >= 0) cell.cellId = cellId;
  return cell;
}

// A cycle of cells: the first the serving cell, the others its neighbours in their ranks (a cell
// with no value stands for a rank the report left empty).
inline radio::Cycle CycleOf(std::vector<radio::Cell> cells) {
  radio::Cycle cycle;
  if (cells.empty()) return cycle;
  cycle.serving = std::move(cells.front());
  cycle.neighbours.assign(std::make_move_iterator(cells.begin() + 1), std::make_move_iterator(cells.end()));
  return cycle;
}

// An EN-DC cycle as a modem of another family reports it: an LTE serving cell with its NR leg,
// neighbours of LTE, WCDMA and GSM; its GSM cells also as the field values the window and the log
// take (as the dialects deliver them).
inline radio::Cycle EnDcCycle(long n = 1, double rsrpDbm = -95.5) {
  using radio::Tech;
  radio::Cycle cycle;
  cycle.n = n;
  cycle.serving = TypedCell(Tech::lte, {{"mcc", 250},
                                        {"mnc", 1},
                                        {"operator_name", std::string("MTS RUS")},
                                        {"tac", 7001},
                                        {"cell_id", 26132481},
                                        {"channel", 1850},
                                        {"band", std::string("B3")},
                                        {"pci", 123},
                                        {"rsrp_dbm", rsrpDbm},
                                        {"rsrq_db", -10.5},
                                        {"rssi_dbm", -65.0},
                                        {"sinr_db", 12.4}});
  cycle.secondary = {TypedCell(Tech::nr, {{"channel", 627264},
                                          {"band", std::string("n78")},
                                          {"pci", 501},
                                          {"rsrp_dbm", -101.0},
                                          {"rsrq_db", -11.0},
                                          {"sinr_db", 7.5}})};
  cycle.neighbours = {
      TypedCell(Tech::lte, {{"channel", 1850}, {"pci", 124}, {"rsrp_dbm", -99.25}, {"rsrq_db", -13.0}}),
      TypedCell(Tech::wcdma, {{"channel", 10737}, {"psc", 301}, {"rscp_dbm", -87.0}, {"ecno_db", -6.5}}),
      TypedCell(Tech::gsm, {{"channel", 62}, {"bsic", 59}, {"rxlevel_dbm", -80}, {"band", std::string("GSM900")}}),
      TypedCell(Tech::nr, {{"channel", 643334}, {"pci", 7}, {"rsrp_dbm", -110.5}}),
  };
  cycle.registration = radio::Registration::home;
  cycle.delivered = parser::FieldsOfCycle(cycle);
  return cycle;
}

}  // namespace testsupport
