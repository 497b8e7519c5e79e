#pragma once
// The main window as the monitor thread sees it: the window operations and the display side of
// the field dispatcher. Each call is posted to the window's thread with copies of its arguments;
// ReadPortSettings, ShowError and RecordName wait for the window's answer. Called on the window's
// own thread, an operation runs at once (a stop request from a click must not wait on itself).

#include <string>
#include <utility>

#include "core/run_consumer.h"
#include "core/window_ops.h"
#include "history/cell_events.h"

namespace ui {

class Tfrm;

class MainWindowOps final : public core::WindowOps {
 public:
  // window must outlive every call.
  explicit MainWindowOps(Tfrm& window) : window_(window) {}

  void ShowConnectionState(core::ConnectionState state) override;
  void SetWindowLayout(core::WindowLayout layout) override;
  core::PortSettings ReadPortSettings() override;
  void ShowError(const std::string& text) override;
  void MarkFields(bool withIdentity, parser::SweepPass pass) override;
  void PrepareConnection() override;
  // Posts QCoreApplication::exit(0) to the window's event loop.
  void ExitProgram() override;

  // The display: ShowField on the window's thread; a cycle's values in one call.
  void ShowValue(const radio::DeliveredField& field) override;
  void ShowCycle(const radio::Cycle& cycle) override;

  // The record action's side of a run (core::LogRecorder's name source and name used): the
  // name in txtLog, Windows-1251, waiting for the answer (a bare name placed into the log folder,
  // ui/log_folder.h); and the name the log got, into txtLog.
  std::string RecordName();
  // An event of the run, and a completed cycle: onto the live history.
  void ShowEvent(const history::CellEvent& event);
  void ShowHistoryCycle(const radio::Cycle& cycle);
  // A completed cycle: into the cells window; and the modem family the run talks to (its name),
  // onto the cells window's status line.
  void ShowCellsCycle(const radio::Cycle& cycle);
  // A completed cycle: onto the live map.
  void ShowMapCycle(const radio::Cycle& cycle);
  void ShowDialect(const std::string& name);
  void ShowRecording(const std::string& name);

 private:
  // Runs fn on the window's thread: at once when already there, otherwise queued (Post), or
  // queued and waited for (Wait).
  template <typename Fn>
  void Post(Fn&& fn);
  template <typename Fn>
  void Wait(Fn&& fn);

  Tfrm& window_;
};

// The live history as a consumer of the window's run: each cycle and event onto it.
class LiveHistoryFeed final : public core::RunConsumer {
 public:
  explicit LiveHistoryFeed(MainWindowOps& ops) : ops_(ops) {}
  void CycleCompleted(const radio::Cycle& cycle) override { ops_.ShowHistoryCycle(cycle); }

 private:
  MainWindowOps& ops_;
};

// The cells window as a consumer of the window's run: each cycle onto it.
class LiveCellsFeed final : public core::RunConsumer {
 public:
  explicit LiveCellsFeed(MainWindowOps& ops) : ops_(ops) {}
  void CycleCompleted(const radio::Cycle& cycle) override { ops_.ShowCellsCycle(cycle); }
  // The family in use, on the window's status line.
  void DialectTold(const core::DialectNote& note) override {
    if (note.kind != core::DialectNote::Kind::refused) ops_.ShowDialect(note.dialect);
  }

 private:
  MainWindowOps& ops_;
};

// The live map as a consumer of the window's run: each cycle onto it (its events come with the
// history's, MainWindowOps::ShowEvent).
class LiveMapFeed final : public core::RunConsumer {
 public:
  explicit LiveMapFeed(MainWindowOps& ops) : ops_(ops) {}
  void CycleCompleted(const radio::Cycle& cycle) override { ops_.ShowMapCycle(cycle); }

 private:
  MainWindowOps& ops_;
};

}  // namespace ui
