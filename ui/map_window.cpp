#include "ui/map_window.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <cmath>
#include <memory>

#include "history/cell_history.h"
#include "platform/text_encoding.h"
#include "ui/app_state.h"
#include "ui/gps_indicator.h"
#include "ui/history_window.h"
#include "ui/local_file_name.h"
#include "ui/map_source_settings.h"
#include "ui/map_tiles.h"
#include "ui/map_view.h"
#include "ui/message_box.h"

namespace ui {

struct LiveMap {
  map::DriveTrack track;
  QPointer<MapWindow> window;
};

namespace {

LiveMap& Live() {
  WindowState& state = State();
  if (state.liveMap == nullptr) state.liveMap = new LiveMap;
  return *state.liveMap;
}

// A time on the history's axis (seconds since the epoch) as the history window takes it.
QDateTime AxisDateTime(double time) {
  return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(time * 1000)));
}

QString SourceText(const MapSourceSettings& sources) {
  QStringList parts;
  if (!sources.mbtiles.isEmpty()) parts << QFileInfo(sources.mbtiles).fileName();
  if (!sources.folder.isEmpty()) parts << QFileInfo(sources.folder).fileName() + QLatin1Char('/');
  if (!sources.url.isEmpty()) parts << sources.url;
  return parts.isEmpty() ? QStringLiteral("Подложка: нет (сетка)") : QStringLiteral("Подложка: ") + parts.join(", ");
}

}  // namespace

MapWindow::MapWindow(const map::DriveTrack& track, bool live, QWidget* parent)
    : QWidget(parent, Qt::Window), track_(track) {
  setObjectName(live ? QStringLiteral("LiveMapWindow") : QStringLiteral("LogMapWindow"));
  setWindowTitle(QStringLiteral("Карта"));
  setAttribute(Qt::WA_DeleteOnClose, !live);
  resize(900, 640);
  tiles_ = new MapTiles(QString(), this);

  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  layout->addLayout(bar);
  if (live) {
    follow_ = new QCheckBox(QStringLiteral("Следить"), this);
    follow_->setObjectName(QStringLiteral("chkFollow"));
    follow_->setToolTip(QStringLiteral("Держать в виду текущее местоположение"));
    bar->addWidget(follow_);
  }
  auto* all = new QPushButton(QStringLiteral("Весь маршрут"), this);
  all->setObjectName(QStringLiteral("btnShowAll"));
  bar->addWidget(all);
  bar->addStretch(1);
  auto* hint = new QLabel(QStringLiteral("Колесо: масштаб, перетаскивание: прокрутка, щелчок: время в истории"), this);
  hint->setEnabled(false);
  bar->addWidget(hint);

  view_ = new MapView(track, *tiles_, this);
  view_->SetMarkNewest(live);
  layout->addWidget(view_, 1);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("MapStatus"));
  layout->addWidget(status_);
  // Where the track grows now depends on the fix: its state is in sight while driving.
  if (live) layout->addWidget(new GpsIndicator(this));

  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu* menu = BuildMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(view_->mapToGlobal(at));
  });
  connect(all, &QPushButton::clicked, this, [this] {
    view_->SetFollowing(false);
    view_->ShowAll();
  });
  if (follow_ != nullptr) {
    follow_->setChecked(true);
    view_->SetFollowing(true);
    connect(follow_, &QCheckBox::toggled, view_, &MapView::SetFollowing);
    connect(view_, &MapView::followChanged, follow_, &QCheckBox::setChecked);
  }
  connect(view_, &MapView::pointPicked, this, [this](double time) {
    if (pick_) pick_(time);
  });
  ReloadSources();
  ModelChanged();
}

MapWindow::~MapWindow() = default;

QMenu* MapWindow::BuildMenu() {
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("MapMenu"));
  QAction* source = menu->addAction(QStringLiteral("Источник карты..."), this, [this] {
    if (EditMapSource(this)) ReloadSources();
  });
  source->setObjectName(QStringLiteral("actMapSource"));
  QAction* all = menu->addAction(QStringLiteral("Весь маршрут"), this, [this] {
    view_->SetFollowing(false);
    view_->ShowAll();
  });
  all->setObjectName(QStringLiteral("actShowAll"));
  return menu;
}

void MapWindow::ReloadSources() {
  problems_ = tiles_->SetSources(LoadMapSourceSettings()).join(QStringLiteral("; "));
  UpdateStatus();
  view_->update();
}

void MapWindow::ModelChanged() {
  view_->ModelChanged();
  UpdateStatus();
}

void MapWindow::UpdateStatus() {
  QString text = QStringLiteral("Точек: %1   ").arg(track_.Points().size()) + SourceText(tiles_->Sources());
  if (!problems_.isEmpty()) text += QStringLiteral("   ") + problems_;
  status_->setText(text);
}

void AddLiveMapCycle(const radio::Cycle& cycle) {
  LiveMap& live = Live();
  live.track.AddCycle(history::AxisTime(cycle.time), cycle);
  if (live.window && cycle.position) live.window->ModelChanged();
}

void AddLiveMapEvent(const history::CellEvent& event) {
  LiveMap& live = Live();
  // A new connection starts a new drive.
  if (event.kind == history::EventKind::connectionStarted) live.track.Clear(map::DriveTrack::Axis::time);
  live.track.AddEvent(history::AxisTime(event.time), event);
  if (live.window) live.window->ModelChanged();
}

MapWindow& OpenLiveMap(QWidget* parent) {
  LiveMap& live = Live();
  if (!live.window) {
    live.window = new MapWindow(live.track, true, parent);
    live.window->SetPick([parent](double time) { OpenLiveHistory(parent).ShowTime(AxisDateTime(time)); });
  }
  live.window->show();
  live.window->raise();
  live.window->activateWindow();
  return *live.window;
}

MapWindow* OpenLogMap(const std::string& fileName, QWidget* parent) {
  auto track = std::make_unique<map::DriveTrack>();
  const map::TrackLoadResult loaded = map::LoadDriveTrack(fileName, *track);
  // A damaged log still shows the cycles before the damage; an unreadable one nothing.
  if (!loaded.ok && loaded.cycles == 0) {
    ShowError(loaded.error);
    return nullptr;
  }
  auto* window = new MapWindow(*track, false, parent);
  window->setWindowTitle(QStringLiteral("Карта: ") + QFileInfo(ShownFileName(fileName)).fileName());
  // The track lives as long as its window.
  QObject::connect(window, &QObject::destroyed, [held = track.release()] { delete held; });
  // The history of the same log, opened on the first click and reused.
  auto history = std::make_shared<QPointer<HistoryWindow>>();
  window->SetPick([parent, fileName, history](double time) {
    if (!*history) *history = OpenLogHistory(fileName, parent);
    if (HistoryWindow* shown = *history) {
      shown->show();
      shown->raise();
      shown->ShowTime(AxisDateTime(time));
    }
  });
  window->show();
  window->raise();
  return window;
}

QAction* AddLiveMapAction(QMenu& menu, QWidget* parent) {
  QAction* action = menu.addAction(QStringLiteral("Карта"), parent, [parent] { OpenLiveMap(parent); });
  action->setObjectName(QStringLiteral("actMap"));
  action->setShortcut(kMapShortcut);
  return action;
}

QAction* AddLogMapAction(QMenu& menu, QWidget* parent, std::string fileName) {
  QAction* action =
      menu.addAction(QStringLiteral("Карта"), parent, [parent, fileName] { OpenLogMap(fileName, parent); });
  action->setObjectName(QStringLiteral("actLogMap"));
  action->setEnabled(!fileName.empty());
  return action;
}

void InstallMapShortcut(QWidget& window) {
  auto* shortcut = new QShortcut(kMapShortcut, &window);
  shortcut->setObjectName(QStringLiteral("MapShortcut"));
  QObject::connect(shortcut, &QShortcut::activated, &window, [&window] { OpenLiveMap(&window); });
}

}  // namespace ui
