#include "dialects/cell_fields.h"

#include <string>

#include "dialects/response_text.h"

namespace dialects {

void SetPlmn(radio::Cell& cell, std::optional<long long> mcc, std::optional<long long> mnc) {
  cell.mcc = Within(mcc, 1, 999);
  cell.mnc = cell.mcc ? Within(mnc, 0, 999) : std::nullopt;
}

void SetPlmnText(radio::Cell& cell, std::string_view text) {
  std::string digits;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      digits += c;
    } else if (c != ' ' && c != '-') {
      return;
    }
  }
  if (digits.size() != 5 && digits.size() != 6) return;
  SetPlmn(cell, Decimal(digits.substr(0, 3)), Decimal(digits.substr(3)));
}

void SetChannel(radio::Cell& cell, std::optional<long long> channel) {
  switch (cell.tech()) {
    case radio::Tech::gsm:
      cell.channel = Within(channel, 0, 1023);
      if (cell.channel && cell.band.empty()) cell.band = GsmBandOfArfcn(*cell.channel);
      break;
    case radio::Tech::wcdma:
      cell.channel = Within(channel, 0, 16383);
      break;
    case radio::Tech::lte:
      cell.channel = Within(channel, 0, 262143);
      break;
    case radio::Tech::nr:
      cell.channel = Within(channel, 0, 3279165);
      break;
  }
}

void SetLac(radio::Cell& cell, std::optional<long long> lac) { cell.lac = Within64(lac, 1, 0xFFFD); }
void SetTac(radio::Cell& cell, std::optional<long long> tac) { cell.tac = Within64(tac, 1, 0xFFFFFD); }

void SetArea(radio::Cell& cell, std::optional<long long> area) {
  const radio::Tech tech = cell.tech();
  if (tech == radio::Tech::gsm || tech == radio::Tech::wcdma) {
    SetLac(cell, area);
  } else {
    SetTac(cell, area);
  }
}

void SetCellId(radio::Cell& cell, std::optional<long long> cellId) {
  switch (cell.tech()) {
    case radio::Tech::gsm:
      cell.cellId = Within64(cellId, 0, 0xFFFE);
      break;
    case radio::Tech::wcdma:
    case radio::Tech::lte:
      cell.cellId = Within64(cellId, 0, 0xFFFFFFE);
      break;
    case radio::Tech::nr:
      cell.cellId = Within64(cellId, 0, 0xFFFFFFFFE);
      break;
  }
}

std::string_view GsmBandOfArfcn(int arfcn) {
  if (arfcn == 0 || (arfcn >= 975 && arfcn <= 1023)) return "EGSM900";
  if (arfcn >= 1 && arfcn <= 124) return "GSM900";
  if (arfcn >= 128 && arfcn <= 251) return "GSM850";
  if (arfcn >= 512 && arfcn <= 885) return "GSM1800";
  return "";
}

std::string LteBand(std::optional<long long> band) {
  return band && *band >= 1 && *band <= 255 ? "B" + std::to_string(*band) : std::string();
}

std::string NrBand(std::optional<long long> band) {
  return band && *band >= 1 && *band <= 255 ? "n" + std::to_string(*band) : std::string();
}

std::optional<int> GsmRxLevelDbm(std::optional<long long> dbm) { return Within(dbm, -120, -20); }
std::optional<int> RxLevToDbm(std::optional<long long> rxlev) {
  const auto level = Within(rxlev, 0, 63);
  if (!level) return std::nullopt;
  return *level - 111;
}
std::optional<int> Bsic(std::optional<long long> bsic) { return Within(bsic, 0, 63); }
std::optional<int> RxQual(std::optional<long long> rxqual) { return Within(rxqual, 0, 7); }
std::optional<int> TimingAdvance(std::optional<long long> ta) { return Within(ta, 0, 63); }
std::optional<int> PathLoss(std::optional<long long> c) { return Within(c, -200, 200); }
std::optional<double> RscpDbm(std::optional<double> rscp) { return WithinReal(rscp, -125, -20); }
std::optional<double> EcnoDb(std::optional<double> ecno) { return WithinReal(ecno, -25, 0); }
std::optional<double> LteRsrpDbm(std::optional<double> rsrp) { return WithinReal(rsrp, -156, -44); }
std::optional<double> LteRsrqDb(std::optional<double> rsrq) { return WithinReal(rsrq, -34, 2.5); }
std::optional<double> RssiDbm(std::optional<double> rssi) { return WithinReal(rssi, -125, -10); }
std::optional<double> LteSinrDb(std::optional<double> sinr) { return WithinReal(sinr, -23, 40); }
std::optional<double> NrRsrpDbm(std::optional<double> rsrp) { return WithinReal(rsrp, -156, -31); }
std::optional<double> NrRsrqDb(std::optional<double> rsrq) { return WithinReal(rsrq, -43, 20); }
std::optional<double> NrSinrDb(std::optional<double> sinr) { return WithinReal(sinr, -23, 40); }
std::optional<int> Psc(std::optional<long long> psc) { return Within(psc, 0, 511); }
std::optional<int> LtePci(std::optional<long long> pci) { return Within(pci, 0, 503); }
std::optional<int> NrPci(std::optional<long long> pci) { return Within(pci, 0, 1007); }

std::optional<double> AsReal(std::optional<long long> value) {
  if (!value) return std::nullopt;
  return static_cast<double>(*value);
}

}  // namespace dialects
