#pragma once
// The poll cycle in the making: the dispatcher's sink on a session's threads. Before polling the
// values are the modem's identity; while polling they go into the running cycle, typed
// (parser::ApplyField) and as delivered, until the session takes the cycle at its end. Safe from
// the monitor thread and the call workers alike.

#include <functional>
#include <mutex>

#include "parser/measurement_fields.h"
#include "radio/cycle.h"

namespace core {

class CycleBuilder final : public parser::FieldSink {
 public:
  // Told each identity value as it arrives, on the dispatching thread.
  using IdentityListener = std::function<void(const radio::DeliveredField&)>;
  explicit CycleBuilder(IdentityListener identityListener) : identityListener_(std::move(identityListener)) {}

  void AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) override;

  // A new connection: forgets the identity and any values.
  void Reset();
  // Values from now on belong to cycles.
  void StartPolling();
  radio::Identity Identity() const;
  // The cycle of the values since the last take, numbered n, with the identity; the next starts.
  radio::Cycle TakeCycle(long n);

 private:
  IdentityListener identityListener_;
  mutable std::mutex mutex_;
  bool polling_ = false;
  radio::Cycle running_;
  radio::Identity identity_;
};

}  // namespace core
