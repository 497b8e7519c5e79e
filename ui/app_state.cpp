#include "ui/app_state.h"

#include <QTranslator>

#include "gps/gps_link.h"

namespace ui {

WindowState& State() {
  static WindowState* const state = new WindowState;
  return *state;
}

bool ViewerOnly() { return State().viewerOnly; }
void SetViewerOnly(bool viewerOnly) { State().viewerOnly = viewerOnly; }
QWidget* MainWindow() { return State().mainWindow.data(); }
void SetMainWindow(QWidget* window) { State().mainWindow = window; }

}  // namespace ui
