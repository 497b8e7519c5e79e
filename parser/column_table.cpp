#include "parser/column_table.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "parser/measurement_fields.h"
#include "platform/text_encoding.h"

namespace parser {

using namespace platform::literals;

const std::array<TRawField, 10> kColumnTable = {{
    {"MCC", 1, 999, fcCountry, rfTranslate},
    {"MNC", 1, 99, fcOperator, rfTranslate},
    {"LAC", 1, 9998, fcLocalArea, rfHex},
    {"cell", 1, 99998, fcCell, rfHex},
    {"BSIC", 0, 63, fcBaseStation, rfKeepText},
    {"chann", 1, 1023, fcChannel, 0},
    {"dBm", -120, -10, fcRxLevel, 0},
    {"D_dBm", -120, -10, fcRxLevel, 0},
    {"RxQFull", 0, 7, fcRxQuality, rfTranslate},
    {"TA", 0, 63, fcTimingAdvance, rfTranslate},
}};

// Representative bit-error rates of RXQUAL 0..7 (GSM 05.08), with a decimal comma.
const std::array<std::string_view, 8> kBitErrorTable = {"0,14", "0,28", "0,57", "1,13", "2,26", "4,53", "9,05", "18,1"};
const std::array<double, 8> kBitErrorNumbers = {0.14, 0.28, 0.57, 1.13, 2.26, 4.53, 9.05, 18.1};

namespace {

struct NameRewrite {
  std::string_view from;
  std::string_view to;  // Windows-1251
};

constexpr NameRewrite kCountryNames[] = {{"250", "Россия"_cp1251}};
constexpr NameRewrite kOperatorNames[] = {{"01", "МТС"_cp1251}, {"02", "Мегафон"_cp1251}, {"99", "Билайн"_cp1251}};

// A name in place of a number: the text then states no number.
template <std::size_t N>
void Rewrite(const NameRewrite (&names)[N], std::string& text, std::optional<double>& number) {
  for (const auto& entry : names) {
    if (text == entry.from) {
      text = entry.to;
      number.reset();
      return;
    }
  }
}

// Kilometres with one decimal from a timing advance step (557 m each): 10 gives "5,5" (5.5).
std::string DistanceText(int timingAdvance) {
  const int metres = timingAdvance * 557;
  return std::to_string(metres / 1000) + "," + std::to_string((metres % 1000) / 100);
}
double DistanceKm(int timingAdvance) {
  const int metres = timingAdvance * 557;
  return metres / 1000 + ((metres % 1000) / 100) / 10.0;
}

// A value within bounds, rewritten by field code; value is the number it had.
void Translate(int code, int value, std::string& text, std::optional<double>& number) {
  switch (code) {
    case fcCountry:
      Rewrite(kCountryNames, text, number);
      break;
    case fcOperator:
      if (text.size() == 1) text = "0" + text;
      Rewrite(kOperatorNames, text, number);
      break;
    case fcTimingAdvance:
      if (text != "0") {
        text = DistanceText(value);
        number = DistanceKm(value);
      }
      break;
    default:
      break;
  }
}

// A decimal integer as the reports write it: an optional leading '-', then digits only, within
// 32 bits. Anything else ("-", "x", " 5", "0,5") is no value at all, not a zero.
bool ParseDecimal(std::string_view text, int& value) {
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc{} && stop == end;
}

// Hexadecimal digits only, and a value that fits 32 bits (leading zeros aside).
bool IsHexNumber(std::string_view text) {
  const auto isHexDigit = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  };
  if (text.empty() || !std::ranges::all_of(text, isHexDigit)) return false;
  const std::size_t firstSignificant = text.find_first_not_of('0');
  return firstSignificant == std::string_view::npos || text.size() - firstSignificant <= 8;
}

// The code a name stands for, where the table rewrote it.
template <std::size_t N>
std::optional<int> CodeOfName(const NameRewrite (&names)[N], std::string_view name) {
  for (const auto& entry : names) {
    int code = 0;
    if (entry.to == name && ParseDecimal(entry.from, code)) return code;
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> CountryCodeOfName(std::string_view name) { return CodeOfName(kCountryNames, name); }
std::optional<int> OperatorCodeOfName(std::string_view name) { return CodeOfName(kOperatorNames, name); }

std::string_view BandForChannel(int channel) {
  if (channel >= 1 && channel <= 124) return "900";
  if (channel >= 512 && channel <= 885) return "1800";
  if (channel >= 975 && channel <= 1023) return "EGSM";
  return kNotAvailable;
}

std::string HexToDecText(std::string_view text) {
  std::uint32_t sum = 0;  // wraps like the signed 32-bit sum it stands for
  for (const char raw : text) {
    char c = raw;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const auto code = static_cast<unsigned char>(c);
    const std::uint32_t digit = code >= '0' && code <= '9' ? code - 48u : code - 55u;
    sum = sum * 16u + digit;
  }
  return std::to_string(static_cast<std::int32_t>(sum));
}

int ConvertColumn(std::string_view name, std::string& text, std::optional<double>& number) {
  number.reset();
  for (const TRawField& row : kColumnTable) {
    if (row.Name != name) continue;
    if (row.Flags & rfHex) text = IsHexNumber(text) ? HexToDecText(text) : std::string(kNotAvailable);
    int value = 0;
    if (row.Flags & rfKeepText) {
      number = ValueNumber(text);
    } else if (ParseDecimal(text, value) && value >= row.MinValue && value <= row.MaxValue) {
      text = std::to_string(value);
      number = value;
    } else {
      text = kNotAvailable;
    }
    if ((row.Flags & rfTranslate) && text != kNotAvailable) Translate(row.Code, value, text, number);
    return row.Code;
  }
  return 0;
}

int ConvertColumn(std::string_view name, std::string& text) {
  std::optional<double> number;
  return ConvertColumn(name, text, number);
}

bool ProcessColumn(std::string_view name, std::string text, int cellIndex) {
  if (text.empty()) return false;
  FieldValue value{std::move(text), std::nullopt};
  const int code = ConvertColumn(name, value.text, value.number);
  // The numbers of a channel and a quality are whole numbers within their rows' bounds; other
  // columns' numbers (a BSIC's is the modem's text read as it stands) may be anything.
  const bool bounded = code == fcChannel || code == fcRxQuality;
  const int number = bounded && value.number ? static_cast<int>(*value.number) : 0;
  const bool available = value.text != kNotAvailable;
  DispatchField(code + kCellCodeStep * cellIndex, value);
  if (code == fcChannel) {
    DispatchField(fcFreqBand + kCellCodeStep * cellIndex, std::string(BandForChannel(number)));
  }
  if (code == fcRxQuality && available) {
    // Goes out under the serving cell whatever the row.
    const auto quality = static_cast<std::size_t>(number);
    DispatchField(fcBitError, FieldValue{std::string(kBitErrorTable[quality]), kBitErrorNumbers[quality]});
  }
  if (code == fcTimingAdvance) DispatchField(fcPhoneState, std::string("Соединено"_cp1251));
  return true;
}

}  // namespace parser
