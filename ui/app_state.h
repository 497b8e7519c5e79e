#pragma once
// Process-wide facts the windows share: the mode, the main window, and the rest of the window
// module's process-wide state, touched on the window's thread only, apart from what the members
// say of themselves (docs/threads.md).

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

#include "ui/export_action.h"

class QTranslator;

namespace gps {
class GpsLink;
}

namespace history {
class RunEvents;
}

namespace ui {

class TfrmViewer;
class MqttStatus;
struct LiveHistory;
struct LiveCells;
struct LiveMap;

struct WindowState {
  bool viewerOnly = false;              // ViewerOnly
  QPointer<QWidget> mainWindow;         // MainWindow
  QString logFolder;                    // fixed by SetLogFolder; empty: the data folder's
  TfrmViewer* reportWindow = nullptr;   // the first report window made: ShowLogReport's
  std::unique_ptr<QTranslator> qtbase;  // Qt's own Russian texts, once installed
  bool tahomaRegistered = false;        // the window font, looked for once
  // The monitor window's link to gpsd: made and set on the window's thread before any monitor
  // thread runs; the link itself may be read from any thread (its own lock).
  std::unique_ptr<gps::GpsLink> gps;
  // The broker state of the monitor window's publishing: made with the window, never deleted (a
  // run's publisher may still tell it something as its queue drains after the window is gone).
  MqttStatus* mqtt = nullptr;
  ChooseExportTarget exportChooser;  // SetExportChooser: tests answer the export's file dialog
  // Monitor mode: the live history (made with the window, never deleted) and the run's events,
  // whose threshold the history window sets (an atomic inside; owned by the monitor window's
  // wiring, ui/monitor_window.cpp, null once it is gone).
  LiveHistory* liveHistory = nullptr;
  // Monitor mode: the latest cycle and the modem family for the cells window, and the window
  // (made on first use, never deleted).
  LiveCells* liveCells = nullptr;
  // Monitor mode: the live drive for the map, and its window (made on first use, never deleted).
  LiveMap* liveMap = nullptr;
  history::RunEvents* liveEvents = nullptr;
};

// Made on first use and never destroyed, like the windows it points to.
WindowState& State();

// True when the program runs as a report viewer only (started with an argument). Set once.
bool ViewerOnly();
void SetViewerOnly(bool viewerOnly);

// The monitor window in monitor mode, the owner of message boxes; null in viewer-only mode.
QWidget* MainWindow();
void SetMainWindow(QWidget* window);

}  // namespace ui
