#pragma once
// The events of a live run, as a consumer of the run: it detects each cycle's events when the
// cycle completes, tells a listener, and keeps their records until the log recorder holds them
// before the cycle's seal (HoldRecords); the end of the run is held at once, ahead of the
// summary. All of it runs on the monitor thread; the threshold may be set from any thread.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "core/run_consumer.h"
#include "history/cell_events.h"

namespace gsmlog {
class TLogWriter;
}

namespace history {

class RunEvents final : public core::RunConsumer {
 public:
  // Told each event on the monitor thread.
  using Listener = std::function<void(const CellEvent&)>;

  // writer (the log recorder's) gets the end of the run's record; it must outlive this.
  explicit RunEvents(gsmlog::TLogWriter& writer, Listener listener = {});

  void SetThreshold(int dbm) { threshold_.store(dbm); }
  int Threshold() const { return threshold_.load(); }

  void RunStarted(const core::RunStart& start) override;
  void CycleCompleted(const radio::Cycle& cycle) override;
  void RunEnded(const core::RunEnd& end) override;

  // Holds the records of the events detected since the last call in writer, to go out with the
  // cycle's seal: the run's start ahead of the first cycle's values (HoldLeadingRecords, before
  // them), every other event after them (HoldRecords). Do nothing while no log is open.
  void HoldLeadingRecords(gsmlog::TLogWriter& writer);
  void HoldRecords(gsmlog::TLogWriter& writer);
  // Both, for a front end that holds them together.
  void HoldAllRecords(gsmlog::TLogWriter& writer);

 private:
  void Emit(const CellEvent& event);

  gsmlog::TLogWriter& writer_;
  Listener listener_;
  std::atomic<int> threshold_{EventDetector::kDefaultThreshold};
  // On the monitor thread only.
  EventDetector detector_;
  std::vector<std::string> leading_;
  std::vector<std::string> pending_;
};

}  // namespace history
