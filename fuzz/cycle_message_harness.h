#pragma once
// Fuzz harness of a cycle message as the collector reads it from a broker: any bytes either are
// refused with a reason or give a cycle whose every value could go into a log as it is.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "parser/cycle_fields.h"
#include "parser/field_table.h"
#include "sites/cycle_message.h"
#include "survey/survey_text.h"

namespace fuzzing {

inline void RunCycleMessage(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string why;
  const auto cycle = sites::ParseCycleMessage(text, why);
  if (!cycle) {
    FUZZ_CHECK(!why.empty());
    return;
  }
  FUZZ_CHECK(size <= sites::kMaxCycleMessage);
  FUZZ_CHECK(cycle->cycle.n >= 1);
  FUZZ_CHECK(cycle->session.size() <= 64);
  const auto time = survey::ParseIsoTime(cycle->time);
  FUZZ_CHECK(time && time->offsetMinutes && survey::ToTimePoint(*time));
  // What the collector writes into a log: the cycle as the field report's values.
  for (const radio::DeliveredField& value : parser::FieldsOfCycle(cycle->cycle)) {
    FUZZ_CHECK(parser::FindField(value.code) != nullptr);
    FUZZ_CHECK(value.cell >= 0 && value.cell < parser::kCellCount);
    FUZZ_CHECK(!value.text.empty() && value.text.size() <= 128);
    for (const char c : value.text) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
  }
}

}  // namespace fuzzing
