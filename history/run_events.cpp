#include "history/run_events.h"

#include <utility>

#include "core/monitor.h"
#include "log/log_record.h"
#include "log/log_writer.h"

namespace history {

RunEvents::RunEvents(parser::FieldSink& logSink, core::RunObserver& next, gsmlog::TLogWriter& writer, Listener listener)
    : logSink_(logSink), next_(next), writer_(writer), listener_(std::move(listener)) {}

void RunEvents::AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) {
  logSink_.AcceptField(fieldCode, cellIndex, value);
  detector_.Field(fieldCode, cellIndex, value);
}

void RunEvents::Emit(const CellEvent& event) {
  writer_.Hold(gsmlog::kCycleEventCode, FormatEventRecord(event));
  if (listener_) listener_(event);
}

void RunEvents::PollStarted() {
  next_.PollStarted();
  detector_.Reset();
  Emit({EventKind::connectionStarted, {}, {}, 0, std::chrono::system_clock::now()});
}

void RunEvents::CycleCompleted(int n) {
  detector_.SetThreshold(threshold_.load());
  for (const CellEvent& event : detector_.CycleEnded(std::chrono::system_clock::now())) Emit(event);
  next_.CycleCompleted(n);
}

void RunEvents::ConnectionEnded(bool reachedPoll) {
  if (reachedPoll) {
    const EventKind kind = core::ConnectionActive() ? EventKind::connectionLost : EventKind::connectionEnded;
    Emit({kind, {}, {}, 0, std::chrono::system_clock::now()});
  }
  next_.ConnectionEnded(reachedPoll);
}

}  // namespace history
