#include "sites/cycle_message.h"

#include <cmath>

#include "parser/cycle_fields.h"
#include "parser/field_table.h"
#include "parser/measurement_fields.h"
#include "platform/text_encoding.h"
#include "radio/cell_values.h"
#include "survey/survey_text.h"

namespace sites {
namespace {

using nlohmann::json;
using ordered = nlohmann::ordered_json;  // what is written keeps its names in the scheme's order

ordered JsonOf(const radio::Value& value) {
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return *whole;
  if (const auto* real = std::get_if<double>(&value)) return *real;
  if (const auto* text = std::get_if<std::string>(&value)) return platform::Cp1251ToPrintable(*text);
  return nullptr;
}

ordered CellObject(const radio::Cell& cell) {
  ordered object = ordered::object();
  for (const radio::NamedValue& value : radio::CellValues(cell)) object[std::string(value.name)] = JsonOf(value.value);
  return object;
}

ordered PositionObject(const std::optional<radio::Position>& position) {
  if (!position) return nullptr;
  ordered object = ordered::object();
  for (const radio::NamedValue& value : radio::PositionValues(position)) {
    object[std::string(value.name)] = JsonOf(value.value);
  }
  return object;
}

// A JSON value as a cell's value: null, a number, or a text of at most 128 bytes; nothing for
// anything else.
std::optional<radio::Value> ValueOf(const json& value) {
  if (value.is_null()) return radio::Value{};
  if (value.is_number_integer()) {
    if (value.is_number_unsigned() && value.get<std::uint64_t>() > (1ULL << 53)) return std::nullopt;
    return radio::Value{value.get<std::int64_t>()};
  }
  if (value.is_number_float()) return radio::Value{value.get<double>()};
  if (value.is_string()) {
    auto text = MessageText(value.get_ref<const std::string&>(), 128);
    if (!text) return std::nullopt;
    return radio::Value{std::move(*text)};
  }
  return std::nullopt;
}

// A cell of a schema-2 message: its technology first, then only names of that technology.
std::optional<radio::Cell> ParseCellObject(const json& object, std::string& why) {
  why = "bad cell values";
  if (!object.is_object()) return std::nullopt;
  const auto tech = object.find("tech");
  const std::optional<radio::Tech> kind =
      tech != object.end() && tech->is_string() ? radio::TechNamed(tech->get_ref<const std::string&>()) : std::nullopt;
  if (!kind) {
    why = "bad cell technology";
    return std::nullopt;
  }
  radio::Cell cell = radio::MakeCell(*kind);
  for (const auto& [key, value] : object.items()) {
    if (key == "tech") continue;
    const std::optional<radio::Value> given = ValueOf(value);
    if (!given || !radio::SetCellValue(cell, key, *given)) {
      why = "bad value of " + key.substr(0, 40);
      return std::nullopt;
    }
  }
  return cell;
}

std::optional<double> Number(const json& object, const char* key, bool optional) {
  const auto it = object.find(key);
  if (it == object.end() || it->is_null()) {
    if (optional) return NAN;
    return std::nullopt;
  }
  if (!it->is_number()) return std::nullopt;
  const double value = it->get<double>();
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

// The names of a position's members by schema: latitude, longitude, altitude, horizontal error
// and mode (the fix time is "fix_time" in both).
struct PositionKeys {
  const char *latitude, *longitude, *altitude, *error, *mode;
};
constexpr PositionKeys kPositionKeys1 = {"lat", "lon", "alt", "h_error", "mode"};
constexpr PositionKeys kPositionKeys2 = {"latitude_deg", "longitude_deg", "altitude_m", "horizontal_error_m",
                                         "fix_mode"};

std::optional<radio::Position> ParsePositionObject(const json& object, const PositionKeys& keys, std::string& why) {
  why = "bad position";
  if (!object.is_object()) return std::nullopt;
  for (const auto& [key, value] : object.items()) {
    if (key != keys.latitude && key != keys.longitude && key != keys.altitude && key != keys.error &&
        key != keys.mode && key != "fix_time") {
      return std::nullopt;
    }
  }
  const auto lat = Number(object, keys.latitude, false);
  const auto lon = Number(object, keys.longitude, false);
  const auto alt = Number(object, keys.altitude, true);
  const auto error = Number(object, keys.error, true);
  if (!lat || !lon || !alt || !error || std::fabs(*lat) > 90 || std::fabs(*lon) > 180) return std::nullopt;
  const auto mode = object.find(keys.mode);
  if (mode == object.end() || !mode->is_number_integer() || (*mode != 2 && *mode != 3)) return std::nullopt;
  radio::Position fix;
  fix.latitude = *lat;
  fix.longitude = *lon;
  fix.altitude = *alt;
  fix.horizontalError = *error;
  fix.mode = mode->get<int>();
  if (const auto time = object.find("fix_time"); time != object.end() && !time->is_null()) {
    if (!time->is_string()) return std::nullopt;
    const auto iso = survey::ParseIsoTime(time->get_ref<const std::string&>());
    const auto point = iso ? survey::ToTimePoint(*iso) : std::nullopt;
    if (!point) return std::nullopt;
    fix.time = *point;
  }
  return fix;
}

// Schema 1: the fields a cycle message may carry for a cell, the measurements, never the identity.
bool CycleField(const parser::FieldInfo& field, int cell) {
  if (field.key.empty() || field.sweep == parser::Sweep::identity || field.logPlain == parser::LogPlain::kept) {
    return false;
  }
  return cell == 0 || (field.gridRow >= 0 && !field.servingOnly);
}

const parser::FieldInfo* FieldByKey(std::string_view key) {
  for (const parser::FieldInfo& field : parser::kFieldTable) {
    if (field.key == key) return &field;
  }
  return nullptr;
}

// Schema 1: one cell's texts, into the cycle as the field report's values, in the field table's
// order.
bool ParseTextCell(const json& object, int cell, radio::Cycle& cycle, std::string& why) {
  why = "bad cell values";
  if (object.is_null()) return true;
  if (!object.is_object()) return false;
  for (const auto& [key, value] : object.items()) {
    const parser::FieldInfo* field = FieldByKey(key);
    if (field == nullptr || !CycleField(*field, cell)) {
      why = "unknown field " + key.substr(0, 40);
      return false;
    }
    if (!value.is_null() && !value.is_string()) return false;
  }
  for (const parser::FieldInfo& field : parser::kFieldTable) {
    if (!CycleField(field, cell)) continue;
    const auto it = object.find(std::string(field.key));
    if (it == object.end()) continue;
    if (it->is_null()) {
      parser::ApplyField(cycle, field.code, cell, parser::TextValue(std::string(parser::kNotAvailable)));
      continue;
    }
    auto text = MessageText(it->get_ref<const std::string&>(), 128);
    if (!text || text->empty()) {
      why = "bad text";
      return false;
    }
    parser::ApplyField(cycle, field.code, cell, parser::TextValue(std::move(*text)));
  }
  return true;
}

// The cells a message may list beside its serving cell: the six rows of the seed family's report
// (schema 1); the families of other makers list more, of every technology.
constexpr std::size_t kMostListedCells = 32;

bool ParseCells(const json& message, int schema, radio::Cycle& cycle, std::string& why) {
  const std::size_t mostNeighbours = schema == 1 ? static_cast<std::size_t>(parser::kCellCount - 1) : kMostListedCells;
  const auto serving = message.find("serving");
  if (serving == message.end()) {
    why = "no serving cell";
    return false;
  }
  const auto neighbours = message.find("neighbours");
  if (neighbours != message.end() && (!neighbours->is_array() || neighbours->size() > mostNeighbours)) {
    why = "bad neighbours";
    return false;
  }
  if (schema == 1) {
    if (!ParseTextCell(*serving, 0, cycle, why)) return false;
    if (neighbours == message.end()) return true;
    for (std::size_t i = 0; i < neighbours->size(); ++i) {
      if (!ParseTextCell((*neighbours)[i], static_cast<int>(i) + 1, cycle, why)) return false;
    }
    return true;
  }
  if (!serving->is_null()) {
    cycle.serving = ParseCellObject(*serving, why);
    if (!cycle.serving) return false;
  }
  const auto secondary = message.find("secondary");
  if (secondary != message.end()) {
    if (!secondary->is_array() || secondary->size() > kMostListedCells) {
      why = "bad secondary cells";
      return false;
    }
    for (const json& object : *secondary) {
      auto cell = ParseCellObject(object, why);
      if (!cell) return false;
      cycle.secondary.push_back(std::move(*cell));
    }
  }
  if (neighbours == message.end()) return true;
  for (const json& object : *neighbours) {
    auto cell = ParseCellObject(object, why);
    if (!cell) return false;
    cycle.neighbours.push_back(std::move(*cell));
  }
  return true;
}

}  // namespace

ordered CycleObject(const radio::Cycle& cycle, std::string_view session) {
  ordered neighbours = ordered::array();
  for (const radio::Cell& cell : cycle.neighbours) neighbours.push_back(CellObject(cell));
  ordered object{{"event", "cycle"},
                 {"schema", kCycleSchema},
                 {"n", cycle.n},
                 {"session", session.empty() ? ordered() : ordered(std::string(session))},
                 {"time", survey::FormatLocalTime(cycle.time)},
                 {"position", PositionObject(cycle.position)},
                 {"serving", cycle.serving ? CellObject(*cycle.serving) : ordered()},
                 {"neighbours", std::move(neighbours)}};
  // The cells beside the serving one (the NR leg of EN-DC), only in a cycle that has them.
  if (!cycle.secondary.empty()) {
    ordered secondary = ordered::array();
    for (const radio::Cell& cell : cycle.secondary) secondary.push_back(CellObject(cell));
    object["secondary"] = std::move(secondary);
  }
  return object;
}

std::optional<std::string> MessageText(std::string_view utf8, std::size_t limit) {
  std::string text;
  for (std::size_t pos = 0; pos < utf8.size();) {
    const char32_t cp = platform::DecodeUtf8(utf8, pos);
    const int byte = cp == 0xFFFD ? -1 : platform::CodePointToCp1251(cp);
    if (byte < 0x20 || byte == 0x7F || text.size() >= limit) return std::nullopt;
    text += static_cast<char>(static_cast<unsigned char>(byte));
  }
  return text;
}

std::optional<ParsedCycle> ParseCycleMessage(std::string_view payload, std::string& why) {
  if (payload.size() > kMaxCycleMessage) {
    why = "too large";
    return std::nullopt;
  }
  const json message = json::parse(payload.begin(), payload.end(), nullptr, false);
  if (message.is_discarded() || !message.is_object()) {
    why = "not a JSON object";
    return std::nullopt;
  }
  ParsedCycle parsed;
  radio::Cycle& cycle = parsed.cycle;
  const auto event = message.find("event");
  if (event == message.end() || *event != "cycle") {
    why = "not a cycle";
    return std::nullopt;
  }
  // A message without a schema is of the first one.
  if (const auto schema = message.find("schema"); schema != message.end()) {
    if (!schema->is_number_integer() || (*schema != 1 && *schema != 2)) {
      why = "unknown schema";
      return std::nullopt;
    }
    parsed.schema = schema->get<int>();
  } else {
    parsed.schema = 1;
  }
  const auto n = message.find("n");
  if (n == message.end() || !n->is_number_integer() || *n < 1 || *n > (1LL << 53)) {
    why = "bad cycle number";
    return std::nullopt;
  }
  cycle.n = n->get<long>();
  if (const auto session = message.find("session"); session != message.end() && !session->is_null()) {
    const auto text = session->is_string() ? MessageText(session->get_ref<const std::string&>(), 64) : std::nullopt;
    if (!text) {
      why = "bad session";
      return std::nullopt;
    }
    parsed.session = *text;
  }
  const auto time = message.find("time");
  const std::optional<survey::IsoTime> iso = time != message.end() && time->is_string()
                                                 ? survey::ParseIsoTime(time->get_ref<const std::string&>())
                                                 : std::nullopt;
  const auto point = iso && iso->offsetMinutes ? survey::ToTimePoint(*iso) : std::nullopt;
  if (!point) {
    why = "bad time";
    return std::nullopt;
  }
  parsed.time = time->get<std::string>();
  cycle.time = *point;
  if (const auto position = message.find("position"); position != message.end() && !position->is_null()) {
    cycle.position = ParsePositionObject(*position, parsed.schema == 1 ? kPositionKeys1 : kPositionKeys2, why);
    if (!cycle.position) return std::nullopt;
  }
  if (!ParseCells(message, parsed.schema, cycle, why)) return std::nullopt;
  return parsed;
}

}  // namespace sites
