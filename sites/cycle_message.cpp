#include "sites/cycle_message.h"

#include <cmath>

#include "parser/field_table.h"
#include "parser/measurement_fields.h"
#include "platform/text_encoding.h"
#include "survey/survey_text.h"

namespace sites {
namespace {

using nlohmann::json;

double Rounded(double value, double scale) { return std::round(value * scale) / scale; }

json PositionObject(const std::optional<gps::Fix>& fix) {
  if (!fix) return nullptr;
  json position = {{"lat", Rounded(fix->latitude, 1e7)}, {"lon", Rounded(fix->longitude, 1e7)}, {"mode", fix->mode}};
  position["alt"] = std::isfinite(fix->altitude) ? json(Rounded(fix->altitude, 10)) : json();
  position["h_error"] = std::isfinite(fix->horizontalError) ? json(Rounded(fix->horizontalError, 10)) : json();
  position["fix_time"] =
      fix->time != std::chrono::system_clock::time_point{} ? json(survey::FormatUtcTime(fix->time)) : json();
  return position;
}

// The fields a cycle message may carry for a cell: the measurements, never the identity.
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

std::optional<gps::Fix> ParsePositionObject(const json& object, std::string& why) {
  why = "bad position";
  if (!object.is_object()) return std::nullopt;
  const auto lat = Number(object, "lat", false);
  const auto lon = Number(object, "lon", false);
  const auto alt = Number(object, "alt", true);
  const auto error = Number(object, "h_error", true);
  if (!lat || !lon || !alt || !error || std::fabs(*lat) > 90 || std::fabs(*lon) > 180) return std::nullopt;
  const auto mode = object.find("mode");
  if (mode == object.end() || !mode->is_number_integer() || (*mode != 2 && *mode != 3)) return std::nullopt;
  gps::Fix fix;
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

// The values of one cell's object, in the field table's order.
bool ParseCell(const json& object, int cell, std::vector<CycleValue>& values, std::string& why) {
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
      values.push_back({field.code, cell, std::string(parser::kNotAvailable)});
      continue;
    }
    const std::string& utf8 = it->get_ref<const std::string&>();
    auto text = MessageText(utf8, 128);
    if (!text || text->empty()) {
      why = "bad text";
      return false;
    }
    values.push_back({field.code, cell, std::move(*text)});
  }
  return true;
}

}  // namespace

json CycleObject(int n, const survey::CycleStamp& stamp, const std::vector<CycleValue>& values) {
  json serving = json::object();
  json neighbours = json::array();
  for (int cell = 1; cell < parser::kCellCount; ++cell) neighbours.push_back(json::object());
  for (const CycleValue& value : values) {
    const parser::FieldInfo* field = parser::FindField(value.code);
    if (field == nullptr || value.cell < 0 || value.cell >= parser::kCellCount || !CycleField(*field, value.cell)) {
      continue;
    }
    json& cell = value.cell == 0 ? serving : neighbours[static_cast<std::size_t>(value.cell - 1)];
    cell[std::string(field->key)] =
        value.text == parser::kNotAvailable ? json() : json(platform::Cp1251ToPrintable(value.text));
  }
  return json{{"event", "cycle"},
              {"n", n},
              {"time", survey::FormatLocalTime(stamp.time)},
              {"position", PositionObject(stamp.fix)},
              {"serving", std::move(serving)},
              {"neighbours", std::move(neighbours)}};
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
  ParsedCycle cycle;
  const auto event = message.find("event");
  if (event == message.end() || *event != "cycle") {
    why = "not a cycle";
    return std::nullopt;
  }
  const auto n = message.find("n");
  if (n == message.end() || !n->is_number_integer() || *n < 1 || *n > (1LL << 53)) {
    why = "bad cycle number";
    return std::nullopt;
  }
  cycle.n = n->get<long long>();
  if (const auto session = message.find("session"); session != message.end()) {
    const auto text = session->is_string() ? MessageText(session->get_ref<const std::string&>(), 64) : std::nullopt;
    if (!text) {
      why = "bad session";
      return std::nullopt;
    }
    cycle.session = *text;
  }
  const auto time = message.find("time");
  const std::optional<survey::IsoTime> iso = time != message.end() && time->is_string()
                                                 ? survey::ParseIsoTime(time->get_ref<const std::string&>())
                                                 : std::nullopt;
  if (!iso || !iso->offsetMinutes || !survey::ToTimePoint(*iso)) {
    why = "bad time";
    return std::nullopt;
  }
  cycle.time = time->get<std::string>();
  if (const auto position = message.find("position"); position != message.end() && !position->is_null()) {
    cycle.fix = ParsePositionObject(*position, why);
    if (!cycle.fix) return std::nullopt;
  }
  const auto serving = message.find("serving");
  if (serving == message.end() || !ParseCell(*serving, 0, cycle.values, why)) {
    if (serving == message.end()) why = "no serving cell";
    return std::nullopt;
  }
  if (const auto neighbours = message.find("neighbours"); neighbours != message.end()) {
    if (!neighbours->is_array() || neighbours->size() > static_cast<std::size_t>(parser::kCellCount - 1)) {
      why = "bad neighbours";
      return std::nullopt;
    }
    for (std::size_t i = 0; i < neighbours->size(); ++i) {
      if (!ParseCell((*neighbours)[i], static_cast<int>(i) + 1, cycle.values, why)) return std::nullopt;
    }
  }
  return cycle;
}

}  // namespace sites
