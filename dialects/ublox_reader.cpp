#include "dialects/ublox_reader.h"

#include "dialects/cell_fields.h"
#include "dialects/key_values.h"
#include "dialects/response_text.h"

namespace dialects {
namespace {

using Fields = std::vector<std::string>;

CellReport ReadMode2(const std::vector<std::string_view>& lines, std::size_t header) {
  CellReport report;
  if (header + 2 >= lines.size()) return report;
  const Fields plmn = SplitFields(lines[header + 1]);
  const Fields f = SplitFields(lines[header + 2]);
  if (f.size() < 16) return report;
  radio::Cell cell = radio::MakeCell(radio::Tech::lte);
  SetPlmn(cell, Decimal(FieldAt(plmn, 2)), Decimal(FieldAt(plmn, 3)));
  SetChannel(cell, Decimal(FieldAt(f, 0)));
  cell.band = LteBand(Decimal(FieldAt(f, 1)));
  SetTac(cell, Hex(FieldAt(f, 4)));
  SetCellId(cell, Hex(FieldAt(f, 5)));
  auto& m = std::get<radio::LteMeasures>(cell.measures);
  m.pci = LtePci(Decimal(FieldAt(f, 6)));
  const auto rsrp = Within(Decimal(FieldAt(f, 10)), 0, 97);
  const auto rsrq = Within(Decimal(FieldAt(f, 11)), 0, 34);
  if (rsrp) m.rsrpDbm = LteRsrpDbm(-141.0 + *rsrp);
  if (rsrq) m.rsrqDb = LteRsrqDb(-20.0 + *rsrq / 2.0);
  report.serving = std::move(cell);
  return report;
}

// "+RSRP: 162,5110,"-076.50",55,5110,"-080.20"," -> triples of PCI, EARFCN and level.
struct Triple {
  std::optional<int> pci;
  std::optional<int> earfcn;
  std::optional<double> level;
};
std::vector<Triple> Triples(const std::string& entry) {
  const Fields f = SplitFields(entry);
  std::vector<Triple> triples;
  for (std::size_t i = 0; i + 1 < f.size(); i += 3) {
    triples.push_back({LtePci(Decimal(f[i])), Within(Decimal(f[i + 1]), 0, 262143), Real(FieldAt(f, i + 2))});
  }
  return triples;
}

CellReport ReadMode5(std::string_view response) {
  CellReport report;
  std::vector<Triple> rsrp;
  std::vector<Triple> rsrq;
  for (const std::string& entry : PrefixedEntries(response, "+RSRP:")) rsrp = Triples(entry);
  for (const std::string& entry : PrefixedEntries(response, "+RSRQ:")) rsrq = Triples(entry);
  for (std::size_t i = 0; i < rsrp.size(); ++i) {
    radio::Cell cell = radio::MakeCell(radio::Tech::lte);
    SetChannel(cell, rsrp[i].earfcn);
    auto& m = std::get<radio::LteMeasures>(cell.measures);
    m.pci = rsrp[i].pci;
    m.rsrpDbm = LteRsrpDbm(rsrp[i].level);
    for (const Triple& q : rsrq) {
      if (q.pci == m.pci && q.earfcn == cell.channel) m.rsrqDb = LteRsrqDb(q.level);
    }
    if (!m.pci && !cell.channel) continue;
    if (!report.serving) {
      report.serving = std::move(cell);
    } else {
      report.neighbours.push_back(std::move(cell));
    }
  }
  return report;
}

}  // namespace

CellReport ReadUbloxCellInfo(std::string_view response) {
  const std::vector<std::string_view> lines = ResponseLines(response);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string lower = Lower(lines[i]);
    if (!lower.starts_with("+ucged:")) continue;
    if (Decimal(lines[i].substr(7)) == 2) return ReadMode2(lines, i);
  }
  return ReadMode5(response);
}

CellReport ReadUbloxCellDump(std::string_view response) {
  CellReport report;
  std::string text;
  for (const std::string& entry : PrefixedEntries(response, "+CGED:")) text += entry + ",";
  const auto pairs = KeyValues(text, ',');
  const std::string rat = Lower(ValueOf(pairs, "rat"));
  radio::Cell cell;
  if (rat == "umts" || !ValueOf(pairs, "dlf").empty()) {
    cell = radio::MakeCell(radio::Tech::wcdma);
    SetChannel(cell, Decimal(ValueOf(pairs, "dlf")));
    std::get<radio::WcdmaMeasures>(cell.measures).psc = Psc(Decimal(ValueOf(pairs, "sc")));
  } else if (!ValueOf(pairs, "arfcn").empty()) {
    cell = radio::MakeCell(radio::Tech::gsm);
    SetChannel(cell, Decimal(ValueOf(pairs, "arfcn")));
    cell.gsm()->bsic = Bsic(Decimal(ValueOf(pairs, "bsic")));
    cell.gsm()->rxLevelDbm = RxLevToDbm(Decimal(ValueOf(pairs, "rxlev")));
  } else {
    return report;
  }
  SetPlmn(cell, Decimal(ValueOf(pairs, "mcc")), Decimal(ValueOf(pairs, "mnc")));
  SetLac(cell, Hex(ValueOf(pairs, "lac")));
  SetCellId(cell, Hex(ValueOf(pairs, "ci")));
  report.serving = std::move(cell);
  return report;
}

}  // namespace dialects
