#include "dialects/telit_reader.h"

#include <cctype>

#include "dialects/cell_fields.h"
#include "dialects/key_values.h"
#include "dialects/response_text.h"

namespace dialects {
namespace {

using Fields = std::vector<std::string>;

// The IMSI: the first field from the fifth on that starts with five digits (a redacted one
// still does).
std::optional<std::size_t> ImsiIndex(const Fields& f) {
  for (std::size_t i = 4; i < f.size(); ++i) {
    const std::string& field = f[i];
    if (field.size() < 9) continue;
    bool digits = true;
    for (std::size_t k = 0; k < 5; ++k) digits = digits && std::isdigit(static_cast<unsigned char>(field[k])) != 0;
    if (digits) return i;
  }
  return std::nullopt;
}

std::optional<long long> Dbm(std::string_view text) {
  const std::string lower = Lower(text);
  const std::size_t unit = lower.find("dbm");
  return Decimal(std::string_view(text).substr(0, unit));
}

}  // namespace

CellReport ReadTelitRadioStatus(std::string_view response) {
  CellReport report;
  for (const std::string& entry : PrefixedEntries(response, "#RFSTS:")) {
    const Fields f = SplitFields(entry);
    const auto imsi = ImsiIndex(f);
    if (!imsi) continue;
    radio::Cell cell;
    if (*imsi >= 15) {
      cell = radio::MakeCell(radio::Tech::wcdma);
      SetChannel(cell, Decimal(FieldAt(f, 1)));
      auto& m = std::get<radio::WcdmaMeasures>(cell.measures);
      m.psc = Psc(Decimal(FieldAt(f, 2)));
      m.ecnoDb = EcnoDb(Real(FieldAt(f, 3)));
      m.rscpDbm = RscpDbm(Real(FieldAt(f, 4)));
      SetLac(cell, Hex(FieldAt(f, 6)));
      SetCellId(cell, Hex(FieldAt(f, *imsi - 1)));
      // The active set: <nAST> then UARFCN, PSC, Ec/Io of each member; the first stands for a
      // serving cell the modem left empty.
      const auto members = Within(Decimal(FieldAt(f, *imsi + 3)), 0, 6);
      for (int k = 0; members && k < *members; ++k) {
        const std::size_t at = *imsi + 4 + static_cast<std::size_t>(k) * 3;
        radio::Cell member = radio::MakeCell(radio::Tech::wcdma);
        SetChannel(member, Decimal(FieldAt(f, at)));
        auto& mm = std::get<radio::WcdmaMeasures>(member.measures);
        mm.psc = Psc(Decimal(FieldAt(f, at + 1)));
        mm.ecnoDb = EcnoDb(Real(FieldAt(f, at + 2)));
        if (k == 0 && !cell.channel && !m.psc) {
          cell.channel = member.channel;
          m.psc = mm.psc;
          m.ecnoDb = mm.ecnoDb;
        } else if (member.channel || mm.psc) {
          report.neighbours.push_back(std::move(member));
        }
      }
    } else if (*imsi >= 12) {
      cell = radio::MakeCell(radio::Tech::lte);
      SetChannel(cell, Decimal(FieldAt(f, 1)));
      auto& m = std::get<radio::LteMeasures>(cell.measures);
      m.rsrpDbm = LteRsrpDbm(Real(FieldAt(f, 2)));
      m.rssiDbm = RssiDbm(Real(FieldAt(f, 3)));
      m.rsrqDb = LteRsrqDb(Real(FieldAt(f, 4)));
      SetTac(cell, Hex(FieldAt(f, 5)));
      SetCellId(cell, Hex(FieldAt(f, *imsi - 1)));
      if (f.size() >= *imsi + 7) m.sinrDb = LteSinrDb(Real(FieldAt(f, *imsi + 6)));
    } else {
      cell = radio::MakeCell(radio::Tech::gsm);
      SetChannel(cell, Decimal(FieldAt(f, 1)));
      cell.gsm()->rxLevelDbm = GsmRxLevelDbm(Decimal(FieldAt(f, 2)));
      // Fields after the level stand where they should only with the IMSI in its place.
      if (*imsi == 10) {
        SetLac(cell, Hex(FieldAt(f, 3)));
        SetCellId(cell, Hex(FieldAt(f, 9)));
      }
    }
    SetPlmnText(cell, FieldAt(f, 0));
    if (!report.serving) report.serving = std::move(cell);
  }
  return report;
}

CellReport ReadTelitMonitor(std::string_view response) {
  CellReport report;
  for (const std::string& entry : PrefixedEntries(response, "#MONI:")) {
    const auto pairs = KeyValues(entry, ' ');
    radio::Cell cell;
    if (!ValueOf(pairs, "earfcn").empty()) {
      cell = radio::MakeCell(radio::Tech::lte);
      SetChannel(cell, Decimal(ValueOf(pairs, "earfcn")));
      SetTac(cell, Hex(ValueOf(pairs, "tac")));
      auto& m = std::get<radio::LteMeasures>(cell.measures);
      m.rsrpDbm = LteRsrpDbm(Real(ValueOf(pairs, "rsrp")));
      m.rsrqDb = LteRsrqDb(Real(ValueOf(pairs, "rsrq")));
      m.rssiDbm = RssiDbm(AsReal(Dbm(ValueOf(pairs, "pwr"))));
      m.pci = LtePci(Decimal(ValueOf(pairs, "pci")));
    } else if (!ValueOf(pairs, "uarfcn").empty()) {
      cell = radio::MakeCell(radio::Tech::wcdma);
      SetChannel(cell, Decimal(ValueOf(pairs, "uarfcn")));
      SetLac(cell, Hex(ValueOf(pairs, "lac")));
      auto& m = std::get<radio::WcdmaMeasures>(cell.measures);
      m.psc = Psc(Decimal(ValueOf(pairs, "psc")));
      m.rscpDbm = RscpDbm(Real(ValueOf(pairs, "rscp")));
      m.ecnoDb = EcnoDb(Real(ValueOf(pairs, "ecio")));
    } else if (!ValueOf(pairs, "arfcn").empty()) {
      cell = radio::MakeCell(radio::Tech::gsm);
      SetChannel(cell, Decimal(ValueOf(pairs, "arfcn")));
      SetLac(cell, Hex(ValueOf(pairs, "lac")));
      auto& m = *cell.gsm();
      m.bsic = Bsic(Decimal(ValueOf(pairs, "bsic")));
      m.rxQual = RxQual(Decimal(ValueOf(pairs, "rxqual")));
      m.rxLevelDbm = GsmRxLevelDbm(Dbm(ValueOf(pairs, "pwr")));
      m.timingAdvance = TimingAdvance(Decimal(ValueOf(pairs, "ta")));
    } else {
      continue;
    }
    SetCellId(cell, Hex(ValueOf(pairs, "id")));
    if (!report.serving) report.serving = std::move(cell);
  }
  return report;
}

CellReport ReadTelitServingInfo(std::string_view response) {
  CellReport report;
  for (const std::string& entry : PrefixedEntries(response, "#SERVINFO:")) {
    const Fields f = SplitFields(entry);
    if (f.size() < 6) continue;
    radio::Cell cell;
    if (f.size() == 11) {
      cell = radio::MakeCell(radio::Tech::wcdma);
      auto& m = std::get<radio::WcdmaMeasures>(cell.measures);
      m.psc = Psc(Decimal(FieldAt(f, 4)));
      m.rscpDbm = RscpDbm(Real(FieldAt(f, 8)));
      SetLac(cell, Hex(FieldAt(f, 5)));
    } else if (f.size() == 9) {
      cell = radio::MakeCell(radio::Tech::lte);
      auto& m = std::get<radio::LteMeasures>(cell.measures);
      m.pci = LtePci(Decimal(FieldAt(f, 4)));
      m.rssiDbm = RssiDbm(Real(FieldAt(f, 1)));
      m.rsrpDbm = LteRsrpDbm(Real(FieldAt(f, 8)));
      SetTac(cell, Hex(FieldAt(f, 5)));
    } else {
      cell = radio::MakeCell(radio::Tech::gsm);
      auto& m = *cell.gsm();
      m.rxLevelDbm = GsmRxLevelDbm(Decimal(FieldAt(f, 1)));
      m.bsic = Bsic(Decimal(FieldAt(f, 4)));
      m.timingAdvance = TimingAdvance(Decimal(FieldAt(f, 6)));
      SetLac(cell, Hex(FieldAt(f, 5)));
    }
    SetChannel(cell, Decimal(FieldAt(f, 0)));
    SetPlmnText(cell, FieldAt(f, 3));
    cell.operatorName = f[2];
    if (!report.serving) report.serving = std::move(cell);
  }
  return report;
}

}  // namespace dialects
