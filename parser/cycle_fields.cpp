#include "parser/cycle_fields.h"

#include <cmath>
#include <cstdint>

#include "parser/column_table.h"

namespace parser {
namespace {

struct BandPair {
  std::string_view text;
  std::string_view name;
};
constexpr BandPair kBands[] = {{"900", "GSM900"}, {"1800", "GSM1800"}, {"EGSM", "EGSM900"}};

// A whole number within [low, high], or nothing.
std::optional<int> WholeIn(const FieldValue& value, int low, int high) {
  if (!value.number || std::trunc(*value.number) != *value.number) return std::nullopt;
  if (*value.number < low || *value.number > high) return std::nullopt;
  return static_cast<int>(*value.number);
}
std::optional<std::int64_t> IdentityIn(const FieldValue& value, std::int64_t high) {
  if (!value.number || std::trunc(*value.number) != *value.number) return std::nullopt;
  if (*value.number < 0 || *value.number > static_cast<double>(high)) return std::nullopt;
  return static_cast<std::int64_t>(*value.number);
}
std::optional<double> FiniteIn(const FieldValue& value, double low, double high) {
  if (!value.number || !(*value.number >= low && *value.number <= high)) return std::nullopt;
  return *value.number;
}

// A BSIC as the reports write it: its number 0..63, or "NCC.BCC" with each 0..7.
std::optional<int> BsicOf(const FieldValue& value) {
  if (const std::optional<int> whole = WholeIn(value, 0, 63)) return whole;
  const std::string& text = value.text;
  const auto octal = [](char c) { return c >= '0' && c <= '7'; };
  if (text.size() == 3 && octal(text[0]) && text[1] == '.' && octal(text[2])) return (text[0] - '0') * 8 + (text[2] - '0');
  return std::nullopt;
}

radio::Cell& CellAt(radio::Cycle& cycle, int cellIndex) {
  if (cellIndex == 0) {
    if (!cycle.serving) cycle.serving.emplace();
    return *cycle.serving;
  }
  const auto slot = static_cast<std::size_t>(cellIndex - 1);
  if (cycle.neighbours.size() <= slot) cycle.neighbours.resize(slot + 1);
  return cycle.neighbours[slot];
}

void SetIdentity(radio::Identity& identity, int fieldCode, const std::string& text) {
  const bool available = text != kNotAvailable;
  const std::string kept = available ? text : std::string();
  switch (fieldCode) {
    case fcImei:
      identity.imei = kept;
      break;
    case fcManufacturer:
      identity.manufacturer = kept;
      break;
    case fcModel:
      identity.model = kept;
      break;
    case fcFirmware:
      identity.firmware = kept;
      break;
    case fcImsi:
      identity.imsi = kept;
      break;
    default:
      break;
  }
}

}  // namespace

std::string_view BandName(std::string_view bandText) {
  for (const BandPair& band : kBands) {
    if (band.text == bandText) return band.name;
  }
  return {};
}

std::string_view BandText(std::string_view bandName) {
  for (const BandPair& band : kBands) {
    if (band.name == bandName) return band.text;
  }
  return {};
}

void ApplyField(radio::Cycle& cycle, int fieldCode, int cellIndex, const FieldValue& value) {
  if (cellIndex < 0 || cellIndex >= kCellCount) return;
  switch (fieldCode) {
    case fcImei:
    case fcManufacturer:
    case fcModel:
    case fcFirmware:
    case fcImsi:
      SetIdentity(cycle.identity, fieldCode, value.text);
      return;
    case fcCountry:
    case fcOperator:
    case fcLocalArea:
    case fcFreqBand:
    case fcBaseStation:
    case fcCell:
    case fcRxLevel:
    case fcChannel:
    case fcRxQuality:
    case fcBitError:
    case fcTimingAdvance:
      break;
    default:
      return;
  }

  radio::Cell& cell = CellAt(cycle, cellIndex);
  radio::GsmMeasures* gsm = cell.gsm();
  if (gsm == nullptr) return;
  switch (fieldCode) {
    case fcCountry:
      cell.mcc = WholeIn(value, 1, 999);
      if (!cell.mcc) cell.mcc = CountryCodeOfName(value.text);
      cell.countryName = cell.mcc && value.text != kNotAvailable && !value.number ? value.text : std::string();
      break;
    case fcOperator:
      cell.mnc = WholeIn(value, 0, 999);
      if (!cell.mnc) cell.mnc = OperatorCodeOfName(value.text);
      cell.operatorName = cell.mnc && value.text != kNotAvailable && !value.number ? value.text : std::string();
      break;
    case fcLocalArea:
      cell.lac = IdentityIn(value, 0xFFFF);
      break;
    case fcFreqBand:
      cell.band = std::string(BandName(value.text));
      break;
    case fcBaseStation:
      gsm->bsic = BsicOf(value);
      break;
    case fcCell:
      cell.cellId = IdentityIn(value, 0xFFFFFFF);
      break;
    case fcRxLevel:
      gsm->rxLevelDbm = WholeIn(value, -120, -10);
      break;
    case fcChannel:
      cell.channel = WholeIn(value, 0, 1023);
      break;
    case fcRxQuality:
      gsm->rxQual = WholeIn(value, 0, 7);
      break;
    case fcBitError:
      gsm->berPercent = FiniteIn(value, 0, 100);
      break;
    case fcTimingAdvance:
      gsm->distanceKm = FiniteIn(value, 0, 40);
      break;
    default:
      break;
  }
}

}  // namespace parser
