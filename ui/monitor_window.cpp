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
#include "ui/mqtt_status.h"

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
  // Each cycle goes into the log with its time and, when fresh, its position, and to the broker
  // when the settings name one.
  auto* publishing = new CyclePublishing(window->Recorder(), gsmlog::ProgramLogWriter(), gps);
  state.publishing = publishing;
  window->Recorder().SetBeforeSeal(
      [publishing](gsmlog::TLogWriter& log) { survey::HoldCycleRecords(log, publishing->Stamp()); });
  // The run's events, between the dispatcher and the publishing (which passes every value on to
  // the log) and in front of it as the run's observer; never deleted, like the window.
  auto* events = new history::RunEvents(*publishing, *publishing, gsmlog::ProgramLogWriter(),
                                        [window, publishing](const history::CellEvent& event) {
                                          window->Ops().ShowEvent(event);
                                          publishing->Event(event);
                                        });
  events->SetThreshold(SavedLevelThreshold());
  state.liveEvents = events;
  InstallHistoryShortcut(*window);
  parser::SetDisplaySink(&window->Ops());
  parser::SetLogSink(events);
  core::InitCore(window->Ops(), events);
  return *window;
}

}  // namespace ui
