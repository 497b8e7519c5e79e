#include "dialects/sierra_reader.h"

#include "dialects/cell_fields.h"
#include "dialects/response_text.h"

namespace dialects {
namespace {

// The first word after label (case-insensitive), without a closing bracket a numbering tool
// wrapped the line in; "" when the label is absent.
std::string WordAfter(std::string_view text, std::string_view label) {
  const std::string lower = Lower(text);
  const std::size_t at = lower.find(Lower(label));
  if (at == std::string::npos) return {};
  std::size_t start = at + label.size();
  while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
  std::size_t end = start;
  while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\r' && text[end] != '\n' &&
         text[end] != ']') {
    ++end;
  }
  return std::string(text.substr(start, end - start));
}

}  // namespace

CellReport ReadSierraStatus(std::string_view response) {
  CellReport report;
  const std::string mode = Lower(WordAfter(response, "System mode:"));
  if (mode == "lte" || mode == "endc") {
    radio::Cell cell = radio::MakeCell(radio::Tech::lte);
    SetChannel(cell, Decimal(WordAfter(response, "LTE Rx chan:")));
    const std::string band = WordAfter(response, "LTE band:");
    if (band.size() >= 2 && (band[0] == 'B' || band[0] == 'b')) cell.band = LteBand(Decimal(band.substr(1)));
    SetTac(cell, Hex(WordAfter(response, "TAC:")));
    SetCellId(cell, Hex(WordAfter(response, "Cell ID:")));
    auto& m = std::get<radio::LteMeasures>(cell.measures);
    std::string rsrp = WordAfter(response, "PCC RxM RSRP:");
    if (rsrp.empty()) rsrp = WordAfter(response, "RSRP (dBm):");
    m.rsrpDbm = LteRsrpDbm(Real(rsrp));
    m.rssiDbm = RssiDbm(Real(WordAfter(response, "PCC RxM RSSI:")));
    m.rsrqDb = LteRsrqDb(Real(WordAfter(response, "RSRQ (dB):")));
    m.sinrDb = LteSinrDb(Real(WordAfter(response, "SINR (dB):")));
    report.serving = std::move(cell);
  } else if (mode == "wcdma") {
    radio::Cell cell = radio::MakeCell(radio::Tech::wcdma);
    SetChannel(cell, Decimal(WordAfter(response, "WCDMA channel:")));
    SetLac(cell, Hex(WordAfter(response, "LAC:")));
    SetCellId(cell, Hex(WordAfter(response, "Cell ID:")));
    report.serving = std::move(cell);
  }
  return report;
}

}  // namespace dialects
