#include "ui/app_state.h"

#include <QPointer>
#include <QWidget>

namespace ui {
namespace {
bool g_viewerOnly = false;
QPointer<QWidget> g_mainWindow;
}  // namespace

bool ViewerOnly() { return g_viewerOnly; }
void SetViewerOnly(bool viewerOnly) { g_viewerOnly = viewerOnly; }
QWidget* MainWindow() { return g_mainWindow.data(); }
void SetMainWindow(QWidget* window) { g_mainWindow = window; }

}  // namespace ui
