#pragma once
// The names every machine output (JSON lines, CSV, MQTT, exports) gives a cycle's values, with
// their units in the names, and the values of a cell under them: one scheme, read by all of them.
// A value is a number, a text or absent (null in JSON, an empty CSV cell).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "radio/cycle.h"
#include "radio/position.h"

namespace radio {

// Absent, a whole number, a real number, or a text. Texts are as the cell holds them: ASCII
// names ("gsm", "GSM900") and the display names, which are Windows-1251.
using Value = std::variant<std::monostate, std::int64_t, double, std::string>;

struct NamedValue {
  std::string_view name;
  Value value;
  bool operator==(const NamedValue&) const = default;
};

// The names of a cell of a technology, in the order every output lists them: tech, mcc, mnc,
// country_name, operator_name, the area (lac, or tac for LTE and NR), cell_id, channel, band,
// then the technology's own measures (GSM: bsic, rxlevel_dbm, rxqual, ber_percent, ta,
// distance_km; WCDMA: psc, rscp_dbm, ecno_db; LTE: pci, rsrp_dbm, rsrq_db, rssi_dbm, sinr_db;
// NR: pci, rsrp_dbm, rsrq_db, sinr_db).
std::span<const std::string_view> CellValueNames(Tech tech);
// The values of a cell under CellValueNames(cell.tech()), in that order.
std::vector<NamedValue> CellValues(const Cell& cell);
// What a name holds: a text (tech, country_name, operator_name, band), a whole number, or a real.
enum class ValueKind : std::uint8_t { text, whole, real };
ValueKind KindOf(std::string_view name);

// One value of a cell by its name; absent for a name its technology does not have.
Value CellValue(const Cell& cell, std::string_view name);

// The reverse, for a reader of such an output: puts a value under its name into cell. False, and
// cell unchanged, for a name its technology does not have, a text where a number belongs (or the
// other way round), a fraction where a whole number belongs, or a number outside the measure's
// range. An absent value clears the measure. "tech" is not set this way: make the cell of its
// technology first (MakeCell).
bool SetCellValue(Cell& cell, std::string_view name, const Value& value);
// An empty cell of a technology.
Cell MakeCell(Tech tech);

// The columns a flat output (CSV, an export) gives each neighbour, prefixed "n1_" .. "n6_": what
// a neighbour report carries.
std::span<const std::string_view> NeighbourColumnNames();

// A position's names: latitude_deg, longitude_deg, altitude_m, fix_mode, horizontal_error_m,
// fix_time (UTC, ISO 8601 with milliseconds), and its values under them; all absent without one.
std::span<const std::string_view> PositionNames();
std::vector<NamedValue> PositionValues(const std::optional<Position>& position);

// A number as machine outputs write it: shortest round trip, decimal point, never a comma.
std::string NumberText(double number);

}  // namespace radio
