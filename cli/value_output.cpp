#include "cli/value_output.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "log/log_record.h"
#include "parser/field_table.h"
#include "platform/text_encoding.h"
#include "sites/cycle_message.h"
#include "sites/event_message.h"
#include "survey/survey_text.h"

namespace cli {
namespace {

using namespace parser;

std::string LocalTimestamp(std::chrono::system_clock::time_point now = std::chrono::system_clock::now()) {
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

void ValueOutput::CycleEnded(int n, const DisplayModel& model, const survey::CycleStamp& stamp,
                             const nlohmann::json& cycle) {
  const std::string time = survey::FormatLocalTime(stamp.time);
  if (format_ == OutputFormat::jsonl) {
    out_ << cycle.dump() << '\n';
  } else if (format_ == OutputFormat::csv) {
    // The cycle's own rows, under the codes its log records use: its time, then its position.
    const std::string stamped = LocalTimestamp(stamp.time);
    out_ << stamped << ',' << gsmlog::kCycleTimeCode << ",0,cycle_time," << time << '\n';
    if (stamp.fix) {
      static constexpr const char* kParts[] = {"latitude", "longitude", "altitude_m",
                                               "gps_mode", "h_error_m", "fix_time"};
      const std::string text = survey::FormatPosition(*stamp.fix);
      std::size_t start = 0;
      for (const char* part : kParts) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        out_ << stamped << ',' << gsmlog::kCyclePositionCode << ",0," << part << ',' << text.substr(start, end - start)
             << '\n';
        start = end + 1;
      }
    }
  } else {
    PrintTable(n, model, stamp);
  }
  out_.flush();
}

void ValueOutput::Error(const std::string& text) {
  if (format_ == OutputFormat::jsonl) {
    out_ << nlohmann::json{{"event", "error"}, {"text", platform::Cp1251ToPrintable(text)}}.dump() << '\n';
    out_.flush();
  }
}

void ValueOutput::Event(const history::CellEvent& event) {
  if (format_ == OutputFormat::jsonl) {
    out_ << sites::EventObject(event).dump() << '\n';
  } else if (format_ == OutputFormat::csv) {
    if (!headerDone_) {
      out_ << "time,code,cell,field,text\n";
      headerDone_ = true;
    }
    out_ << LocalTimestamp(event.time) << ',' << gsmlog::kCycleEventCode << ",0,event,"
         << CsvField(platform::Cp1251ToPrintable(history::FormatEventRecord(event))) << '\n';
  } else {
    out_ << "Событие: " << platform::Cp1251ToPrintable(history::EventText(event)) << '\n';
  }
}

bool ValueOutput::Failed() const { return out_.fail(); }

void ValueOutput::PrintTable(int n, const DisplayModel& model, const survey::CycleStamp& stamp) {
  const auto show = [&](int field, int cell) { return platform::Cp1251ToPrintable(model.Text(field, cell)); };
  out_ << "Цикл " << n << "  " << LocalTimestamp(stamp.time);
  if (stamp.fix) {
    const std::string text = survey::FormatPosition(*stamp.fix);
    const std::size_t second = text.find(';', text.find(';') + 1);
    std::string place = text.substr(0, second);
    place.replace(place.find(';'), 1, ", ");
    out_ << "  " << place << " (" << stamp.fix->mode << "D)";
  }
  out_ << "\n";
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
