#pragma once
// The map window ("Карта"): the drive's track over background tiles from the source the user sets
// (or a plain grid), coloured by the serving level, with the run's events; live it follows the
// current position as cycles arrive; opened for a log it shows that drive. A click on the track
// moves the history window to that cycle's time. Window's thread only.

#include <QKeySequence>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "map/drive_track.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenu;

namespace ui {

class MapTiles;
class MapView;

class MapWindow : public QWidget {
  Q_OBJECT
 public:
  // Shows track, which must outlive the window; live: the monitor's own (followed).
  MapWindow(const map::DriveTrack& track, bool live, QWidget* parent = nullptr);
  ~MapWindow() override;

  // New cycles or events in the track.
  void ModelChanged();
  // Takes the tile sources from the settings again.
  void ReloadSources();
  // What a click on the track does with the cycle's time on the history's axis.
  void SetPick(std::function<void(double)> pick) { pick_ = std::move(pick); }

  MapView* View() const { return view_; }
  MapTiles& Tiles() const { return *tiles_; }
  QLabel* StatusLine() const { return status_; }
  // The view's context menu ("Источник карты...", "Весь маршрут").
  QMenu* BuildMenu();

 private:
  void UpdateStatus();

  const map::DriveTrack& track_;
  MapTiles* tiles_ = nullptr;
  MapView* view_ = nullptr;
  QCheckBox* follow_ = nullptr;
  QLabel* status_ = nullptr;
  QString problems_;
  std::function<void(double)> pick_;
};

// The live map of monitor mode, on the window's thread: each completed cycle and each event.
void AddLiveMapCycle(const radio::Cycle& cycle);
void AddLiveMapEvent(const history::CellEvent& event);
// Opens (or raises) the live map over parent; a click moves the live history.
MapWindow& OpenLiveMap(QWidget* parent);
// Opens a map of a log over parent; a click moves a history window of the same log (a log without
// cycle times opens it where it was). Null, with the message shown, when the log cannot be read.
MapWindow* OpenLogMap(const std::string& fileName, QWidget* parent);

// The main window's shortcut for the map.
inline const QKeySequence kMapShortcut{Qt::CTRL | Qt::Key_M};
// "Карта" on a context menu: the live map over parent, or the map of a log (disabled when there is
// none).
QAction* AddLiveMapAction(QMenu& menu, QWidget* parent);
QAction* AddLogMapAction(QMenu& menu, QWidget* parent, std::string fileName);
// The shortcut on the main window.
void InstallMapShortcut(QWidget& window);

// The live map as a consumer of the window's run is LiveMapFeed (ui/main_window_ops.h).

}  // namespace ui
