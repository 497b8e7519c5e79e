#include "ui/monitor_window.h"

#include "core/log_recorder.h"
#include "core/monitor.h"
#include "gps/gps_link.h"
#include "log/log_writer.h"
#include "parser/measurement_fields.h"
#include "survey/cycle_stamp.h"
#include "ui/app_state.h"
#include "ui/frmNetMonitor.h"
#include "ui/gps_status.h"
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
  parser::SetDisplaySink(&window->Ops());
  parser::SetLogSink(&gsmlog::ProgramLogWriter());
  core::InitCore(window->Ops(), &window->Recorder());
  return *window;
}

}  // namespace ui
