// The map window with real widgets offscreen: a drive's track in the level colours over a tile set
// the test draws itself (a folder of XYZ tiles, an MBTiles file), the plain grid and its scale bar
// without a source, hover values, a click that moves the history, zoom and drag, the live feed
// from the main window's menu and shortcut, a log's map from the report window's menu, and tiles
// from a URL through the on-disk cache with the program's User-Agent (a local HTTP server).

#include "ui/map_window.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>
#include <map>
#include <thread>
#include <tuple>

#include "app/startup.h"
#include "history/cell_history.h"
#include "map/tile_url.h"
#include "survey/level_colour.h"
#include "tests/support/qt_wait.h"
#include "tests/support/survey_log.h"
#include "tests/support/typed_cells.h"
#include "ui/app_state.h"
#include "ui/export_action.h"
#include "ui/frmNetMonitor.h"
#include "ui/gps_indicator.h"
#include "ui/history_window.h"
#include "ui/main_window_ops.h"
#include "ui/map_source_settings.h"
#include "ui/map_tiles.h"
#include "ui/map_view.h"
#include "ui/monitor_window.h"
#include "ui/viewer.h"

namespace {

using testsupport::WaitUntil;

// The drive: 40 cycles two seconds apart heading east-north-east from 55.75 N 37.60 E, about 80 m
// apart, the serving level falling from -50 to -110 dBm; another cell serves from cycle 20.
constexpr int kPoints = 40;
const auto kStart = std::chrono::system_clock::from_time_t(1'796'845'695);

int LevelOf(int i) { return -50 - i * 60 / (kPoints - 1); }
map::LatLon PlaceOf(int i) { return {55.75 + 0.0003 * i, 37.60 + 0.0012 * i}; }
std::chrono::system_clock::time_point TimeOf(int i) { return kStart + std::chrono::seconds(2 * i); }

radio::Cycle DriveCycle(int i) {
  radio::Cycle cycle =
      testsupport::CycleOf({testsupport::GsmCell(i < 20 ? 62 : 70, i < 20 ? "7.3" : "1.1", LevelOf(i), 28641),
                            testsupport::GsmCell(80, "2.2", -95)});
  cycle.n = i + 1;
  cycle.time = TimeOf(i);
  cycle.position = radio::Position{PlaceOf(i).latitude, PlaceOf(i).longitude};
  return cycle;
}

history::CellEvent EventAt(int i) {
  if (i == 20) return {history::EventKind::servingCell, "62", "70", 0, TimeOf(i)};
  return {history::EventKind::levelLow, "", "", -90, TimeOf(i)};
}

void FillDrive(map::DriveTrack& track) {
  for (int i = 0; i < kPoints; ++i) {
    track.AddCycle(history::AxisTime(TimeOf(i)), DriveCycle(i));
    if (i == 20 || i == 30) track.AddEvent(history::AxisTime(TimeOf(i)), EventAt(i));
  }
}

QColor ScaleColour(int level) {
  const survey::Colour c = survey::ScaleColour(level);
  return QColor(static_cast<int>(c & 0xff), static_cast<int>((c >> 8) & 0xff), static_cast<int>((c >> 16) & 0xff));
}

// A tile of a made-up town laid out in world pixels of its zoom, so neighbouring tiles fit (drawn
// in the tile's own coordinates: the raster engine is not exact millions of pixels out):
// ground, parks, a river and a street grid.
QImage DrawTile(int zoom, int x, int y) {
  QImage image(256, 256, QImage::Format_RGB32);
  image.fill(QColor(238, 234, 224));
  QPainter painter(&image);
  const double left = x * 256.0, top = y * 256.0;
  // Parks fill some of the blocks between the streets (every 320 px across, 280 px down).
  for (int bx = static_cast<int>(left / 320) - 1; bx <= static_cast<int>((left + 256) / 320) + 1; ++bx) {
    for (int by = static_cast<int>(top / 280) - 1; by <= static_cast<int>((top + 256) / 280) + 1; ++by) {
      if ((bx * 7 + by * 3 + zoom) % 5 == 0)
        painter.fillRect(QRectF(bx * 320 + 100 - left, by * 280 + 60 - top, 320, 280), QColor(200, 228, 190));
    }
  }
  // A river every 900 px down, its bends sampled at the same world points by every tile.
  QPainterPath river;
  for (double band = std::floor(top / 900) - 1; band <= std::floor(top / 900) + 1; ++band) {
    const double first = std::floor((left - 64) / 8) * 8;
    for (double wx = first; wx <= left + 320; wx += 8) {
      const QPointF p(wx - left, (band + 0.5) * 900 + 90 * std::sin(wx / 260) - top);
      if (wx == first) {
        river.moveTo(p);
      } else {
        river.lineTo(p);
      }
    }
  }
  painter.setRenderHint(QPainter::Antialiasing);
  painter.strokePath(river, QPen(QColor(170, 205, 230), 46));
  painter.setRenderHint(QPainter::Antialiasing, false);
  for (const auto& [width, colour] : {std::pair{12, QColor(200, 196, 186)}, std::pair{8, QColor(255, 255, 255)}}) {
    painter.setPen(QPen(colour, width));
    for (double wx = std::floor(left / 320) * 320 + 100; wx < left + 300; wx += 320)
      painter.drawLine(QPointF(wx - left, -10), QPointF(wx - left, 266));
    for (double wy = std::floor(top / 280) * 280 + 60; wy < top + 300; wy += 280)
      painter.drawLine(QPointF(-10, wy - top), QPointF(266, wy - top));
  }
  return image;
}

using TileSet = std::map<std::tuple<int, int, int>, QImage>;

// Tiles around the drive at the zoom that shows it whole and the next, a screen and a half wide.
TileSet MakeTiles() {
  TileSet tiles;
  const map::LatLon middle = PlaceOf(kPoints / 2);
  for (int zoom = 14; zoom <= 15; ++zoom) {
    const map::TileId centre = map::TileAt(map::ToPixel(middle, zoom), zoom);
    for (int x = centre.x - 4; x <= centre.x + 4; ++x)
      for (int y = centre.y - 3; y <= centre.y + 3; ++y) tiles[{zoom, x, y}] = DrawTile(zoom, x, y);
  }
  return tiles;
}

QByteArray Png(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

void SaveFolder(const TileSet& tiles, const QString& root) {
  for (const auto& [id, image] : tiles) {
    const auto& [zoom, x, y] = id;
    const QString folder = QStringLiteral("%1/%2/%3").arg(root).arg(zoom).arg(x);
    QDir().mkpath(folder);
    ASSERT_TRUE(image.save(QStringLiteral("%1/%2.png").arg(folder).arg(y)));
  }
}

void SaveMbtiles(const TileSet& tiles, const QString& file) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.toUtf8().constData(), &db), SQLITE_OK);
  sqlite3_exec(db,
               "CREATE TABLE metadata (name text, value text); INSERT INTO metadata VALUES ('format', 'png');"
               "CREATE TABLE tiles (zoom_level integer, tile_column integer, tile_row integer, tile_data blob);",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO tiles VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
  for (const auto& [id, image] : tiles) {
    const auto& [zoom, x, y] = id;
    const QByteArray png = Png(image);
    sqlite3_bind_int(insert, 1, zoom);
    sqlite3_bind_int(insert, 2, x);
    sqlite3_bind_int(insert, 3, (1 << zoom) - 1 - y);  // rows from the south
    sqlite3_bind_blob(insert, 4, png.constData(), static_cast<int>(png.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_close(db);
}

// The settings, the cache and the data folder of each test in a folder of its own.
struct MapFixture : testing::Test {
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ::setenv("XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8().constData(), 1);
    ::setenv("XDG_CACHE_HOME", (dir.path() + "/cache").toUtf8().constData(), 1);
    ::setenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8().constData(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path() + "/config");
    FillDrive(track);
  }
  QTemporaryDir dir;
  map::DriveTrack track;
};

// The view's pixel nearest to a point of the drive, and to the middle of the stretch after it.
QPoint PointPixel(const ui::MapView& view, int i) { return view.PixelOf(PlaceOf(i)).toPoint(); }
QPoint StretchPixel(const ui::MapView& view, int i) {
  const QPointF a = view.PixelOf(PlaceOf(i)), b = view.PixelOf(PlaceOf(i + 1));
  return QPoint(static_cast<int>(std::floor((a.x() + b.x()) / 2)), static_cast<int>(std::floor((a.y() + b.y()) / 2)));
}

bool Near(QColor a, QColor b, int tolerance) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

// Each stretch of the drive in the colour of the level where it starts (away from the marks).
void ExpectLevelColours(const ui::MapView& view, const QImage& shot) {
  for (const int i : {1, 6, 12, 17, 24, 28, 34}) {
    const QPoint at = StretchPixel(view, i);
    ASSERT_TRUE(shot.rect().contains(at)) << i;
    EXPECT_EQ(shot.pixelColor(at).name(), ScaleColour(LevelOf(i)).name()) << "stretch " << i << " at " << LevelOf(i);
  }
}

class MapOverTiles : public MapFixture, public testing::WithParamInterface<const char*> {};

TEST_P(MapOverTiles, TheTrackInLevelColoursOverTheTiles) {
  const TileSet tiles = MakeTiles();
  ui::MapSourceSettings sources;
  if (std::string(GetParam()) == "folder") {
    SaveFolder(tiles, dir.path() + "/tiles");
    sources.folder = dir.path() + "/tiles";
  } else {
    SaveMbtiles(tiles, dir.path() + "/town.mbtiles");
    sources.mbtiles = dir.path() + "/town.mbtiles";
  }
  ui::SaveMapSourceSettings(sources);
  ui::MapWindow window(track, false);
  window.show();
  QApplication::processEvents();
  const ui::MapView& view = *window.View();
  const QImage shot = window.View()->grab().toImage();
  ExpectLevelColours(view, shot);
  EXPECT_TRUE(window.StatusLine()->text().contains(sources.folder.isEmpty() ? "town.mbtiles" : "tiles/"))
      << window.StatusLine()->text().toStdString();

  // Off the track the tiles show: where the tile is even around a pixel, the view has its colour.
  const map::WorldPixel centre = map::ToPixel(view.Centre(), view.Zoom());
  int compared = 0;
  for (int y = 10; y < shot.height() - 60; y += 23) {
    for (int x = 10; x < shot.width() - 10; x += 29) {
      bool nearTrack = false;
      for (int i = 0; i < kPoints; ++i) {
        const QPointF d = view.PixelOf(PlaceOf(i)) - QPointF(x, y);
        nearTrack = nearTrack || std::hypot(d.x(), d.y()) < 24;
      }
      if (nearTrack) continue;
      const double wx = centre.x + x + 0.5 - shot.width() / 2.0, wy = centre.y + y + 0.5 - shot.height() / 2.0;
      const auto tile = tiles.find({view.Zoom(), static_cast<int>(wx / 256), static_cast<int>(wy / 256)});
      ASSERT_NE(tile, tiles.end());
      const int px = static_cast<int>(wx) % 256, py = static_cast<int>(wy) % 256;
      if (px < 3 || py < 3 || px > 252 || py > 252) continue;
      const QColor expected = tile->second.pixelColor(px, py);
      bool even = true;
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) even = even && tile->second.pixelColor(px + dx, py + dy) == expected;
      if (!even) continue;
      EXPECT_TRUE(Near(shot.pixelColor(x, y), expected, 3))
          << x << "," << y << ": " << shot.pixelColor(x, y).name().toStdString() << " for "
          << expected.name().toStdString();
      ++compared;
    }
  }
  EXPECT_GT(compared, 100);
  EXPECT_EQ(window.Tiles().Requests(), 0) << "no URL: nothing fetched";

  if (const char* folder = std::getenv("GSMMON_SCREENSHOT_DIR"); folder != nullptr && sources.mbtiles.isEmpty()) {
    window.resize(960, 640);
    window.View()->ShowAll();
    QApplication::processEvents();
    EXPECT_TRUE(window.grab().save(QString::fromUtf8(folder) + "/screenshot-map.png"));
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, MapOverTiles, testing::Values("folder", "mbtiles"));

TEST_F(MapFixture, WithoutASourceAPlainGridAndAScaleBar) {
  // A file that cannot be opened is said, and the map falls back to the grid.
  ui::SaveMapSourceSettings({dir.path() + "/missing.mbtiles", QString(), QString()});
  ui::MapWindow window(track, false);
  window.show();
  QApplication::processEvents();
  EXPECT_TRUE(window.StatusLine()->text().contains("Не удалось открыть файл MBTiles"))
      << window.StatusLine()->text().toStdString();
  ui::MapView& view = *window.View();
  ExpectLevelColours(view, view.grab().toImage());

  struct Case {
    int zoom;
    const char* text;
    int pixels;  // the bar's length
  };
  const Case cases[] = {{5, "200 км", 73}, {10, "10 км", 116}, {15, "200 м", 74}, {19, "20 м", 119}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zoom);
    view.SetView({55.75, 37.60}, c.zoom);
    EXPECT_EQ(view.ScaleText(), c.text);
    const QImage shot = view.grab().toImage();
    const int y = shot.height() - 12;
    for (int x = 11; x < 10 + c.pixels; x += 4) EXPECT_LT(shot.pixelColor(x, y).lightness(), 60) << x;
    EXPECT_GT(shot.pixelColor(10 + c.pixels + 3, y).lightness(), 200);
    // Beyond the bar and the track: the grid's ground or its lines, nothing else.
    const QColor ground = shot.pixelColor(shot.width() - 3, 3);
    EXPECT_TRUE(ground == QColor(246, 246, 242) || ground == QColor(218, 218, 212)) << ground.name().toStdString();
  }
  // The grid has lines at the bar's length apart.
  view.SetView({55.75, 37.60}, 15);
  const QImage shot = view.grab().toImage();
  int lines = 0;
  for (int x = 0; x < shot.width(); ++x) lines += shot.pixelColor(x, 2) == QColor(218, 218, 212);
  EXPECT_GE(lines, shot.width() / 74 - 1);
  EXPECT_LE(lines, shot.width() / 74 + 1);
}

TEST_F(MapFixture, HoverTellsACyclesValuesAndTheEvents) {
  ui::MapWindow window(track, false);
  window.show();
  QApplication::processEvents();
  ui::MapView& view = *window.View();
  const QString point = view.HoverText(PointPixel(view, 5));
  for (const QString& part :
       {QDateTime::fromSecsSinceEpoch(std::chrono::system_clock::to_time_t(TimeOf(5))).toString("dd.MM.yyyy HH:mm:ss"),
        QString("цикл 6"), QString("%1 dBm").arg(LevelOf(5)), QString("62 / 7.3"), QString("сота 28641"),
        QString("55.75150, 37.60600")})
    EXPECT_TRUE(point.contains(part)) << part.toStdString() << " in " << point.toStdString();
  EXPECT_TRUE(view.HoverText(PointPixel(view, 25)).contains("70 / 1.1"));
  const QString changed = view.HoverText(PointPixel(view, 20));
  EXPECT_TRUE(changed.contains("Смена соты") && changed.contains("70 / 1.1")) << changed.toStdString();
  EXPECT_TRUE(view.HoverText(PointPixel(view, 30)).contains("-90"));
  EXPECT_TRUE(view.HoverText(PointPixel(view, 0) + QPoint(0, 60)).isEmpty());

  // The real tooltip event.
  const QPoint at = PointPixel(view, 5);
  QHelpEvent help(QEvent::ToolTip, at, view.mapToGlobal(at));
  QApplication::sendEvent(&view, &help);
  EXPECT_TRUE(QToolTip::text().contains(QString("%1 dBm").arg(LevelOf(5)))) << QToolTip::text().toStdString();
}

void Mouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
  QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

TEST_F(MapFixture, AClickMovesTheHistoryADragPansAndTheWheelZoomsAroundThePointer) {
  for (int i = 0; i < kPoints; ++i) {
    ui::AddLiveCycle(DriveCycle(i));
    ui::AddLiveMapCycle(DriveCycle(i));
  }
  ui::MapWindow& window = ui::OpenLiveMap(nullptr);
  ui::MapView& view = *window.View();
  QApplication::processEvents();
  EXPECT_TRUE(view.Following());
  EXPECT_NEAR(view.PixelOf(PlaceOf(kPoints - 1)).x(), view.width() / 2.0, 1) << "the newest position in the middle";
  view.SetFollowing(false);
  view.ShowAll();

  const QPoint at = PointPixel(view, 10);
  Mouse(&view, QEvent::MouseButtonPress, at, Qt::LeftButton);
  Mouse(&view, QEvent::MouseButtonRelease, at, Qt::NoButton);
  ui::HistoryWindow& history = ui::OpenLiveHistory(nullptr);
  EXPECT_FALSE(history.Plot()->Following());
  const double picked = history::AxisTime(TimeOf(10));
  EXPECT_NEAR((history.Plot()->From() + history.Plot()->To()) / 2, picked, 0.01);

  // A drag moves the map by as much and picks nothing.
  const QPointF before = view.PixelOf(PlaceOf(10));
  Mouse(&view, QEvent::MouseButtonPress, at, Qt::LeftButton);
  Mouse(&view, QEvent::MouseMove, at + QPoint(30, 10), Qt::LeftButton);
  Mouse(&view, QEvent::MouseMove, at + QPoint(60, 20), Qt::LeftButton);
  Mouse(&view, QEvent::MouseButtonRelease, at + QPoint(60, 20), Qt::NoButton);
  EXPECT_NEAR(view.PixelOf(PlaceOf(10)).x(), before.x() + 60, 0.01);
  EXPECT_NEAR(view.PixelOf(PlaceOf(10)).y(), before.y() + 20, 0.01);
  EXPECT_NEAR((history.Plot()->From() + history.Plot()->To()) / 2, picked, 0.01);

  // The wheel: a zoom step in keeps the place under the pointer where it is.
  const int zoom = view.Zoom();
  const QPoint pointer = PointPixel(view, 30);
  const QPointF under = view.PixelOf(PlaceOf(30));
  QWheelEvent wheel(pointer, view.mapToGlobal(pointer), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(&view, &wheel);
  EXPECT_EQ(view.Zoom(), zoom + 1);
  EXPECT_NEAR(view.PixelOf(PlaceOf(30)).x(), under.x(), 1.0);
  EXPECT_NEAR(view.PixelOf(PlaceOf(30)).y(), under.y(), 1.0);

  // Following again: the next position comes into the middle.
  window.findChild<QCheckBox*>("chkFollow")->setChecked(true);
  radio::Cycle next = DriveCycle(kPoints);
  ui::AddLiveMapCycle(next);
  EXPECT_NEAR(view.PixelOf(PlaceOf(kPoints)).x(), view.width() / 2.0, 1);
  EXPECT_NEAR(view.PixelOf(PlaceOf(kPoints)).y(), view.height() / 2.0, 1);
}

TEST_F(MapFixture, FromTheMainWindowsMenuAndShortcutAndTheReportWindowsMenu) {
  app::NameApplication();
  ui::Tfrm& form = ui::CreateMonitorWindow();
  form.show();
  emit form.customContextMenuRequested(QPoint(10, 10));
  QMenu* menu = form.findChild<QMenu*>("GpsMenu");
  ASSERT_NE(menu, nullptr);
  QAction* action = menu->findChild<QAction*>("actMap");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text(), "Карта");
  EXPECT_EQ(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_M));
  menu->close();
  // The shortcut is no other window's.
  for (QShortcut* other : form.findChildren<QShortcut*>()) {
    if (other->objectName() != "MapShortcut") {
      EXPECT_NE(other->key(), QKeySequence(Qt::CTRL | Qt::Key_M)) << other->objectName().toStdString();
    }
  }
  auto* shortcut = form.findChild<QShortcut*>("MapShortcut");
  ASSERT_NE(shortcut, nullptr);
  emit shortcut->activated();
  auto* window = form.findChild<ui::MapWindow*>("LiveMapWindow");
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "Карта");
  EXPECT_NE(window->findChild<ui::GpsIndicator*>(), nullptr) << "the live map shows the GPS state";

  // Cycles and events of the run, told from the monitor thread's side.
  std::thread([&form] {
    form.Ops().ShowEvent({history::EventKind::connectionStarted, "", "", 0, TimeOf(0)});
    for (int i = 0; i < 3; ++i) form.Ops().ShowMapCycle(DriveCycle(i));
  }).join();
  ASSERT_TRUE(WaitUntil([&] { return window->StatusLine()->text().startsWith("Точек: 3"); }));
  EXPECT_TRUE(ui::EndMonitorWindow());

  // A log's map from the report window.
  const std::string log = (dir.path() + "/drive.log").toStdString();
  ASSERT_TRUE(testsupport::WriteSurveyLog(log));
  QWidget mainWindow;
  ui::SetViewerOnly(false);
  ui::SetMainWindow(&mainWindow);
  ui::TfrmViewer viewer;
  viewer.SetReport("report", log);
  std::unique_ptr<QMenu> reportMenu(ui::BuildReportMenu(viewer, QPoint(1, 1)));
  QAction* logMap = reportMenu->findChild<QAction*>("actLogMap");
  ASSERT_NE(logMap, nullptr);
  EXPECT_EQ(logMap->text(), "Карта");
  EXPECT_TRUE(logMap->isEnabled());
  logMap->trigger();
  auto* logWindow = viewer.findChild<ui::MapWindow*>("LogMapWindow");
  ASSERT_NE(logWindow, nullptr);
  EXPECT_EQ(logWindow->windowTitle(), "Карта: drive.log");
  EXPECT_EQ(logWindow->findChild<ui::GpsIndicator*>(), nullptr) << "today's fix says nothing of a log";
  EXPECT_TRUE(logWindow->StatusLine()->text().startsWith("Точек: 1"));
  // Its click opens the log's own history at that time.
  const QPoint at = logWindow->View()->PixelOf({55.7558, 37.6173}).toPoint();
  Mouse(logWindow->View(), QEvent::MouseButtonPress, at, Qt::LeftButton);
  Mouse(logWindow->View(), QEvent::MouseButtonRelease, at, Qt::NoButton);
  auto* history = viewer.findChild<ui::HistoryWindow*>("LogHistoryWindow");
  ASSERT_NE(history, nullptr);
  EXPECT_NEAR((history->Plot()->From() + history->Plot()->To()) / 2, history::AxisTime(testsupport::kSurveyCycleTime),
              1.0);
  logWindow->close();
  ui::SetMainWindow(nullptr);
}

TEST_F(MapFixture, TheSourceDialogOffersOkOnlyForAUsableAddressAndKeepsTheChoice) {
  ui::MapWindow window(track, false);
  std::unique_ptr<QMenu> menu(window.BuildMenu());
  QAction* source = menu->findChild<QAction*>("actMapSource");
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->text(), "Источник карты...");

  ui::TfrmMapSource dialog(ui::LoadMapSourceSettings());
  EXPECT_EQ(dialog.windowTitle(), "Источник карты");
  struct Case {
    const char* url;
    bool usable;
  };
  for (const Case& c :
       {Case{"", true}, Case{"https://tile.example.org/{z}/{x}/{y}.png", true},
        Case{"http://h:8080/{z}/{x}/{-y}.jpg", true}, Case{"https://tile.example.org/{z}/{x}.png", false},
        Case{"tile.example.org/{z}/{x}/{y}.png", false}}) {
    dialog.txtUrl->setText(c.url);
    EXPECT_EQ(dialog.btnOk->isEnabled(), c.usable) << c.url;
    EXPECT_EQ(dialog.lblWhy->text().isEmpty(), c.usable) << c.url;
  }
  dialog.txtMbtiles->setText("  /data/town.mbtiles ");
  dialog.txtUrl->setText("https://tile.example.org/{z}/{x}/{y}.png");
  ui::SaveMapSourceSettings(dialog.Settings());
  const ui::MapSourceSettings kept = ui::LoadMapSourceSettings();
  EXPECT_EQ(kept.mbtiles, "/data/town.mbtiles");
  EXPECT_EQ(kept.folder, "");
  EXPECT_EQ(kept.url, "https://tile.example.org/{z}/{x}/{y}.png");
  window.ReloadSources();
  EXPECT_TRUE(window.StatusLine()->text().contains("town.mbtiles, https://tile.example.org/{z}/{x}/{y}.png"))
      << window.StatusLine()->text().toStdString();
}

// A tile server on a loopback port: each request's first line and User-Agent, a PNG for every
// tile of zoom 3 and 404 for any other.
class TileServer : public QObject {
 public:
  TileServer() {
    server_.listen(QHostAddress::LocalHost);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          buffer_[socket] += socket->readAll();
          if (!buffer_[socket].contains("\r\n\r\n")) return;
          const QList<QByteArray> lines = buffer_[socket].split('\n');
          requests << lines.front().trimmed();
          for (const QByteArray& line : lines)
            if (line.toLower().startsWith("user-agent:")) agents << line.mid(11).trimmed();
          const bool known = lines.front().startsWith("GET /3/");
          const QByteArray body = known ? Png(DrawTile(3, 4, 2)) : QByteArray("no such tile");
          socket->write((known ? "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                        QByteArray("Content-Length: ") + QByteArray::number(body.size()) +
                        "\r\nConnection: close\r\n\r\n" + body);
          socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
  }
  QString Url() const { return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(server_.serverPort()); }
  QList<QByteArray> requests, agents;

 private:
  QTcpServer server_;
  std::map<QTcpSocket*, QByteArray> buffer_;
};

TEST_F(MapFixture, UrlTilesComeOnceThroughTheCacheWithTheProgramsName) {
  TileServer server;
  const QString cache = dir.path() + "/tiles";
  {
    ui::MapTiles tiles(cache);
    tiles.SetSources({QString(), QString(), server.Url()});
    EXPECT_TRUE(tiles.Tile({3, 4, 2}).isNull());  // asked, not there yet
    EXPECT_TRUE(tiles.Tile({3, 4, 2}).isNull());
    EXPECT_TRUE(tiles.Tile({5, 1, 1}).isNull());
    ASSERT_TRUE(WaitUntil([&] { return !tiles.Tile({3, 4, 2}).isNull() && server.requests.size() == 2; }));
    EXPECT_EQ(tiles.Tile({3, 4, 2}).pixelColor(10, 10), DrawTile(3, 4, 2).pixelColor(10, 10));
    QApplication::processEvents();
    EXPECT_TRUE(tiles.Tile({5, 1, 1}).isNull());  // refused once: not asked again
    EXPECT_EQ(tiles.Requests(), 2);
  }
  ASSERT_EQ(server.requests.size(), 2);
  EXPECT_EQ(server.requests[0], "GET /3/4/2.png HTTP/1.1");
  EXPECT_EQ(server.requests[1], "GET /5/1/1.png HTTP/1.1");
  for (const QByteArray& agent : server.agents) EXPECT_EQ(agent, ui::MapTiles::UserAgent());
  EXPECT_TRUE(ui::MapTiles::UserAgent().startsWith("ostrin_gsmmon/1.")) << ui::MapTiles::UserAgent().toStdString();
  const QString cached =
      cache + "/" + QString::fromStdString(map::TileCachePath(server.Url().toStdString(), {3, 4, 2}));
  EXPECT_TRUE(QFileInfo(cached).isFile()) << cached.toStdString();

  // The next run takes it from the disk; and with no URL nothing is asked at all.
  ui::MapTiles again(cache);
  again.SetSources({QString(), QString(), server.Url()});
  EXPECT_FALSE(again.Tile({3, 4, 2}).isNull());
  again.SetSources({QString(), dir.path() + "/no-such-folder", QString()});
  EXPECT_FALSE(again.HasSource());
  EXPECT_TRUE(again.Tile({3, 4, 2}).isNull());
  QApplication::processEvents();
  EXPECT_EQ(again.Requests(), 0);
  EXPECT_EQ(server.requests.size(), 2);
  EXPECT_TRUE(ui::MapTiles::DefaultCacheFolder().endsWith("/ostrin-gsmmon/tiles"));
  EXPECT_TRUE(ui::MapTiles::DefaultCacheFolder().startsWith(dir.path() + "/cache"));
}

}  // namespace
