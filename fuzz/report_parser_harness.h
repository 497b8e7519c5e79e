#pragma once
// Fuzz harness of the cell report parser and the column conversions. Input: one byte for the cell
// index, then a header line, a value line and a free text, separated by '\n'.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "parser/column_table.h"
#include "parser/field_table.h"
#include "parser/measurement_fields.h"
#include "parser/report_parser.h"

namespace fuzzing {

// Every value the dispatcher hands on carries a known field code and a cell index 0..6, and the
// derived values go out under the cell they belong to.
class CheckingSink : public parser::FieldSink {
 public:
  void AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) override {
    const std::string& text = value.text;
    // The number beside a text is the one the text states.
    const std::optional<double> stated = parser::ValueNumber(text);
    FUZZ_CHECK(stated.has_value() == value.number.has_value());
    if (stated && value.number) FUZZ_CHECK(static_cast<float>(*stated) == static_cast<float>(*value.number));
    const parser::FieldInfo* field = parser::FindField(fieldCode);
    FUZZ_CHECK(field != nullptr);
    FUZZ_CHECK(cellIndex >= 0 && cellIndex < parser::kCellCount);
    if (field->servingOnly) FUZZ_CHECK(cellIndex == 0);
    if (fieldCode == parser::fcFreqBand) {
      FUZZ_CHECK(text == "900" || text == "1800" || text == "EGSM" || text == parser::kNotAvailable);
    }
    ++count;
  }
  long count = 0;
};

inline bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A converted value of a numeric column: "(n/a)", or a number within the row's bounds.
inline void CheckConverted(const parser::TRawField& row, const std::string& text) {
  if (row.Flags & (parser::rfKeepText | parser::rfTranslate)) return;
  if (text == parser::kNotAvailable) return;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  FUZZ_CHECK(error == std::errc{} && end == text.data() + text.size());
  FUZZ_CHECK(value >= row.MinValue && value <= row.MaxValue);
}

// Whether a column text can stand for a number at all: hexadecimal digits for a hexadecimal
// column; an optional '-' and decimal digits within 32 bits otherwise.
inline bool IsNumberText(const parser::TRawField& row, std::string_view text) {
  if (row.Flags & parser::rfHex) {
    return !text.empty() && text.find_first_not_of("0123456789ABCDEFabcdef") == std::string_view::npos;
  }
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size();
}

inline std::string_view TakeLine(std::string_view& rest) {
  const std::size_t end = rest.find('\n');
  const std::string_view line = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  return line;
}

inline void RunReportParser(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  static CheckingSink sink;
  const parser::ScopedThreadSink scope(&sink);
  const int cellIndex = data[0] % parser::kCellCount;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string_view header = TakeLine(rest);
  const std::string_view values = TakeLine(rest);
  const std::string_view free = rest;

  (void)parser::ParseReportLines(header, values, cellIndex);

  for (const parser::TRawField& row : parser::kColumnTable) {
    std::string text(free);
    FUZZ_CHECK(parser::ConvertColumn(row.Name, text) == row.Code);
    CheckConverted(row, text);
    // Text that is no number never converts into one.
    if (!(row.Flags & parser::rfKeepText) && !IsNumberText(row, free)) FUZZ_CHECK(text == parser::kNotAvailable);
  }
  std::string unknown(free);
  if (parser::ConvertColumn(header, unknown) == 0) FUZZ_CHECK(unknown == free);

  parser::ProcessColumn(header, std::string(free), cellIndex);
  const std::string decimal = parser::HexToDecText(free);
  FUZZ_CHECK(AllDigits(std::string_view(decimal).substr(decimal.starts_with('-') ? 1 : 0)));
  const int number = parser::ParseNumber(free);
  (void)parser::BandForChannel(number);
}

}  // namespace fuzzing
