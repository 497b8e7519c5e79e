#include "app/monitor_mode.h"

#include <QApplication>

#include "core/log_recorder.h"
#include "core/monitor.h"
#include "log/log_writer.h"
#include "parser/measurement_fields.h"
#include "ui/app_state.h"
#include "ui/frmNetMonitor.h"
#include "ui/main_window_ops.h"
#include "ui/viewer.h"

namespace app {

int RunMonitorMode() {
  ui::SetViewerOnly(false);
  ui::Tfrm window;
  ui::SetMainWindow(&window);
  ui::MainWindowOps ops(window);
  core::LogRecorder recorder(
      ops, [&ops] { return ops.RecordName(); }, [&ops](const std::string& name) { ops.ShowRecording(name); });
  parser::SetDisplaySink(&ops);
  parser::SetLogSink(&gsmlog::LogFieldSink());
  core::InitCore(ops, &recorder);

  ui::TfrmViewer viewer;
  window.show();
  QApplication::exec();

  parser::SetDisplaySink(nullptr);
  parser::SetLogSink(nullptr);
  ui::SetMainWindow(nullptr);
  return 0;
}

}  // namespace app
