#include "ui/monitor_window.h"

#include "core/log_recorder.h"
#include "core/monitor.h"
#include "gps/gps_link.h"
#include "history/run_events.h"
#include "log/log_writer.h"
#include "parser/measurement_fields.h"
#include "survey/cycle_stamp.h"
#include "ui/app_state.h"
#include "ui/frmNetMonitor.h"
#include "ui/gps_status.h"
#include "ui/history_window.h"
#include "ui/main_window_ops.h"

namespace ui {

Tfrm& CreateMonitorWindow() {
  // Never deleted: the monitor thread may still be finishing when the event loop ends.
  auto* window = new Tfrm(nullptr, gsmlog::ProgramLogWriter());
  SetMainWindow(window);
  WindowState& state = State();
  state.gps = std::make_unique<gps::GpsLink>();
  gps::GpsLink& gps = *state.gps;
  ApplyGpsSettings(gps, LoadGpsSettings());
  InstallGpsStatus(*window, gps);
  // Each cycle goes into the log with its time and, when fresh, its position.
  window->Recorder().SetBeforeSeal(
      [&gps](gsmlog::TLogWriter& log) { survey::HoldCycleRecords(log, survey::StampCycle(gps.Fresh())); });
  // The run's events, between the dispatcher and the log and in front of the recorder; never
  // deleted, like the window.
  auto* events = new history::RunEvents(gsmlog::ProgramLogWriter(), window->Recorder(), gsmlog::ProgramLogWriter(),
                                        [window](const history::CellEvent& event) { window->Ops().ShowEvent(event); });
  events->SetThreshold(SavedLevelThreshold());
  state.liveEvents = events;
  InstallHistoryShortcut(*window);
  parser::SetDisplaySink(&window->Ops());
  parser::SetLogSink(events);
  core::InitCore(window->Ops(), events);
  return *window;
}

}  // namespace ui
