#include "log/record_codes.h"

#include <algorithm>

namespace gsmlog {

static_assert(std::ranges::is_sorted(kFixedCodes, {}, &RecordCodeInfo::code), "looked up by halving");

RecordCodeInfo DescribeRecordCode(std::int32_t code) {
  const auto fixed = std::ranges::lower_bound(kFixedCodes, code, {}, &RecordCodeInfo::code);
  if (fixed != std::end(kFixedCodes) && fixed->code == code) return *fixed;
  const std::int32_t cell = code / parser::kCellCodeStep - 1;
  if (code > 0 && cell >= 0 && cell < parser::kCellCount) {
    const int field = code % parser::kCellCodeStep;
    for (const CellFieldName& f : kCellFields) {
      if (f.field == field) return {code, RecordKind::cell, f.name, f.unit, field, cell};
    }
  }
  return {code};
}

bool IsCycleRecord(std::int32_t code) {
  switch (DescribeRecordCode(code).kind) {
    case RecordKind::network:
    case RecordKind::cell:
    case RecordKind::servingCycle:
    case RecordKind::cycleTime:
    case RecordKind::cyclePosition:
      return true;
    default:
      return false;
  }
}

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
    case RecordKind::cycleTime:
    case RecordKind::cyclePosition:
    case RecordKind::event:
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
