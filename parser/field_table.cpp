#include "parser/field_table.h"

#include <algorithm>

namespace parser {

namespace {

// Built when the program is compiled, so the table's lookups keep no state of their own, and a
// row that breaks what the readers rely on does not compile.
constexpr std::array<std::int8_t, kCellCodeStep> kRowOf = [] {
  std::array<std::int8_t, kCellCodeStep> rows{};
  rows.fill(-1);
  for (std::size_t i = 0; i < kFieldTable.size(); ++i)
    rows[static_cast<std::size_t>(kFieldTable[i].code)] = static_cast<std::int8_t>(i);
  return rows;
}();

constexpr std::array<const FieldInfo*, kGridRows> kGridRowOf = [] {
  std::array<const FieldInfo*, kGridRows> rows{};
  for (const FieldInfo& field : kFieldTable) {
    if (field.gridRow >= 0) rows[static_cast<std::size_t>(field.gridRow)] = &field;
  }
  return rows;
}();

constexpr bool CodesAscendWithinOneCellStep() {
  int previous = 0;
  for (const FieldInfo& field : kFieldTable) {
    if (field.code <= previous || field.code >= kCellCodeStep) return false;
    previous = field.code;
  }
  return true;
}
static_assert(CodesAscendWithinOneCellStep(), "one row per field code, in code order");

constexpr bool EveryGridRowTaken() {
  std::array<int, kGridRows> fields{};
  for (const FieldInfo& field : kFieldTable) {
    if (field.gridRow < 0) continue;
    if (field.gridRow >= kGridRows) return false;
    ++fields[static_cast<std::size_t>(field.gridRow)];
  }
  for (const int count : fields) {
    if (count != 1) return false;
  }
  return true;
}
static_assert(EveryGridRowTaken(), "each grid row has exactly one field");

}  // namespace

const FieldInfo* FindField(int fieldCode) {
  const int index = FieldIndex(fieldCode);
  return index < 0 ? nullptr : &kFieldTable[static_cast<std::size_t>(index)];
}

int FieldIndex(int fieldCode) {
  if (fieldCode < 0 || fieldCode >= kCellCodeStep) return -1;
  return kRowOf[static_cast<std::size_t>(fieldCode)];
}

const FieldInfo& GridField(int gridRow) {
  return *kGridRowOf[static_cast<std::size_t>(std::clamp(gridRow, 0, kGridRows - 1))];
}

}  // namespace parser
