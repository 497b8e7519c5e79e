#include "core/cycle_builder.h"

#include <utility>

#include "parser/cycle_fields.h"

namespace core {

void CycleBuilder::AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) {
  radio::DeliveredField field{fieldCode, cellIndex, value.text, value.number};
  {
    std::lock_guard lock(mutex_);
    if (polling_) {
      parser::ApplyField(running_, fieldCode, cellIndex, value);
      running_.delivered.push_back(std::move(field));
      return;
    }
    parser::ApplyIdentityField(identity_, fieldCode, cellIndex, value);
  }
  if (identityListener_) identityListener_(field);
}

void CycleBuilder::Reset() {
  std::lock_guard lock(mutex_);
  polling_ = false;
  running_ = {};
  identity_ = {};
}

void CycleBuilder::StartPolling() {
  std::lock_guard lock(mutex_);
  polling_ = true;
  running_ = {};
}

radio::Identity CycleBuilder::Identity() const {
  std::lock_guard lock(mutex_);
  return identity_;
}

radio::Cycle CycleBuilder::TakeCycle(long n) {
  std::lock_guard lock(mutex_);
  radio::Cycle cycle = std::exchange(running_, {});
  cycle.n = n;
  cycle.identity = identity_;
  return cycle;
}

}  // namespace core
