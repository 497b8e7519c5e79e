#include "ui/monitor_window.h"

#include "core/log_recorder.h"
#include "core/monitor.h"
#include "log/log_writer.h"
#include "parser/measurement_fields.h"
#include "ui/app_state.h"
#include "ui/frmNetMonitor.h"
#include "ui/main_window_ops.h"

namespace ui {

Tfrm& CreateMonitorWindow() {
  // Never deleted: the monitor thread may still be finishing when the event loop ends.
  auto* window = new Tfrm(nullptr, gsmlog::ProgramLogWriter());
  SetMainWindow(window);
  parser::SetDisplaySink(&window->Ops());
  parser::SetLogSink(&gsmlog::ProgramLogWriter());
  core::InitCore(window->Ops(), &window->Recorder());
  return *window;
}

}  // namespace ui
