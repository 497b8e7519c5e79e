#pragma once
// The events of a live run. Sits on the log side of the dispatcher, in front of the log writer,
// and in front of the run observer (the log recorder): it sees every value, detects the cycle's
// events when the cycle completes, holds their records in the log so they go out with the cycle's
// seal, and tells a listener. All of it runs on the monitor thread; the threshold may be set from
// any thread.

#include <atomic>
#include <functional>

#include "core/window_ops.h"
#include "history/cell_events.h"
#include "parser/measurement_fields.h"

namespace gsmlog {
class TLogWriter;
}

namespace history {

class RunEvents final : public parser::FieldSink, public core::RunObserver {
 public:
  // Told each event on the monitor thread, after its record is held.
  using Listener = std::function<void(const CellEvent&)>;

  // logSink gets every value first (the writer, usually); next is told of the run after the
  // events are held (before them, for the start, which opens the log). All must outlive this.
  RunEvents(parser::FieldSink& logSink, core::RunObserver& next, gsmlog::TLogWriter& writer, Listener listener = {});

  void SetThreshold(int dbm) { threshold_.store(dbm); }
  int Threshold() const { return threshold_.load(); }

  void AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) override;
  void PollStarted() override;
  void CycleCompleted(int n) override;
  // A connection that ended while it was still active ended by itself: lost.
  void ConnectionEnded(bool reachedPoll) override;

 private:
  void Emit(const CellEvent& event);

  parser::FieldSink& logSink_;
  core::RunObserver& next_;
  gsmlog::TLogWriter& writer_;
  Listener listener_;
  std::atomic<int> threshold_{EventDetector::kDefaultThreshold};
  EventDetector detector_;  // monitor thread only
};

}  // namespace history
