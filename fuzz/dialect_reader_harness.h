#pragma once
// Fuzz harness of a family's dialect: the input is one answer of the modem, read by the reader
// of every command the dialect polls, then made into a cycle and into the values the window and
// the log take. No reader may crash or hang, and every value it gives lies in the range of its
// name in the cycle record.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dialects/dialect.h"
#include "fuzz/fuzz_check.h"
#include "parser/cycle_fields.h"
#include "radio/cell_values.h"

namespace fuzzing {

inline void CheckCell(const radio::Cell& cell) {
  for (const radio::NamedValue& value : radio::CellValues(cell)) {
    if (value.name == "tech") continue;
    radio::Cell copy = radio::MakeCell(cell.tech());
    FUZZ_CHECK(radio::SetCellValue(copy, value.name, value.value));
  }
}

inline void RunDialectReaders(std::string_view dialectName, const std::uint8_t* data, std::size_t size) {
  const dialects::Dialect* dialect = dialects::DialectNamed(dialectName);
  FUZZ_CHECK(dialect != nullptr);
  const std::string_view answer(reinterpret_cast<const char*>(data), size);
  dialects::CycleFacts facts;
  for (const dialects::PollCommand& command : dialect->commands) command.read(answer, facts);
  const radio::Cycle cycle = dialects::CycleOfFacts(facts);
  if (cycle.serving) CheckCell(*cycle.serving);
  for (const radio::Cell& cell : cycle.secondary) CheckCell(cell);
  for (const radio::Cell& cell : cycle.neighbours) CheckCell(cell);
  (void)parser::FieldsOfCycle(cycle);
}

}  // namespace fuzzing
