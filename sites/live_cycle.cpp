#include "sites/live_cycle.h"

#include <utility>

#include "parser/cycle_fields.h"

namespace sites {

radio::Cycle CycleOfDelivered(long n, const survey::CycleStamp& stamp, std::vector<radio::DeliveredField> delivered) {
  radio::Cycle cycle;
  cycle.n = n;
  cycle.time = stamp.time;
  cycle.position = stamp.fix;
  for (const radio::DeliveredField& field : delivered) {
    parser::ApplyField(cycle, field.code, field.cell, parser::FieldValue{field.text, field.number});
  }
  cycle.delivered = std::move(delivered);
  return cycle;
}

}  // namespace sites
