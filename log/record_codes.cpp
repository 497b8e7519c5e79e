#include "log/record_codes.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace gsmlog {

static_assert(std::ranges::is_sorted(kFixedCodes, {}, &RecordCodeInfo::code), "looked up by halving");

namespace {

constexpr std::size_t kFixedCount = std::size(kFixedCodes);
constexpr std::int32_t kTableCodes = kRecordCodeTable;
static_assert(kFixedCodes[kFixedCount - 1].code < kTableCodes &&
              parser::kCellCodeStep * (parser::kCellCount + 1) <= kTableCodes);

// Every reader asks for every record, so the meaning of a code is one look-up: 0 for none, 1 + i
// for kFixedCodes[i], 1 + kFixedCount + i for the cell field kCellFields[i].
constexpr auto kEntryOfCode = [] {
  std::array<std::uint8_t, kTableCodes> entries{};
  for (std::size_t i = 0; i < kFixedCount; ++i)
    entries[static_cast<std::size_t>(kFixedCodes[i].code)] = static_cast<std::uint8_t>(1 + i);
  for (int cell = 0; cell < parser::kCellCount; ++cell) {
    for (std::size_t i = 0; i < std::size(kCellFields); ++i) {
      const int code = parser::kCellCodeStep * (cell + 1) + kCellFields[i].field;
      entries[static_cast<std::size_t>(code)] = static_cast<std::uint8_t>(1 + kFixedCount + i);
    }
  }
  return entries;
}();

}  // namespace

RecordCodeInfo DescribeRecordCode(std::int32_t code) {
  if (code < 0 || code >= kTableCodes) return {code};
  const std::size_t entry = kEntryOfCode[static_cast<std::size_t>(code)];
  if (entry == 0) return {code};
  if (entry <= kFixedCount) return kFixedCodes[entry - 1];
  const CellFieldName& f = kCellFields[entry - 1 - kFixedCount];
  return {code, RecordKind::cell, f.name, f.unit, f.field, code / parser::kCellCodeStep - 1};
}

namespace {

constexpr bool CycleKind(RecordKind kind) {
  return kind == RecordKind::network || kind == RecordKind::cell || kind == RecordKind::servingCycle ||
         kind == RecordKind::cycleTime || kind == RecordKind::cyclePosition || kind == RecordKind::cycleCell;
}

}  // namespace

const std::array<bool, kRecordCodeTable> kCycleRecordCodes = [] {
  std::array<bool, kRecordCodeTable> cycle{};
  for (std::size_t code = 0; code < cycle.size(); ++code) {
    const std::size_t entry = kEntryOfCode[code];
    cycle[code] = entry > kFixedCount || (entry > 0 && CycleKind(kFixedCodes[entry - 1].kind));
  }
  return cycle;
}();

std::string RecordCodeName(std::int32_t code) {
  const RecordCodeInfo info = DescribeRecordCode(code);
  const std::string name(info.name);
  switch (info.kind) {
    case RecordKind::unknown:
      return "unknown";
    case RecordKind::identity:
      return "identity." + name;
    case RecordKind::network:
      return "network." + name;
    case RecordKind::servingCycle:
      return "serving." + name;
    case RecordKind::summary:
      return "summary." + name;
    case RecordKind::checksum:
      return name;
    case RecordKind::runSession:
      return "run." + name;
    case RecordKind::cycleTime:
    case RecordKind::cyclePosition:
    case RecordKind::event:
    case RecordKind::cycleCell:
    case RecordKind::cycleNumber:
      return "cycle." + name;
    case RecordKind::cell: {
      std::string place = info.cell == 0 ? "serving" : "neighbour" + std::to_string(info.cell);
      place += "." + name;
      // The report's table ends with the fifth neighbour.
      if (info.cell == parser::kCellCount - 1) place += " (not in report)";
      return place;
    }
  }
  return "unknown";
}

}  // namespace gsmlog
