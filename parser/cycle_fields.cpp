#include "parser/cycle_fields.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "parser/column_table.h"
#include "parser/field_table.h"
#include "platform/text_encoding.h"
#include "radio/cell_values.h"

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

// A BSIC as the reports write it, "NCC.BCC" with each part 0..7, or as a number 0..63.
std::optional<int> BsicOf(const FieldValue& value) {
  const std::string& text = value.text;
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos) return WholeIn(value, 0, 63);
  int ncc = 0;
  int bcc = 0;
  const char* const end = text.data() + text.size();
  const auto first = std::from_chars(text.data(), text.data() + dot, ncc);
  const auto second = std::from_chars(text.data() + dot + 1, end, bcc);
  if (dot == 0 || first.ec != std::errc{} || first.ptr != text.data() + dot || second.ec != std::errc{} ||
      second.ptr != end || ncc < 0 || ncc > 7 || bcc < 0 || bcc > 7 || text[dot + 1] == '-' || text[0] == '-') {
    return std::nullopt;
  }
  return ncc * 8 + bcc;
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

void ApplyIdentityField(radio::Identity& identity, int fieldCode, int cellIndex, const FieldValue& value) {
  if (cellIndex < 0 || cellIndex >= kCellCount) return;
  SetIdentity(identity, fieldCode, value.text);
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
      cell.countryName = value.text != kNotAvailable && !value.number ? value.text : std::string();
      break;
    case fcOperator:
      cell.mnc = WholeIn(value, 0, 999);
      if (!cell.mnc) cell.mnc = OperatorCodeOfName(value.text);
      cell.operatorName = value.text != kNotAvailable && !value.number ? value.text : std::string();
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

namespace {

using namespace platform::literals;

std::string WholeText(std::optional<std::int64_t> number) {
  return number ? std::to_string(*number) : std::string(kNotAvailable);
}

// A real number with a decimal comma, as short as it goes: 0.14 "0,14", 18.1 "18,1".
std::string CommaText(std::optional<double> number) {
  if (!number) return std::string(kNotAvailable);
  std::string text = radio::NumberText(*number);
  if (const std::size_t point = text.find('.'); point != std::string::npos) text[point] = ',';
  return text;
}

// A distance as the column table writes it: "0" at no timing advance, else kilometres with one
// decimal ("3,0", "5,5").
std::string DistanceText(std::optional<double> km) {
  if (!km) return std::string(kNotAvailable);
  const long long tenths = std::llround(*km * 10);
  if (tenths == 0) return "0";
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
}

// A country's or a network's name, or its code as the column table turns it into text (a code of
// a name it knows becomes the name, a one-digit network code gets a leading zero).
std::string CodeText(const std::string& name, std::optional<int> code, std::string_view column) {
  if (!name.empty()) return name;
  if (!code) return std::string(kNotAvailable);
  std::string text = std::to_string(*code);
  ConvertColumn(column, text);
  return text;
}

std::optional<std::string> FieldText(const radio::Cell& cell, const radio::GsmMeasures& gsm, int fieldCode) {
  const auto whole = [](std::optional<int> number) {
    return WholeText(number ? std::optional<std::int64_t>(*number) : std::nullopt);
  };
  switch (fieldCode) {
    case fcCountry:
      return CodeText(cell.countryName, cell.mcc, "MCC");
    case fcOperator:
      return CodeText(cell.operatorName, cell.mnc, "MNC");
    case fcLocalArea:
      return WholeText(cell.lac);
    case fcFreqBand: {
      const std::string_view text = BandText(cell.band);
      return std::string(text.empty() ? kNotAvailable : text);
    }
    case fcBaseStation:
      if (!gsm.bsic) return std::string(kNotAvailable);
      return std::to_string(*gsm.bsic / 8) + "." + std::to_string(*gsm.bsic % 8);
    case fcCell:
      return WholeText(cell.cellId);
    case fcRxLevel:
      return whole(gsm.rxLevelDbm);
    case fcChannel:
      return whole(cell.channel);
    case fcRxQuality:
      return whole(gsm.rxQual);
    case fcBitError:
      return CommaText(gsm.berPercent);
    case fcTimingAdvance:
      return DistanceText(gsm.distanceKm);
    case fcPhoneState:
      // The serving report always has its timing advance column, and with it the phone state.
      return std::string("Соединено"_cp1251);
    default:
      return std::nullopt;
  }
}

bool NothingKnown(const radio::Cell& cell) {
  for (const radio::NamedValue& value : radio::CellValues(cell)) {
    if (value.name != "tech" && !std::holds_alternative<std::monostate>(value.value)) return false;
  }
  return true;
}

void AddCellFields(std::vector<radio::DeliveredField>& fields, const radio::Cell& cell, int cellIndex) {
  const radio::GsmMeasures* gsm = cell.gsm();
  if (gsm == nullptr || (cellIndex > 0 && NothingKnown(cell))) return;
  for (const FieldInfo& field : kFieldTable) {
    const bool ofCell = cellIndex == 0 ? field.code >= fcCountry : field.gridRow >= 0 && !field.servingOnly;
    if (!ofCell) continue;
    std::optional<std::string> text = FieldText(cell, *gsm, field.code);
    if (!text) continue;
    const std::optional<double> number = ValueNumber(*text);
    fields.push_back({field.code, cellIndex, std::move(*text), number});
  }
}

}  // namespace

std::vector<radio::DeliveredField> FieldsOfCycle(const radio::Cycle& cycle) {
  std::vector<radio::DeliveredField> fields;
  if (cycle.serving) AddCellFields(fields, *cycle.serving, 0);
  for (std::size_t i = 0; i + 1 < static_cast<std::size_t>(kCellCount) && i < cycle.neighbours.size(); ++i) {
    AddCellFields(fields, cycle.neighbours[i], static_cast<int>(i) + 1);
  }
  return fields;
}

}  // namespace parser
