#include "app/monitor_mode.h"

#include <QApplication>
#include <cstdlib>

#include "ui/app_state.h"
#include "ui/frmNetMonitor.h"
#include "ui/monitor_window.h"
#include "ui/viewer.h"

namespace app {

int RunMonitorMode() {
  ui::SetViewerOnly(false);
  ui::Tfrm& window = ui::CreateMonitorWindow();
  ui::TfrmViewer viewer;
  window.show();
  QApplication::exec();

  // Closed while a connection was still opening its port: that thread ends with the process, as
  // it would, without waiting for a window that is gone.
  if (!ui::EndMonitorWindow()) std::_Exit(0);
  return 0;
}

}  // namespace app
