// The history window with real widgets offscreen: a trace and a legend line per cell, zoom with
// the wheel around the pointer, scrolling by dragging (which stops following), following the
// newest cycle, hover values and events, markers drawn where they happened; the alignment mode's
// digits, highest and lowest with their reset, and the tone's state; a log's history from the
// report window's menu.

#include "ui/history_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <filesystem>
#include <fstream>
#include <memory>

#include "history/cell_history.h"
#include "log/log_record.h"
#include "log/log_writer.h"
#include "survey/cycle_stamp.h"
#include "tests/support/modal_closer.h"
#include "tests/support/qt_wait.h"
#include "tests/support/typed_cells.h"
#include "ui/alignment_panel.h"
#include "ui/app_state.h"
#include "ui/export_action.h"
#include "ui/gps_status.h"
#include "ui/viewer.h"

namespace {

using history::CellHistory;
using testsupport::CycleOf;
using Cells = std::vector<radio::Cell>;

radio::Cell Cell(int channel, const char* bsic, int level) { return testsupport::GsmCell(channel, bsic, level); }

// 600 cycles a second apart from t = 1000: the serving cell 62/7.3 at -60, a neighbour 70/1.1 at
// -90 whose rank swaps every cycle with 80/2.2 at -100, and a reselection at cycle 300 (70/1.1
// serves from then on, at -55).
void Fill(CellHistory& h) {
  for (int i = 0; i < 600; ++i) {
    Cells cells(3);
    const bool after = i >= 300;
    cells[0] = after ? Cell(70, "1.1", -55) : Cell(62, "7.3", -60);
    cells[static_cast<std::size_t>(1 + i % 2)] = after ? Cell(62, "7.3", -75) : Cell(70, "1.1", -90);
    cells[static_cast<std::size_t>(2 - i % 2)] = Cell(80, "2.2", -100);
    h.AddCycle(1000.0 + i, CycleOf(cells));
  }
  h.AddEvent(1300, {history::EventKind::servingCell, "62", "70", 0, {}});
}

void Wheel(QWidget* widget, QPoint at, int steps) {
  QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * steps), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget, &event);
}

void Mouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
  QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

struct HistoryFixture : testing::Test {
  void SetUp() override { Fill(model); }
  CellHistory model;
};

TEST_F(HistoryFixture, ATraceAndALegendLinePerCellAndMarkersWhereTheyHappened) {
  ui::HistoryWindow window(model, false);
  window.show();
  EXPECT_EQ(window.windowTitle(), "История измерений");
  ASSERT_EQ(window.Legend()->count(), 3);
  EXPECT_EQ(window.Legend()->item(0)->text(), "62 / 7.3  900");
  EXPECT_EQ(window.Legend()->item(1)->text(), "70 / 1.1  900  (активная)");
  EXPECT_EQ(window.Legend()->item(2)->text(), "80 / 2.2  900");
  EXPECT_EQ(window.Alignment(), nullptr) << "a log's history has no alignment mode";

  ui::HistoryPlot* plot = window.Plot();
  EXPECT_FALSE(plot->Following());
  EXPECT_LT(plot->From(), 1000);
  EXPECT_GT(plot->To(), 1599);
  const QImage image = plot->grab().toImage();
  // Each cell's colour is on the plot at its level; the rank swaps make no extra trace.
  for (int i = 0; i < 3; ++i) {
    const QColor colour = ui::HistoryPlot::TraceColour(i);
    bool found = false;
    for (int x = 0; x < image.width() && !found; ++x)
      for (int y = 0; y < image.height() && !found; ++y) found = image.pixelColor(x, y) == colour;
    EXPECT_TRUE(found) << i;
  }
  EXPECT_FALSE(plot->HoverText(QPoint(5, 5)).contains("dBm")) << "outside the plot";

  // Hovering: each cell's level at that moment; at the marker, the event.
  const auto xOf = [&](double t) {
    const QRect area = plot->rect().adjusted(44, 8, -8, -22);
    return area.left() + static_cast<int>((t - plot->From()) / (plot->To() - plot->From()) * area.width());
  };
  const QString before = plot->HoverText(QPoint(xOf(1100), 50));
  EXPECT_TRUE(before.contains("62 / 7.3  900: -60 dBm (активная)")) << before.toStdString();
  EXPECT_TRUE(before.contains("70 / 1.1  900: -90 dBm")) << before.toStdString();
  EXPECT_TRUE(before.contains("80 / 2.2  900: -100 dBm")) << before.toStdString();
  const QString at = plot->HoverText(QPoint(xOf(1300), 50));
  EXPECT_TRUE(at.contains("Смена соты: 62 -> 70")) << at.toStdString();
}

TEST_F(HistoryFixture, WheelZoomsAroundThePointerAndDragScrolls) {
  ui::HistoryWindow window(model, false);
  window.show();
  ui::HistoryPlot* plot = window.Plot();
  const QPoint middle(plot->width() / 2, plot->height() / 2);
  const double span = plot->To() - plot->From();
  const double anchorBefore = plot->From() + (middle.x() - 44) * span / (plot->width() - 52);
  Wheel(plot, middle, 3);
  const double zoomed = plot->To() - plot->From();
  EXPECT_NEAR(zoomed, span * 0.512, span * 0.01);
  const double anchorAfter = plot->From() + (middle.x() - 44) * zoomed / (plot->width() - 52);
  EXPECT_NEAR(anchorAfter, anchorBefore, 0.01) << "the time under the pointer stays";
  // Zooming in far has a floor; zooming out far stops at the whole run.
  Wheel(plot, middle, 100);
  EXPECT_GE(plot->To() - plot->From(), 5 - 1e-9);
  Wheel(plot, middle, -100);
  EXPECT_LE(plot->To() - plot->From(), 600 * 1.2 + 1e-6);

  // Dragging to the right shows earlier times, by the span per pixel.
  Wheel(plot, middle, 2);
  const double from = plot->From();
  const double perPixel = (plot->To() - plot->From()) / (plot->width() - 52);
  Mouse(plot, QEvent::MouseButtonPress, middle, Qt::LeftButton);
  Mouse(plot, QEvent::MouseMove, middle + QPoint(100, 0), Qt::LeftButton);
  Mouse(plot, QEvent::MouseButtonRelease, middle + QPoint(100, 0), Qt::NoButton);
  EXPECT_NEAR(plot->From(), from - 100 * perPixel, perPixel * 0.01);
}

TEST(HistoryWindow, FollowKeepsTheNewestCycleInViewUntilDragged) {
  CellHistory model;
  ui::HistoryWindow window(model, true);
  window.show();
  auto* follow = window.findChild<QCheckBox*>("chkFollow");
  ASSERT_NE(follow, nullptr);
  EXPECT_TRUE(follow->isChecked());
  for (int i = 0; i < 2000; ++i) {
    model.AddCycle(5000.0 + i, CycleOf({Cell(62, "7.3", -60 - i % 20)}));
    if (i % 100 == 99) window.ModelChanged();
  }
  ui::HistoryPlot* plot = window.Plot();
  EXPECT_GT(plot->To(), 6999);
  EXPECT_LE(plot->To() - plot->From(), 600 + 1e-6) << "live, the newest ten minutes";
  const QPoint middle(plot->width() / 2, plot->height() / 2);
  Mouse(plot, QEvent::MouseButtonPress, middle, Qt::LeftButton);
  Mouse(plot, QEvent::MouseMove, middle + QPoint(50, 0), Qt::LeftButton);
  Mouse(plot, QEvent::MouseButtonRelease, middle + QPoint(50, 0), Qt::NoButton);
  EXPECT_FALSE(follow->isChecked()) << "a drag leaves the newest behind";
  const double to = plot->To();
  model.AddCycle(7000, CycleOf({Cell(62, "7.3", -60)}));
  window.ModelChanged();
  EXPECT_EQ(plot->To(), to);
  follow->setChecked(true);
  EXPECT_GT(plot->To(), 7000);
}

TEST_F(HistoryFixture, ShowTimeCentresTheViewThereAndStopsFollowing) {
  ui::HistoryWindow window(model, true);
  window.show();
  ui::HistoryPlot* plot = window.Plot();
  ASSERT_TRUE(plot->Following());
  const double span = plot->To() - plot->From();
  EXPECT_TRUE(window.ShowTime(QDateTime::fromSecsSinceEpoch(1100)));
  EXPECT_FALSE(plot->Following());
  EXPECT_FALSE(window.findChild<QCheckBox*>("chkFollow")->isChecked());
  EXPECT_NEAR((plot->From() + plot->To()) / 2, 1100, 1e-6);
  EXPECT_NEAR(plot->To() - plot->From(), span, 1e-6);

  CellHistory numbered(CellHistory::Axis::cycleNumber);
  numbered.AddCycle(0, CycleOf({Cell(62, "7.3", -60)}));
  ui::HistoryWindow log(numbered, false);
  EXPECT_FALSE(log.ShowTime(QDateTime::fromSecsSinceEpoch(1100))) << "cycle numbers have no time";
}

TEST(AlignmentMode, DigitsHighestLowestResetAndTheTone) {
  CellHistory model;
  ui::HistoryWindow window(model, true);
  window.show();
  ui::AlignmentPanel* panel = window.Alignment();
  ASSERT_NE(panel, nullptr);
  EXPECT_FALSE(panel->isVisible()) << "the mode is off until asked for";
  window.findChild<QPushButton*>("btnAlignment")->click();
  EXPECT_TRUE(panel->isVisible());
  auto* level = panel->findChild<QLabel*>("lblAlignLevel");
  auto* highest = panel->findChild<QLabel*>("lblAlignHighest");
  auto* lowest = panel->findChild<QLabel*>("lblAlignLowest");
  EXPECT_EQ(level->text(), "(n/a)");
  EXPECT_GE(level->font().pixelSize(), 40);
  for (const int dbm : {-80, -71, -90, -75}) {
    model.AddCycle(static_cast<double>(model.CycleCount()), CycleOf({Cell(62, "7.3", dbm)}));
    window.ModelChanged();
  }
  EXPECT_EQ(level->text(), "-75 dBm");
  EXPECT_EQ(highest->text(), "-71 dBm");
  EXPECT_EQ(lowest->text(), "-90 dBm");
  panel->findChild<QPushButton*>("btnAlignReset")->click();
  EXPECT_EQ(highest->text(), "-75 dBm");
  EXPECT_EQ(lowest->text(), "-75 dBm");
  model.AddCycle(static_cast<double>(model.CycleCount()), CycleOf({Cell(62, "7.3", -66)}));
  window.ModelChanged();
  EXPECT_EQ(highest->text(), "-66 dBm");
  EXPECT_EQ(lowest->text(), "-75 dBm");
  // A cycle without the serving level keeps the figures.
  model.AddCycle(static_cast<double>(model.CycleCount()), radio::Cycle{});
  window.ModelChanged();
  EXPECT_EQ(level->text(), "(n/a)");
  EXPECT_EQ(highest->text(), "-66 dBm");

  EXPECT_EQ(ui::AlignmentPanel::TonePitch(-113), 300);
  EXPECT_EQ(ui::AlignmentPanel::TonePitch(-47), 1620);
  EXPECT_LT(ui::AlignmentPanel::TonePitch(-90), ui::AlignmentPanel::TonePitch(-89));
  // The tone is offered where a device can play it, and otherwise says why.
  auto* tone = panel->findChild<QCheckBox*>("chkTone");
  auto* why = panel->findChild<QLabel*>("lblToneState");
  if (panel->ToneUnavailable().isEmpty()) {
    EXPECT_TRUE(tone->isEnabled());
    EXPECT_FALSE(why->isVisible());
  } else {
    EXPECT_FALSE(tone->isEnabled());
    EXPECT_TRUE(why->isVisible());
    EXPECT_TRUE(why->text().startsWith("Звук недоступен: ")) << why->text().toStdString();
  }
}

TEST(LogHistory, FromTheReportWindowsMenuWithItsEvents) {
  QTemporaryDir dir;
  const std::string log = dir.filePath(QStringLiteral("run.log")).toStdString();
  {
    gsmlog::TLogWriter writer;
    ASSERT_TRUE(writer.Create(log).ok);
    const auto t0 = std::chrono::system_clock::from_time_t(1'796'845'695);
    for (int n = 0; n < 20; ++n) {
      writer.Field(parser::fcChannel, 0, parser::TextValue(n < 10 ? "62" : "70"));
      writer.Field(parser::fcBaseStation, 0, parser::TextValue("7.3"));
      writer.Field(parser::fcRxLevel, 0, parser::TextValue("-70"));
      if (n == 10)
        writer.Hold(gsmlog::kCycleEventCode, history::FormatEventRecord({history::EventKind::servingCell, "62", "70", 0,
                                                                         t0 + std::chrono::seconds(n)}));
      survey::HoldCycleRecords(writer, {t0 + std::chrono::seconds(n), std::nullopt});
      writer.Seal();
    }
    ASSERT_TRUE(writer.Complete());
  }
  QWidget mainWindow;
  ui::SetViewerOnly(false);
  ui::SetMainWindow(&mainWindow);
  ui::TfrmViewer viewer;
  viewer.SetReport("report", log);
  std::unique_ptr<QMenu> menu(ui::BuildReportMenu(viewer, QPoint(1, 1)));
  QAction* action = nullptr;
  for (QAction* a : menu->actions())
    if (a->objectName() == "actLogHistory") action = a;
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text(), "История измерений");
  action->trigger();
  auto* window = viewer.findChild<ui::HistoryWindow*>("LogHistoryWindow");
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "История измерений — run.log") << "a log's history names its file";
  EXPECT_EQ(window->Legend()->count(), 2);
  EXPECT_FALSE(window->Plot()->Following());
  window->close();  // deletes the window and its model
  EXPECT_TRUE(testsupport::WaitUntil([&] { return viewer.findChild<ui::HistoryWindow*>() == nullptr; }));

  // A file that is no log: the message, and no window.
  const std::string junk = dir.filePath(QStringLiteral("junk.log")).toStdString();
  { std::ofstream(junk) << "not a log"; }
  test_support::ModalCloser closer;
  EXPECT_EQ(ui::OpenLogHistory(junk, &viewer), nullptr);
  EXPECT_TRUE(closer.Seen());
  ui::SetMainWindow(nullptr);
}

}  // namespace

namespace {

// The level threshold is kept in the same file as the GPS and broker settings, and in no other.
TEST(LevelThreshold, KeptInTheProgramsOneSettingsFile) {
  const QTemporaryDir config;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
  ui::SaveGpsSettings(ui::GpsSettings{});
  ui::SaveLevelThreshold(-87);
  EXPECT_EQ(ui::SavedLevelThreshold(), -87);
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(config.path().toStdString())) {
    if (entry.is_regular_file()) files.push_back(entry.path().lexically_relative(config.path().toStdString()));
  }
  EXPECT_EQ(files, std::vector<std::string>{"ostrin/ostrin_gsmmon.conf"});
}

}  // namespace
