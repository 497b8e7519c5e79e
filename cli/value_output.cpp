#include "cli/value_output.h"

#include <chrono>
#include <ctime>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "parser/field_table.h"
#include "platform/text_encoding.h"

namespace cli {
namespace {

using namespace parser;

std::string LocalTimestamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm parts{};
  localtime_r(&seconds, &parts);
  std::ostringstream text;
  text << std::put_time(&parts, "%Y-%m-%d %H:%M:%S") << '.' << std::setw(3) << std::setfill('0') << millis;
  return text.str();
}

// A CSV field (RFC 4180), quoted when it holds a separator, a quote or a line end.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

// Pads a UTF-8 text with blanks to a width counted in characters.
std::string PadUtf8(const std::string& text, std::size_t width) {
  std::size_t chars = 0;
  for (const char c : text) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return chars >= width ? text + " " : text + std::string(width - chars, ' ');
}

}  // namespace

std::string_view FieldName(int fieldCode) {
  const FieldInfo* field = FindField(fieldCode);
  return field == nullptr ? std::string_view{} : field->key;
}

ValueOutput::ValueOutput(OutputFormat format, std::ostream& out) : format_(format), out_(out) {}

void ValueOutput::Value(int fieldCode, int cellIndex, const std::string& text) {
  const std::string utf8 = platform::Cp1251ToPrintable(text);
  if (format_ == OutputFormat::jsonl) {
    out_ << nlohmann::json{{"code", fieldCode}, {"cell", cellIndex}, {"text", utf8}}.dump() << '\n';
  } else if (format_ == OutputFormat::csv) {
    if (!headerDone_) {
      out_ << "time,code,cell,field,text\n";
      headerDone_ = true;
    }
    out_ << LocalTimestamp() << ',' << fieldCode << ',' << cellIndex << ',' << FieldName(fieldCode) << ','
         << CsvField(utf8) << '\n';
  }
}

void ValueOutput::CycleEnded(int n, const DisplayModel& model) {
  if (format_ == OutputFormat::jsonl) {
    out_ << nlohmann::json{{"event", "cycle"}, {"n", n}}.dump() << '\n';
  } else if (format_ == OutputFormat::text) {
    PrintTable(n, model);
  }
  out_.flush();
}

void ValueOutput::Error(const std::string& text) {
  if (format_ == OutputFormat::jsonl) {
    out_ << nlohmann::json{{"event", "error"}, {"text", platform::Cp1251ToPrintable(text)}}.dump() << '\n';
    out_.flush();
  }
}

bool ValueOutput::Failed() const { return out_.fail(); }

void ValueOutput::PrintTable(int n, const DisplayModel& model) {
  const auto show = [&](int field, int cell) { return platform::Cp1251ToPrintable(model.Text(field, cell)); };
  out_ << "Цикл " << n << "  " << LocalTimestamp() << "\n";
  out_ << PadUtf8("Страна:", 11) << PadUtf8(show(fcCountry, 0), 12) << PadUtf8("Оператор:", 11) << show(fcOperator, 0)
       << '\n';
  out_ << PadUtf8("Качество:", 11) << PadUtf8(show(fcRxQuality, 0), 12) << PadUtf8("Потери:", 11) << show(fcBitError, 0)
       << '\n';

  static const char* const kHeads[] = {"Активная", "1-я", "2-я", "3-я", "4-я", "5-я", "6-я"};
  out_ << PadUtf8("", 10);
  for (const char* head : kHeads) out_ << PadUtf8(head, 9);
  out_ << '\n';
  for (int row = 0; row < kGridRows; ++row) {
    const FieldInfo& field = GridField(row);
    out_ << PadUtf8(platform::Cp1251ToUtf8(field.gridLabel), 10);
    for (int cell = 0; cell < kCellCount; ++cell) out_ << PadUtf8(show(field.code, cell), 9);
    out_ << '\n';
  }
  out_ << '\n';
}

}  // namespace cli
