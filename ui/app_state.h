#pragma once
// Process-wide facts the windows share: the mode and the main window.

class QWidget;

namespace ui {

// True when the program runs as a report viewer only (started with an argument). Set once.
bool ViewerOnly();
void SetViewerOnly(bool viewerOnly);

// The monitor window in monitor mode, the owner of message boxes; null in viewer-only mode.
QWidget* MainWindow();
void SetMainWindow(QWidget* window);

}  // namespace ui
