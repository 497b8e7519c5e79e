#pragma once
// The column table of the cell reports: each known column's bounds, conversion and field code,
// and the values derived from other values (band from channel, bit-error rate from quality,
// distance from timing advance).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace parser {

enum RawFieldFlag : std::uint8_t {
  rfHex = 1,        // hexadecimal text, turned into decimal first
  rfKeepText = 2,   // taken unchanged: no number check, no bounds
  rfTranslate = 4,  // a value within bounds is rewritten by field code
};

struct TRawField {
  std::string_view Name;
  std::int32_t MinValue;
  std::int32_t MaxValue;
  std::int32_t Code;
  std::uint8_t Flags;
};

extern const std::array<TRawField, 10> kColumnTable;

// Bit-error rate texts, percent, by receive quality 0..7, and the numbers they state.
extern const std::array<std::string_view, 8> kBitErrorTable;
extern const std::array<double, 8> kBitErrorNumbers;

// "900", "1800", "EGSM" or "(n/a)" for a channel number.
std::string_view BandForChannel(int channel);

// The mobile country or network code a name of the table stands for ("Россия" 250, "МТС" 1).
std::optional<int> CountryCodeOfName(std::string_view name);
std::optional<int> OperatorCodeOfName(std::string_view name);

// Hexadecimal digits to decimal digits, in wrapping 32-bit arithmetic; "" gives "0".
std::string HexToDecText(std::string_view text);

// Looks the column up and normalises text in place; the row's field code, or 0 (text unchanged).
// A text that is not a decimal integer (hexadecimal digits for "LAC" and "cell") becomes "(n/a)",
// as does a value outside the row's bounds.
int ConvertColumn(std::string_view name, std::string& text);
// The same, and the number the normalised text states (ValueNumber of it), known from the
// conversion without reading the text again: a channel's number, a distance's kilometres. None
// for a name not in the table.
int ConvertColumn(std::string_view name, std::string& text, std::optional<double>& number);

// One report column: converts and dispatches it under field code + 1024 × cellIndex, with its
// number, followed by its derived values. False, and nothing dispatched, for an empty text.
bool ProcessColumn(std::string_view name, std::string text, int cellIndex);

}  // namespace parser
