#include "radio/cell_values.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace radio {
namespace {

constexpr std::array<std::string_view, 15> kGsmNames = {
    "tech", "mcc",  "mnc",         "country_name", "operator_name", "lac", "cell_id",    "channel",
    "band", "bsic", "rxlevel_dbm", "rxqual",       "ber_percent",   "ta",  "distance_km"};
constexpr std::array<std::string_view, 12> kWcdmaNames = {"tech",          "mcc", "mnc",      "country_name",
                                                          "operator_name", "lac", "cell_id",  "channel",
                                                          "band",          "psc", "rscp_dbm", "ecno_db"};
constexpr std::array<std::string_view, 14> kLteNames = {
    "tech",    "mcc",  "mnc", "country_name", "operator_name", "tac",      "cell_id",
    "channel", "band", "pci", "rsrp_dbm",     "rsrq_db",       "rssi_dbm", "sinr_db"};
constexpr std::array<std::string_view, 13> kNrNames = {
    "tech",    "mcc",  "mnc", "country_name", "operator_name", "tac",    "cell_id",
    "channel", "band", "pci", "rsrp_dbm",     "rsrq_db",       "sinr_db"};
constexpr std::array<std::string_view, 5> kNeighbourColumns = {"channel", "bsic", "band", "rxlevel_dbm", "cell_id"};
constexpr std::array<std::string_view, 6> kPositionNames = {"latitude_deg", "longitude_deg",      "altitude_m",
                                                            "fix_mode",     "horizontal_error_m", "fix_time"};

template <class T>
Value Of(const std::optional<T>& number) {
  if (!number) return {};
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(*number)) return {};
    return *number;
  } else {
    return static_cast<std::int64_t>(*number);
  }
}
Value TextOf(const std::string& text) { return text.empty() ? Value{} : Value{text}; }

Value GsmValue(const GsmMeasures& m, std::string_view name) {
  if (name == "bsic") return Of(m.bsic);
  if (name == "rxlevel_dbm") return Of(m.rxLevelDbm);
  if (name == "rxqual") return Of(m.rxQual);
  if (name == "ber_percent") return Of(m.berPercent);
  if (name == "ta") return Of(m.timingAdvance);
  if (name == "distance_km") return Of(m.distanceKm);
  return {};
}
Value WcdmaValue(const WcdmaMeasures& m, std::string_view name) {
  if (name == "psc") return Of(m.psc);
  if (name == "rscp_dbm") return Of(m.rscpDbm);
  if (name == "ecno_db") return Of(m.ecnoDb);
  return {};
}
Value LteValue(const LteMeasures& m, std::string_view name) {
  if (name == "pci") return Of(m.pci);
  if (name == "rsrp_dbm") return Of(m.rsrpDbm);
  if (name == "rsrq_db") return Of(m.rsrqDb);
  if (name == "rssi_dbm") return Of(m.rssiDbm);
  if (name == "sinr_db") return Of(m.sinrDb);
  return {};
}
Value NrValue(const NrMeasures& m, std::string_view name) {
  if (name == "pci") return Of(m.pci);
  if (name == "rsrp_dbm") return Of(m.rsrpDbm);
  if (name == "rsrq_db") return Of(m.rsrqDb);
  if (name == "sinr_db") return Of(m.sinrDb);
  return {};
}

bool HasName(std::span<const std::string_view> names, std::string_view name) {
  for (const std::string_view known : names) {
    if (known == name) return true;
  }
  return false;
}

// The range of a number under its name; whole: it must be a whole number.
struct Range {
  std::string_view name;
  double low, high;
  bool whole;
};
constexpr Range kRanges[] = {
    {"mcc", 1, 999, true},
    {"mnc", 0, 999, true},
    {"lac", 0, 0xFFFF, true},
    {"tac", 0, 0xFFFFFF, true},
    {"cell_id", 0, 0xFFFFFFFFF, true},
    {"channel", 0, 3279165, true},
    {"bsic", 0, 63, true},
    {"rxlevel_dbm", -120, -10, true},
    {"rxqual", 0, 7, true},
    {"ber_percent", 0, 100, false},
    {"ta", 0, 63, true},
    {"distance_km", 0, 40, false},
    {"psc", 0, 511, true},
    {"rscp_dbm", -130, -20, false},
    {"ecno_db", -30, 0, false},
    {"pci", 0, 1007, true},
    {"rsrp_dbm", -160, -30, false},
    {"rsrq_db", -50, 20, false},
    {"rssi_dbm", -130, 0, false},
    {"sinr_db", -30, 50, false},
};

const Range* RangeOf(std::string_view name) {
  for (const Range& range : kRanges) {
    if (range.name == name) return &range;
  }
  return nullptr;
}

template <class T>
void Put(std::optional<T>& member, std::optional<double> number) {
  if (number) {
    member = static_cast<T>(*number);
  } else {
    member.reset();
  }
}

bool PutMeasure(Cell& cell, std::string_view name, std::optional<double> n) {
  if (GsmMeasures* m = cell.gsm()) {
    if (name == "bsic") return Put(m->bsic, n), true;
    if (name == "rxlevel_dbm") return Put(m->rxLevelDbm, n), true;
    if (name == "rxqual") return Put(m->rxQual, n), true;
    if (name == "ber_percent") return Put(m->berPercent, n), true;
    if (name == "ta") return Put(m->timingAdvance, n), true;
    if (name == "distance_km") return Put(m->distanceKm, n), true;
  } else if (auto* w = std::get_if<WcdmaMeasures>(&cell.measures)) {
    if (name == "psc") return Put(w->psc, n), true;
    if (name == "rscp_dbm") return Put(w->rscpDbm, n), true;
    if (name == "ecno_db") return Put(w->ecnoDb, n), true;
  } else if (auto* l = std::get_if<LteMeasures>(&cell.measures)) {
    if (name == "pci") return Put(l->pci, n), true;
    if (name == "rsrp_dbm") return Put(l->rsrpDbm, n), true;
    if (name == "rsrq_db") return Put(l->rsrqDb, n), true;
    if (name == "rssi_dbm") return Put(l->rssiDbm, n), true;
    if (name == "sinr_db") return Put(l->sinrDb, n), true;
  } else if (auto* r = std::get_if<NrMeasures>(&cell.measures)) {
    if (name == "pci") return Put(r->pci, n), true;
    if (name == "rsrp_dbm") return Put(r->rsrpDbm, n), true;
    if (name == "rsrq_db") return Put(r->rsrqDb, n), true;
    if (name == "sinr_db") return Put(r->sinrDb, n), true;
  }
  return false;
}

bool PutNumber(Cell& cell, std::string_view name, std::optional<double> n) {
  if (name == "mcc") return Put(cell.mcc, n), true;
  if (name == "mnc") return Put(cell.mnc, n), true;
  if (name == "lac") return Put(cell.lac, n), true;
  if (name == "tac") return Put(cell.tac, n), true;
  if (name == "cell_id") return Put(cell.cellId, n), true;
  if (name == "channel") return Put(cell.channel, n), true;
  return PutMeasure(cell, name, n);
}

double Rounded(double value, double scale) { return std::round(value * scale) / scale; }

std::string UtcText(std::chrono::system_clock::time_point time) {
  const auto millis = std::chrono::floor<std::chrono::milliseconds>(time).time_since_epoch().count();
  const auto seconds = static_cast<std::time_t>(millis >= 0 ? millis / 1000 : (millis - 999) / 1000);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[96];
  const auto fraction = static_cast<int>(millis - static_cast<long long>(seconds) * 1000);
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, fraction);
  return text;
}

}  // namespace

std::span<const std::string_view> CellValueNames(Tech tech) {
  switch (tech) {
    case Tech::gsm:
      return kGsmNames;
    case Tech::wcdma:
      return kWcdmaNames;
    case Tech::lte:
      return kLteNames;
    case Tech::nr:
      return kNrNames;
  }
  return {};
}

Value CellValue(const Cell& cell, std::string_view name) {
  if (!HasName(CellValueNames(cell.tech()), name)) return {};
  if (name == "tech") return std::string(TechName(cell.tech()));
  if (name == "mcc") return Of(cell.mcc);
  if (name == "mnc") return Of(cell.mnc);
  if (name == "country_name") return TextOf(cell.countryName);
  if (name == "operator_name") return TextOf(cell.operatorName);
  if (name == "lac") return Of(cell.lac);
  if (name == "tac") return Of(cell.tac);
  if (name == "cell_id") return Of(cell.cellId);
  if (name == "channel") return Of(cell.channel);
  if (name == "band") return TextOf(cell.band);
  if (const GsmMeasures* m = cell.gsm()) return GsmValue(*m, name);
  if (const WcdmaMeasures* m = cell.wcdma()) return WcdmaValue(*m, name);
  if (const LteMeasures* m = cell.lte()) return LteValue(*m, name);
  if (const NrMeasures* m = cell.nr()) return NrValue(*m, name);
  return {};
}

Cell MakeCell(Tech tech) {
  Cell cell;
  switch (tech) {
    case Tech::gsm:
      break;
    case Tech::wcdma:
      cell.measures = WcdmaMeasures{};
      break;
    case Tech::lte:
      cell.measures = LteMeasures{};
      break;
    case Tech::nr:
      cell.measures = NrMeasures{};
      break;
  }
  return cell;
}

bool SetCellValue(Cell& cell, std::string_view name, const Value& value) {
  if (name == "tech" || !HasName(CellValueNames(cell.tech()), name)) return false;
  std::string* text = name == "country_name"    ? &cell.countryName
                      : name == "operator_name" ? &cell.operatorName
                      : name == "band"          ? &cell.band
                                                : nullptr;
  if (text != nullptr) {
    if (std::holds_alternative<std::monostate>(value)) {
      text->clear();
      return true;
    }
    const auto* given = std::get_if<std::string>(&value);
    if (given == nullptr || given->empty()) return false;
    *text = *given;
    return true;
  }
  const Range* range = RangeOf(name);
  if (range == nullptr) return false;
  std::optional<double> number;
  if (const auto* whole = std::get_if<std::int64_t>(&value)) number = static_cast<double>(*whole);
  if (const auto* real = std::get_if<double>(&value)) number = *real;
  if (std::holds_alternative<std::string>(value)) return false;
  if (number && !(*number >= range->low && *number <= range->high)) return false;
  if (number && range->whole && std::trunc(*number) != *number) return false;
  return PutNumber(cell, name, number);
}

ValueKind KindOf(std::string_view name) {
  if (name == "tech" || name == "country_name" || name == "operator_name" || name == "band" || name == "fix_time") {
    return ValueKind::text;
  }
  const Range* range = RangeOf(name);
  if (range != nullptr) return range->whole ? ValueKind::whole : ValueKind::real;
  return name == "fix_mode" ? ValueKind::whole : ValueKind::real;
}

std::vector<NamedValue> CellValues(const Cell& cell) {
  std::vector<NamedValue> values;
  for (const std::string_view name : CellValueNames(cell.tech())) values.push_back({name, CellValue(cell, name)});
  return values;
}

std::span<const std::string_view> NeighbourColumnNames() { return kNeighbourColumns; }

std::span<const std::string_view> PositionNames() { return kPositionNames; }

std::vector<NamedValue> PositionValues(const std::optional<Position>& position) {
  std::vector<NamedValue> values;
  for (const std::string_view name : kPositionNames) values.push_back({name, {}});
  if (!position) return values;
  // Receivers give no more than this: 1e-7 degrees is about a centimetre, a tenth of a metre.
  values[0].value = Rounded(position->latitude, 1e7);
  values[1].value = Rounded(position->longitude, 1e7);
  if (std::isfinite(position->altitude)) values[2].value = Rounded(position->altitude, 10);
  values[3].value = static_cast<std::int64_t>(position->mode);
  if (std::isfinite(position->horizontalError)) values[4].value = Rounded(position->horizontalError, 10);
  if (position->time != std::chrono::system_clock::time_point{}) values[5].value = UtcText(position->time);
  return values;
}

std::string NumberText(double number) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, number);
  return error == std::errc{} ? std::string(text, end) : std::string();
}

}  // namespace radio
