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
  auto* window = new Tfrm;
  SetMainWindow(window);
  static MainWindowOps ops(*window);
  static gps::GpsLink gps;
  ApplyGpsSettings(gps, LoadGpsSettings());
  InstallGpsStatus(*window, gps);
  // Each cycle goes into the log with its time and, when fresh, its position.
  static core::LogRecorder recorder(
      ops, [] { return ops.RecordName(); }, [](const std::string& name) { ops.ShowRecording(name); },
      [] { survey::HoldCycleRecords(survey::StampCycle(gps.Fresh())); });
  parser::SetDisplaySink(&ops);
  parser::SetLogSink(&gsmlog::LogFieldSink());
  core::InitCore(ops, &recorder);
  return *window;
}

}  // namespace ui
