#include "dialects/quectel_reader.h"

#include "dialects/cell_fields.h"
#include "dialects/response_text.h"

namespace dialects {
namespace {

using Fields = std::vector<std::string>;

// Reads the field at index r + offset.
struct At {
  const Fields& fields;
  std::size_t r;
  std::string_view operator()(std::size_t offset) const { return FieldAt(fields, r + offset); }
  std::optional<long long> dec(std::size_t offset) const { return Decimal((*this)(offset)); }
  std::optional<double> real(std::size_t offset) const { return Real((*this)(offset)); }
  std::optional<long long> hex(std::size_t offset) const { return Hex((*this)(offset)); }
};

radio::Cell GsmServing(const At& at) {
  radio::Cell cell = radio::MakeCell(radio::Tech::gsm);
  SetPlmn(cell, at.dec(1), at.dec(2));
  SetLac(cell, at.hex(3));
  SetCellId(cell, at.hex(4));
  SetChannel(cell, at.dec(6));
  auto& m = *cell.gsm();
  m.bsic = Bsic(at.dec(5));
  m.rxLevelDbm = GsmRxLevelDbm(at.dec(8));
  m.c1 = PathLoss(at.dec(12));
  m.c2 = PathLoss(at.dec(13));
  m.timingAdvance = TimingAdvance(at.dec(17));
  m.rxQual = RxQual(at.dec(23));
  return cell;
}

radio::Cell WcdmaServing(const At& at) {
  radio::Cell cell = radio::MakeCell(radio::Tech::wcdma);
  SetPlmn(cell, at.dec(1), at.dec(2));
  SetLac(cell, at.hex(3));
  SetCellId(cell, at.hex(4));
  SetChannel(cell, at.dec(5));
  auto& m = std::get<radio::WcdmaMeasures>(cell.measures);
  m.psc = Psc(at.dec(6));
  m.rscpDbm = RscpDbm(at.real(8));
  m.ecnoDb = EcnoDb(at.real(9));
  return cell;
}

radio::Cell LteServing(const At& at) {
  radio::Cell cell = radio::MakeCell(radio::Tech::lte);
  SetPlmn(cell, at.dec(2), at.dec(3));
  SetCellId(cell, at.hex(4));
  SetChannel(cell, at.dec(6));
  cell.band = LteBand(at.dec(7));
  SetTac(cell, at.hex(10));
  auto& m = std::get<radio::LteMeasures>(cell.measures);
  m.pci = LtePci(at.dec(5));
  m.rsrpDbm = LteRsrpDbm(at.real(11));
  m.rsrqDb = LteRsrqDb(at.real(12));
  m.rssiDbm = RssiDbm(at.real(13));
  m.sinrDb = LteSinrDb(at.real(14));
  return cell;
}

radio::Cell NrStandalone(const At& at) {
  radio::Cell cell = radio::MakeCell(radio::Tech::nr);
  SetPlmn(cell, at.dec(2), at.dec(3));
  SetCellId(cell, at.hex(4));
  SetTac(cell, at.hex(6));
  SetChannel(cell, at.dec(7));
  cell.band = NrBand(at.dec(8));
  auto& m = std::get<radio::NrMeasures>(cell.measures);
  m.pci = NrPci(at.dec(5));
  m.rsrpDbm = NrRsrpDbm(at.real(10));
  m.rsrqDb = NrRsrqDb(at.real(11));
  m.sinrDb = NrSinrDb(at.real(12));
  return cell;
}

radio::Cell NrBesideLte(const At& at) {
  radio::Cell cell = radio::MakeCell(radio::Tech::nr);
  SetPlmn(cell, at.dec(1), at.dec(2));
  SetChannel(cell, at.dec(7));
  cell.band = NrBand(at.dec(8));
  auto& m = std::get<radio::NrMeasures>(cell.measures);
  m.pci = NrPci(at.dec(3));
  m.rsrpDbm = NrRsrpDbm(at.real(4));
  m.sinrDb = NrSinrDb(at.real(5));
  m.rsrqDb = NrRsrqDb(at.real(6));
  return cell;
}

bool IsLteName(const std::string& rat) {
  return rat == "lte" || rat == "cat-m" || rat == "cat-m1" || rat == "emtc" || rat == "cat-nb" || rat == "nbiot" ||
         rat == "cat-nb1";
}

bool HasCell(const radio::Cell& cell) { return cell.channel || cell.PhysicalId() || cell.cellId; }

}  // namespace

CellReport ReadQuectelServingCell(std::string_view response) {
  CellReport report;
  for (const std::string& entry : PrefixedEntries(response, "+QENG:")) {
    const Fields fields = SplitFields(entry);
    // The RAT follows the state on a full line, and leads the lines under an EN-DC state line.
    std::size_t r = 0;
    if (Lower(FieldAt(fields, 0)) == "servingcell") r = 2;
    const std::string rat = Lower(FieldAt(fields, r));
    const At at{fields, r};
    std::optional<radio::Cell> cell;
    bool secondary = false;
    if (rat == "gsm") {
      cell = GsmServing(at);
    } else if (rat == "wcdma") {
      cell = WcdmaServing(at);
    } else if (IsLteName(rat)) {
      cell = LteServing(at);
    } else if (rat == "nr5g-sa") {
      cell = NrStandalone(at);
    } else if (rat == "nr5g-nsa") {
      cell = NrBesideLte(at);
      secondary = true;
    }
    if (!cell) continue;
    if (secondary) {
      if (HasCell(*cell)) report.secondary.push_back(std::move(*cell));
    } else if (!report.serving) {
      report.serving = std::move(cell);
    }
  }
  return report;
}

CellReport ReadQuectelNeighbourCells(std::string_view response) {
  CellReport report;
  for (const std::string& entry : PrefixedEntries(response, "+QENG:")) {
    const Fields fields = SplitFields(entry);
    if (!Lower(FieldAt(fields, 0)).starts_with("neighbourcell")) continue;
    const std::string rat = Lower(FieldAt(fields, 1));
    const At at{fields, 1};
    if (rat == "lte") {
      radio::Cell cell = radio::MakeCell(radio::Tech::lte);
      SetChannel(cell, at.dec(1));
      auto& m = std::get<radio::LteMeasures>(cell.measures);
      m.pci = LtePci(at.dec(2));
      m.rsrqDb = LteRsrqDb(at.real(3));
      m.rsrpDbm = LteRsrpDbm(at.real(4));
      m.rssiDbm = RssiDbm(at.real(5));
      m.sinrDb = LteSinrDb(at.real(6));
      // An inter-frequency line without a cell is only a frequency the modem watches.
      if (m.pci || m.rsrpDbm) report.neighbours.push_back(std::move(cell));
    } else if (rat == "wcdma") {
      radio::Cell cell = radio::MakeCell(radio::Tech::wcdma);
      SetChannel(cell, at.dec(1));
      auto& m = std::get<radio::WcdmaMeasures>(cell.measures);
      m.psc = Psc(at.dec(5));
      m.rscpDbm = RscpDbm(at.real(6));
      m.ecnoDb = EcnoDb(at.real(7));
      if (m.psc || m.rscpDbm) report.neighbours.push_back(std::move(cell));
    } else if (rat == "gsm") {
      radio::Cell cell = radio::MakeCell(radio::Tech::gsm);
      SetPlmn(cell, at.dec(1), at.dec(2));
      SetLac(cell, at.hex(3));
      SetCellId(cell, at.hex(4));
      SetChannel(cell, at.dec(6));
      auto& m = *cell.gsm();
      m.bsic = Bsic(at.dec(5));
      m.rxLevelDbm = GsmRxLevelDbm(at.dec(7));
      m.c1 = PathLoss(at.dec(8));
      m.c2 = PathLoss(at.dec(9));
      if (HasCell(cell)) report.neighbours.push_back(std::move(cell));
    }
  }
  return report;
}

CellReport ReadQuectelEngineering2g(std::string_view response) {
  CellReport report;
  for (const std::string& entry : PrefixedEntries(response, "+QENG:")) {
    const Fields fields = SplitFields(entry);
    const auto kind = Decimal(FieldAt(fields, 0));
    if (kind == 0 && fields.size() >= 8) {
      radio::Cell cell = radio::MakeCell(radio::Tech::gsm);
      const At at{fields, 0};
      SetPlmn(cell, at.dec(1), at.dec(2));
      SetLac(cell, at.hex(3));
      SetCellId(cell, at.hex(4));
      SetChannel(cell, at.dec(5));
      auto& m = *cell.gsm();
      m.bsic = Bsic(at.dec(6));
      m.rxLevelDbm = GsmRxLevelDbm(at.dec(7));
      m.c1 = PathLoss(at.dec(8));
      m.c2 = PathLoss(at.dec(9));
      m.timingAdvance = TimingAdvance(at.dec(16));
      m.rxQual = RxQual(at.dec(18));
      if (!report.serving) report.serving = std::move(cell);
    } else if (kind == 1 && fields.size() >= 11) {
      // Ten fields a neighbour: ncell, bcch, dbm, bsic, c1, c2, mcc, mnc, lac, cellid.
      for (std::size_t start = 1; start + 10 <= fields.size(); start += 10) {
        const At at{fields, start};
        radio::Cell cell = radio::MakeCell(radio::Tech::gsm);
        SetChannel(cell, at.dec(1));
        auto& m = *cell.gsm();
        m.rxLevelDbm = GsmRxLevelDbm(at.dec(2));
        m.bsic = Bsic(at.dec(3));
        m.c1 = PathLoss(at.dec(4));
        m.c2 = PathLoss(at.dec(5));
        SetPlmn(cell, at.dec(6), at.dec(7));
        SetLac(cell, at.hex(8));
        SetCellId(cell, at.hex(9));
        if (HasCell(cell)) report.neighbours.push_back(std::move(cell));
      }
    }
  }
  return report;
}

}  // namespace dialects
