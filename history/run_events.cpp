#include "history/run_events.h"

#include <utility>

#include "log/log_record.h"
#include "log/log_writer.h"

namespace history {

RunEvents::RunEvents(gsmlog::TLogWriter& writer, Listener listener) : writer_(writer), listener_(std::move(listener)) {}

void RunEvents::Emit(const CellEvent& event) {
  pending_.push_back(FormatEventRecord(event));
  if (listener_) listener_(event);
}

void RunEvents::HoldLeadingRecords(gsmlog::TLogWriter& writer) {
  for (const std::string& record : leading_) writer.Hold(gsmlog::kCycleEventCode, record);
  leading_.clear();
}

void RunEvents::HoldRecords(gsmlog::TLogWriter& writer) {
  for (const std::string& record : pending_) writer.Hold(gsmlog::kCycleEventCode, record);
  pending_.clear();
}

void RunEvents::HoldAllRecords(gsmlog::TLogWriter& writer) {
  HoldLeadingRecords(writer);
  HoldRecords(writer);
}

void RunEvents::RunStarted(const core::RunStart& start) {
  detector_.Reset();
  pending_.clear();
  Emit({EventKind::connectionStarted, {}, {}, 0, start.time});
  leading_ = std::exchange(pending_, {});
}

void RunEvents::CycleCompleted(const radio::Cycle& cycle) {
  for (const radio::DeliveredField& field : cycle.delivered) {
    detector_.Field(field.code, field.cell, parser::FieldValue{field.text, field.number});
  }
  detector_.SetThreshold(threshold_.load());
  for (const CellEvent& event : detector_.CycleEnded(cycle.time)) Emit(event);
}

void RunEvents::RunEnded(const core::RunEnd& end) {
  if (!end.reachedPoll) return;
  Emit(
      {end.lost ? EventKind::connectionLost : EventKind::connectionEnded, {}, {}, 0, std::chrono::system_clock::now()});
  HoldAllRecords(writer_);
}

}  // namespace history
