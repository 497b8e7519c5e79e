#include "dialects/simcom_reader.h"

#include <cmath>

#include "dialects/cell_fields.h"
#include "dialects/response_text.h"

namespace dialects {
namespace {

using Fields = std::vector<std::string>;

// "EUTRAN-BAND18", "NR5G_BAND78": the number after "BAND".
std::optional<long long> BandNumber(std::string_view text) {
  const std::string lower = Lower(text);
  const std::size_t at = lower.rfind("band");
  if (at == std::string::npos) return std::nullopt;
  return Decimal(std::string_view(lower).substr(at + 4));
}

// A WCDMA band text such as "WCDMA 850" or "WCDMA IMT 2000" as an operating band.
std::string WcdmaBand(std::string_view text) {
  const std::string lower = Lower(text);
  if (lower.find("2100") != std::string::npos || lower.find("imt") != std::string::npos) return "B1";
  if (lower.find("1900") != std::string::npos) return "B2";
  if (lower.find("1800") != std::string::npos) return "B3";
  if (lower.find("850") != std::string::npos) return "B5";
  if (lower.find("900") != std::string::npos) return "B8";
  return "";
}

// The levels of the Qualcomm-based modules come in tenths: an RSRP of -1126 is -112.6 dBm.
double Tenths(double value) { return value / 10.0; }

// A level the modem may write as a positive magnitude ("RSCP 83" for -83 dBm).
std::optional<double> Negative(std::optional<double> value) {
  if (!value) return std::nullopt;
  return -std::fabs(*value);
}

radio::Cell LteCell(const Fields& f) {
  radio::Cell cell = radio::MakeCell(radio::Tech::lte);
  SetPlmnText(cell, FieldAt(f, 2));
  SetTac(cell, Hex(FieldAt(f, 3)));
  SetCellId(cell, Decimal(FieldAt(f, 4)));
  SetChannel(cell, Decimal(FieldAt(f, 7)));
  cell.band = LteBand(BandNumber(FieldAt(f, 6)));
  auto& m = std::get<radio::LteMeasures>(cell.measures);
  m.pci = LtePci(Decimal(FieldAt(f, 5)));
  std::optional<double> rsrq = Real(FieldAt(f, 10));
  std::optional<double> rsrp = Real(FieldAt(f, 11));
  std::optional<double> rssi = Real(FieldAt(f, 12));
  if (rsrp && *rsrp < -200) {
    rsrp = Tenths(*rsrp);
    if (rsrq) rsrq = Tenths(*rsrq);
    if (rssi) rssi = Tenths(*rssi);
  }
  m.rsrqDb = LteRsrqDb(rsrq);
  m.rsrpDbm = LteRsrpDbm(rsrp);
  m.rssiDbm = RssiDbm(rssi);
  m.sinrDb = LteSinrDb(Real(FieldAt(f, 13)));
  return cell;
}

radio::Cell GsmCell(const Fields& f) {
  radio::Cell cell = radio::MakeCell(radio::Tech::gsm);
  SetPlmnText(cell, FieldAt(f, 2));
  SetLac(cell, Hex(FieldAt(f, 3)));
  SetCellId(cell, Decimal(FieldAt(f, 4)));
  // "27 EGSM 900": the ARFCN and the band share a field.
  const std::string_view channelAndBand = FieldAt(f, 5);
  SetChannel(cell, Decimal(channelAndBand.substr(0, channelAndBand.find(' '))));
  auto& m = *cell.gsm();
  m.rxLevelDbm = GsmRxLevelDbm(Decimal(FieldAt(f, 6)));
  const std::string_view c1c2 = FieldAt(f, 8);
  const std::size_t dash = c1c2.find('-', 1);
  if (dash != std::string_view::npos) {
    m.c1 = PathLoss(Decimal(c1c2.substr(0, dash)));
    m.c2 = PathLoss(Decimal(c1c2.substr(dash + 1)));
  }
  return cell;
}

radio::Cell WcdmaCell(const Fields& f) {
  radio::Cell cell = radio::MakeCell(radio::Tech::wcdma);
  SetPlmnText(cell, FieldAt(f, 2));
  SetLac(cell, Hex(FieldAt(f, 3)));
  SetCellId(cell, Decimal(FieldAt(f, 4)));
  cell.band = WcdmaBand(FieldAt(f, 5));
  SetChannel(cell, Decimal(FieldAt(f, 7)));
  auto& m = std::get<radio::WcdmaMeasures>(cell.measures);
  m.psc = Psc(Decimal(FieldAt(f, 6)));
  m.ecnoDb = EcnoDb(Negative(Real(FieldAt(f, 9))));
  m.rscpDbm = RscpDbm(Negative(Real(FieldAt(f, 10))));
  return cell;
}

// NR5G_SA: mode, op mode, MCC-MNC, TAC, SCellID, PCellID, band, ARFCN, RSRP, RSRQ, SNR (tenths).
radio::Cell NrStandalone(const Fields& f) {
  radio::Cell cell = radio::MakeCell(radio::Tech::nr);
  SetPlmnText(cell, FieldAt(f, 2));
  SetTac(cell, Hex(FieldAt(f, 3)));
  SetCellId(cell, Decimal(FieldAt(f, 4)));
  cell.band = NrBand(BandNumber(FieldAt(f, 6)));
  SetChannel(cell, Decimal(FieldAt(f, 7)));
  auto& m = std::get<radio::NrMeasures>(cell.measures);
  m.pci = NrPci(Decimal(FieldAt(f, 5)));
  const auto tenths = [](std::optional<double> v) { return v ? std::optional<double>(Tenths(*v)) : v; };
  m.rsrpDbm = NrRsrpDbm(tenths(Real(FieldAt(f, 8))));
  m.rsrqDb = NrRsrqDb(tenths(Real(FieldAt(f, 9))));
  m.sinrDb = NrSinrDb(tenths(Real(FieldAt(f, 10))));
  return cell;
}

// NR5G_NSA under the LTE line: PCellID, band, ARFCN, RSRP, RSRQ, SNR (tenths).
radio::Cell NrBesideLte(const Fields& f) {
  radio::Cell cell = radio::MakeCell(radio::Tech::nr);
  cell.band = NrBand(BandNumber(FieldAt(f, 2)));
  SetChannel(cell, Decimal(FieldAt(f, 3)));
  auto& m = std::get<radio::NrMeasures>(cell.measures);
  m.pci = NrPci(Decimal(FieldAt(f, 1)));
  const auto tenths = [](std::optional<double> v) { return v ? std::optional<double>(Tenths(*v)) : v; };
  m.rsrpDbm = NrRsrpDbm(tenths(Real(FieldAt(f, 4))));
  m.rsrqDb = NrRsrqDb(tenths(Real(FieldAt(f, 5))));
  m.sinrDb = NrSinrDb(tenths(Real(FieldAt(f, 6))));
  return cell;
}

// The layouts of AT+CENG? entries, told apart by the serving entry's field count.
enum class CengLayout {
  full,     // serving: arfcn,rxl,rxq,mcc,mnc,bsic,cellid,rla,txp,lac,ta[,dbm,c1,c2,...]
  compact,  // every entry: mcc,mnc,lac,cellid,bsic,rxl (mode 3)
  listed,   // every entry, the serving one too: arfcn,rxl,bsic,cellid,mcc,mnc,lac (7600 class)
};

radio::Cell CengNeighbour(const Fields& f, CengLayout layout) {
  radio::Cell cell = radio::MakeCell(radio::Tech::gsm);
  auto& m = *cell.gsm();
  if (layout == CengLayout::compact) {
    SetPlmn(cell, Decimal(FieldAt(f, 0)), Decimal(FieldAt(f, 1)));
    SetLac(cell, Hex(FieldAt(f, 2)));
    SetCellId(cell, Hex(FieldAt(f, 3)));
    m.bsic = Bsic(Decimal(FieldAt(f, 4)));
    m.rxLevelDbm = RxLevToDbm(Decimal(FieldAt(f, 5)));
    return cell;
  }
  SetChannel(cell, Decimal(FieldAt(f, 0)));
  m.rxLevelDbm = RxLevToDbm(Decimal(FieldAt(f, 1)));
  m.bsic = Bsic(Decimal(FieldAt(f, 2)));
  // Without the cell identity (six fields) the PLMN and LAC move one place left.
  const std::size_t plmn = f.size() == 6 ? 3 : 4;
  if (plmn == 4) SetCellId(cell, Hex(FieldAt(f, 3)));
  SetPlmn(cell, Decimal(FieldAt(f, plmn)), Decimal(FieldAt(f, plmn + 1)));
  SetLac(cell, Hex(FieldAt(f, plmn + 2)));
  if (f.size() >= 9) {
    m.c1 = PathLoss(Decimal(FieldAt(f, 7)));
    m.c2 = PathLoss(Decimal(FieldAt(f, 8)));
  }
  return cell;
}

radio::Cell CengServing(const Fields& f) {
  radio::Cell cell = radio::MakeCell(radio::Tech::gsm);
  auto& m = *cell.gsm();
  SetChannel(cell, Decimal(FieldAt(f, 0)));
  m.rxLevelDbm = RxLevToDbm(Decimal(FieldAt(f, 1)));
  m.rxQual = RxQual(Decimal(FieldAt(f, 2)));
  SetPlmn(cell, Decimal(FieldAt(f, 3)), Decimal(FieldAt(f, 4)));
  m.bsic = Bsic(Decimal(FieldAt(f, 5)));
  SetCellId(cell, Hex(FieldAt(f, 6)));
  SetLac(cell, Hex(FieldAt(f, 9)));
  m.timingAdvance = TimingAdvance(Decimal(FieldAt(f, 10)));
  if (f.size() >= 14) {
    // The extended mode gives the level in dBm and the reselection criteria.
    if (const auto dbm = GsmRxLevelDbm(Decimal(FieldAt(f, 11)))) m.rxLevelDbm = dbm;
    m.c1 = PathLoss(Decimal(FieldAt(f, 12)));
    m.c2 = PathLoss(Decimal(FieldAt(f, 13)));
  }
  return cell;
}

bool Known(const radio::Cell& cell) { return cell.channel || (cell.lac && cell.cellId); }

}  // namespace

CellReport ReadSimcomSystemInfo(std::string_view response) {
  CellReport report;
  for (const std::string& entry : PrefixedEntries(response, "+CPSI:")) {
    const Fields fields = SplitFields(entry);
    const std::string mode = Lower(FieldAt(fields, 0));
    std::optional<radio::Cell> cell;
    bool secondary = false;
    if (mode.starts_with("lte")) {
      cell = LteCell(fields);
    } else if (mode == "gsm") {
      cell = GsmCell(fields);
    } else if (mode == "wcdma") {
      cell = WcdmaCell(fields);
    } else if (mode == "nr5g_sa") {
      cell = NrStandalone(fields);
    } else if (mode == "nr5g_nsa") {
      cell = NrBesideLte(fields);
      secondary = true;
    }
    if (!cell) continue;
    if (secondary) {
      report.secondary.push_back(std::move(*cell));
    } else if (!report.serving) {
      report.serving = std::move(cell);
    }
  }
  return report;
}

CellReport ReadSimcomEngineering(std::string_view response) {
  CellReport report;
  std::vector<std::pair<int, Fields>> entries;
  std::optional<long long> mode;
  for (const std::string& entry : PrefixedEntries(response, "+CENG:")) {
    const Fields fields = SplitFields(entry);
    const auto index = Within(Decimal(FieldAt(fields, 0)), 0, 12);
    // An entry is "<n>,\"<values>\""; anything else is the header "<mode>,<ncell>[,...]".
    const std::size_t quote = entry.find('"');
    if (!index || quote == std::string::npos) {
      mode = Decimal(FieldAt(fields, 0));
      continue;
    }
    const std::size_t end = entry.rfind('"');
    entries.emplace_back(*index, SplitFields(std::string_view(entry).substr(quote + 1, end - quote - 1)));
  }
  CengLayout layout = mode == 3 ? CengLayout::compact : CengLayout::full;
  for (const auto& [index, fields] : entries) {
    if (index != 0) continue;
    if (fields.size() == 6) layout = CengLayout::compact;
    if (fields.size() == 7) layout = CengLayout::listed;
  }
  for (const auto& [index, fields] : entries) {
    radio::Cell cell = index == 0 && layout == CengLayout::full ? CengServing(fields) : CengNeighbour(fields, layout);
    if (!Known(cell)) continue;
    if (index == 0) {
      if (!report.serving) report.serving = std::move(cell);
    } else {
      report.neighbours.push_back(std::move(cell));
    }
  }
  return report;
}

}  // namespace dialects
