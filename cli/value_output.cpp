#include "cli/value_output.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <utility>

#include "gps/gps_state_text.h"
#include "parser/field_table.h"
#include "platform/text_encoding.h"
#include "radio/cell_values.h"
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

// A value as a CSV cell: a number with a decimal point, a text quoted where it must be, nothing
// for an absent value.
std::string CsvCell(const radio::Value& value) {
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return std::to_string(*whole);
  if (const auto* real = std::get_if<double>(&value)) return radio::NumberText(*real);
  if (const auto* text = std::get_if<std::string>(&value)) return CsvField(platform::Cp1251ToPrintable(*text));
  return {};
}

template <class Json>
std::string CsvText(const Json& value) {
  return value.is_string() ? CsvField(value.template get<std::string>()) : std::string();
}

// A GSM cell's names fill the serving cell's columns, whatever the cell's technology.
constexpr radio::Tech kColumnTech = radio::Tech::gsm;

}  // namespace

std::vector<std::string> CsvColumns() {
  std::vector<std::string> columns = {"event", "n", "session", "time"};
  for (const std::string_view name : radio::PositionNames()) columns.emplace_back(name);
  for (const std::string_view name : radio::CellValueNames(kColumnTech)) columns.emplace_back(name);
  for (int cell = 1; cell < kCellCount; ++cell) {
    for (const std::string_view name : radio::NeighbourColumnNames()) {
      columns.push_back("n" + std::to_string(cell) + "_" + std::string(name));
    }
  }
  for (const char* name : {"from", "to", "threshold"}) columns.emplace_back(name);
  return columns;
}

ValueOutput::ValueOutput(OutputFormat format, std::ostream& out, bool rawFields)
    : format_(format), out_(out), rawFields_(rawFields) {}

void ValueOutput::ShowGpsStatus(std::function<gps::GpsStatus()> status, std::string address) {
  gpsStatus_ = std::move(status);
  gpsdAddress_ = std::move(address);
}

void ValueOutput::Value(int fieldCode, int cellIndex, const std::string& text) {
  if (format_ == OutputFormat::jsonl && rawFields_) {
    out_ << nlohmann::json{{"code", fieldCode}, {"cell", cellIndex}, {"text", platform::Cp1251ToPrintable(text)}}.dump()
         << '\n';
  }
}

void ValueOutput::CsvHeader() {
  if (headerDone_) return;
  const std::vector<std::string> columns = CsvColumns();
  for (std::size_t i = 0; i < columns.size(); ++i) out_ << (i == 0 ? "" : ",") << columns[i];
  out_ << '\n';
  headerDone_ = true;
}

void ValueOutput::CycleEnded(const radio::Cycle& cycle, const DisplayModel& model,
                             const nlohmann::ordered_json& message) {
  if (format_ == OutputFormat::jsonl) {
    out_ << message.dump() << '\n';
  } else if (format_ == OutputFormat::csv) {
    CsvHeader();
    out_ << "cycle," << cycle.n << ',' << CsvText(message.value("session", nlohmann::ordered_json())) << ','
         << survey::FormatLocalTime(cycle.time);
    for (const radio::NamedValue& value : radio::PositionValues(cycle.position)) out_ << ',' << CsvCell(value.value);
    for (const std::string_view name : radio::CellValueNames(kColumnTech)) {
      out_ << ',' << (cycle.serving ? CsvCell(radio::CellValue(*cycle.serving, name)) : std::string());
    }
    for (std::size_t cell = 0; cell + 1 < static_cast<std::size_t>(kCellCount); ++cell) {
      for (const std::string_view name : radio::NeighbourColumnNames()) {
        out_ << ','
             << (cell < cycle.neighbours.size() ? CsvCell(radio::CellValue(cycle.neighbours[cell], name))
                                                : std::string());
      }
    }
    out_ << ",,,\n";
  } else {
    PrintTable(cycle, model);
  }
  out_.flush();
}

void ValueOutput::Error(const std::string& text) {
  if (format_ == OutputFormat::jsonl) {
    out_ << nlohmann::json{{"event", "error"}, {"text", platform::Cp1251ToPrintable(text)}}.dump() << '\n';
    out_.flush();
  }
}

void ValueOutput::DialectNote(std::string_view event, const std::string& dialect, const std::string& command,
                              bool atStart) {
  if (format_ != OutputFormat::jsonl || atStart) return;
  nlohmann::json object{{"event", event}, {"dialect", dialect}};
  if (!command.empty()) object["command"] = command;
  out_ << object.dump() << '\n';
}

void ValueOutput::Event(const history::CellEvent& event) {
  if (format_ == OutputFormat::jsonl) {
    nlohmann::json object = sites::EventObject(event);
    if (event.kind == history::EventKind::connectionStarted && !dialect_.empty()) object["dialect"] = dialect_;
    out_ << object.dump() << '\n';
  } else if (format_ == OutputFormat::csv) {
    CsvHeader();
    // The event's kind, its time, and what changed, in the last columns; the cycle's are empty.
    const nlohmann::json object = sites::EventObject(event);
    out_ << object.at("event").get<std::string>() << ",,," << object.at("time").get<std::string>()
         << std::string(CsvColumns().size() - 7, ',') << ',' << CsvText(object.value("from", nlohmann::json())) << ','
         << CsvText(object.value("to", nlohmann::json())) << ',';
    if (object.contains("threshold")) out_ << object.at("threshold").get<int>();
    out_ << '\n';
  } else {
    out_ << "Событие: " << platform::Cp1251ToPrintable(history::EventText(event)) << '\n';
  }
}

bool ValueOutput::Failed() const { return out_.fail(); }

void ValueOutput::PrintTable(const radio::Cycle& cycle, const DisplayModel& model) {
  const auto show = [&](int field, int cell) { return platform::Cp1251ToPrintable(model.Text(field, cell)); };
  out_ << "Цикл " << cycle.n << "  " << LocalTimestamp(cycle.time);
  if (cycle.position) {
    const std::string text = survey::FormatPosition(*cycle.position);
    const std::size_t second = text.find(';', text.find(';') + 1);
    std::string place = text.substr(0, second);
    place.replace(place.find(';'), 1, ", ");
    out_ << "  " << place << " (" << cycle.position->mode << "D";
    if (gpsStatus_) {
      if (const std::string satellites = gps::SatellitesText(gpsStatus_()); !satellites.empty())
        out_ << ", " << satellites;
    }
    out_ << ")";
  } else if (gpsStatus_) {
    gps::GpsStatus status = gpsStatus_();
    // The cycle was stamped without a position: a fix that came after it is the next cycle's.
    if (status.state == gps::GpsState::fix2D || status.state == gps::GpsState::fix3D)
      status.state = gps::GpsState::noFix;
    out_ << "  " << gps::GpsStatusText(status, gpsdAddress_);
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
