// The history with many cells, real widgets offscreen: the legend hides, shows only and
// highlights cells; "Только активная" keeps the serving cell's points; the events' captions stay
// in their lane above the traces on a one-hour drive past 80 cells, clustered with counts; the
// threshold is drawn; the time axis names the date and keeps its labels whole; the plot's menu
// saves PNG and SVG, copies and prints; the cells' statistics sort.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPrinter>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <set>

#include "history/cell_history.h"
#include "tests/support/typed_cells.h"
#include "ui/cell_statistics_window.h"
#include "ui/history_legend.h"
#include "ui/history_window.h"
#include "ui/plot_image.h"
#include "ui/trace_look.h"

namespace {

using history::CellHistory;
using testsupport::CycleOf;
using Cells = std::vector<radio::Cell>;

radio::Cell Cell(int channel, const char* bsic, int level) { return testsupport::GsmCell(channel, bsic, level); }

// 600 cycles a second apart: 62/7.3 serves at -60 with 70/1.1 at -90 beside it, 70/1.1 serves at
// -55 from cycle 300 on; 80/2.2 is always a neighbour at -100.
void FillThree(CellHistory& h) {
  for (int i = 0; i < 600; ++i) {
    const bool after = i >= 300;
    h.AddCycle(1000.0 + i, CycleOf({after ? Cell(70, "1.1", -55) : Cell(62, "7.3", -60),
                                    after ? Cell(62, "7.3", -75) : Cell(70, "1.1", -90), Cell(80, "2.2", -105)}));
  }
  // Two events at one moment.
  h.AddEvent(1300, {history::EventKind::servingCell, "62", "70", 0, {}});
  h.AddEvent(1300, {history::EventKind::areaChanged, "1", "2", 0, {}});
}

// A one-hour drive from 13:30 past 80 cells: each heard for about five minutes around its own
// moment, at most -50 dBm close by, falling off with distance and fading a few dB; a cell 4 dB
// stronger than the serving one (or any, when the serving one is lost) takes over, and each change
// of the serving cell is an event, as are the level's falls below -95 and rises back.
double FillDrive(CellHistory& h) {
  const double start = static_cast<double>(QDateTime(QDate(2026, 12, 11), QTime(13, 30)).toSecsSinceEpoch());
  constexpr int kCells = 80;
  int serving = -1;
  bool low = false;
  for (int s = 0; s < 3600; ++s) {
    struct Heard {
      int cell;
      int level;
    };
    std::vector<Heard> heard;
    for (int c = 0; c < kCells; ++c) {
      const double centre = 20 + c * 3600.0 / kCells;
      const double distance = std::abs(s - centre);
      if (distance > 160) continue;
      const double wobble = 3 * std::sin(s / 13.0 + c) + 1.5 * std::sin(s / 4.1 + 3 * c);
      heard.push_back({c, static_cast<int>(std::lround(-52 - distance * 0.3 + wobble - (c % 5) * 3))});
    }
    std::sort(heard.begin(), heard.end(), [](const Heard& a, const Heard& b) { return a.level > b.level; });
    Cells cells;
    for (const Heard& cell : heard) {
      const std::string bsic = std::to_string(cell.cell % 8) + "." + std::to_string(cell.cell / 8 % 8);
      cells.push_back(Cell(10 + cell.cell * 7 % 115, bsic.c_str(), cell.level));
    }
    const double t = start + s;
    h.AddCycle(t, CycleOf(cells));
    if (heard.empty()) continue;
    const auto servingNow = [&] {
      return std::find_if(heard.begin(), heard.end(), [&](const Heard& cell) { return cell.cell == serving; });
    };
    if (servingNow() == heard.end() || heard.front().level >= servingNow()->level + 4) {
      if (serving >= 0)
        h.AddEvent(
            t, {history::EventKind::servingCell, std::to_string(serving), std::to_string(heard.front().cell), 0, {}});
      serving = heard.front().cell;
    }
    const int level = servingNow()->level;
    if (!low && level < -95) {
      low = true;
      h.AddEvent(t, {history::EventKind::levelLow, {}, {}, -95, {}});
    } else if (low && level > -90) {
      low = false;
      h.AddEvent(t, {history::EventKind::levelRestored, {}, {}, -95, {}});
    }
  }
  return start;
}

bool HasColour(const QImage& image, QColor colour, QRect within = {}) {
  const QRect box = within.isNull() ? image.rect() : within.intersected(image.rect());
  for (int x = box.left(); x <= box.right(); ++x)
    for (int y = box.top(); y <= box.bottom(); ++y)
      if (image.pixelColor(x, y) == colour) return true;
  return false;
}

void Click(QWidget* viewport, QPoint at, bool twice = false) {
  const auto send = [&](QEvent::Type type, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(viewport, &event);
  };
  send(QEvent::MouseButtonPress, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, Qt::NoButton);
  if (!twice) return;
  send(QEvent::MouseButtonDblClick, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, Qt::NoButton);
}

// Keeps the user's settings out of the tests' way.
struct SettingsInTempDir {
  SettingsInTempDir() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path()); }
  QTemporaryDir dir;
};

struct ThreeCells : testing::Test {
  void SetUp() override {
    FillThree(model);
    window.ModelChanged();
    plot->ShowAll();
    window.show();
  }
  CellHistory model;
  ui::HistoryWindow window{model, false};
  ui::HistoryPlot* plot = window.Plot();
  ui::HistoryLegend* legend = window.Legend();
  QPoint EntryAt(int row) const { return legend->visualItemRect(legend->item(row)).center(); }
  // Which of the three cells' colours are on the plot.
  std::vector<bool> Shown() const {
    const QImage image = plot->grab().toImage();
    return {HasColour(image, plot->TraceColour(0)), HasColour(image, plot->TraceColour(1)),
            HasColour(image, plot->TraceColour(2))};
  }
};

TEST_F(ThreeCells, LegendClickHidesAndShowsDoubleClickShowsOnlyOne) {
  using V = std::vector<bool>;
  EXPECT_EQ(Shown(), V({true, true, true}));
  Click(legend->viewport(), EntryAt(0));
  EXPECT_TRUE(plot->TraceHidden(0));
  EXPECT_EQ(Shown(), V({false, true, true}));
  EXPECT_EQ(legend->item(0)->foreground().color(), legend->palette().color(QPalette::Disabled, QPalette::Text));
  Click(legend->viewport(), EntryAt(0));
  EXPECT_EQ(Shown(), V({true, true, true}));

  Click(legend->viewport(), EntryAt(1), true);
  EXPECT_EQ(Shown(), V({false, true, false})) << "a double click shows only that cell";
  Click(legend->viewport(), EntryAt(1), true);
  EXPECT_EQ(Shown(), V({true, true, true})) << "and again, all";

  // The entry's menu does the same.
  std::unique_ptr<QMenu> menu(legend->BuildMenu(2));
  menu->findChild<QAction*>("actShowOnlyCell")->trigger();
  EXPECT_EQ(Shown(), V({false, false, true}));
  EXPECT_FALSE(plot->HoverText(QPoint(plot->width() / 4, plot->height() / 2)).contains("62 / 7.3"))
      << "a hidden cell is not in the hover";
  menu->findChild<QAction*>("actShowAllCells")->trigger();
  EXPECT_EQ(Shown(), V({true, true, true}));

  // A new connection's history starts with every cell shown, its third cell too.
  Click(legend->viewport(), EntryAt(2));
  model.Clear(CellHistory::Axis::time);
  model.AddCycle(5000, CycleOf({Cell(90, "3.3", -70), Cell(91, "3.4", -80)}));
  window.ModelChanged();
  model.AddCycle(5001, CycleOf({Cell(90, "3.3", -70), Cell(92, "3.5", -80)}));
  window.ModelChanged();
  ASSERT_EQ(legend->count(), 3);
  EXPECT_FALSE(plot->TraceHidden(2));
  EXPECT_EQ(legend->item(2)->foreground().color(), legend->palette().color(QPalette::Active, QPalette::Text));
}

TEST_F(ThreeCells, HoveringAnEntryHighlightsItsTrace) {
  QMouseEvent move(QEvent::MouseMove, EntryAt(2), legend->viewport()->mapToGlobal(EntryAt(2)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(legend->viewport(), &move);
  EXPECT_EQ(plot->Highlighted(), 2);
  const QImage image = plot->grab().toImage();
  EXPECT_TRUE(HasColour(image, plot->TraceColour(2)));
  EXPECT_FALSE(HasColour(image, plot->TraceColour(0))) << "the others are faded";
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(legend, &leave);
  EXPECT_EQ(plot->Highlighted(), -1);
  EXPECT_TRUE(HasColour(plot->grab().toImage(), plot->TraceColour(0)));
}

TEST_F(ThreeCells, OnlyActiveShowsTheServingCellsPointsInTheirColours) {
  window.findChild<QCheckBox*>("chkOnlyActive")->setChecked(true);
  EXPECT_TRUE(plot->OnlyActive());
  const QImage image = plot->grab().toImage();
  EXPECT_TRUE(HasColour(image, plot->TraceColour(0)));
  EXPECT_TRUE(HasColour(image, plot->TraceColour(1)));
  EXPECT_FALSE(HasColour(image, plot->TraceColour(2))) << "80/2.2 never served";
  // 62/7.3 served in the first half only: not in the second.
  const QRect area = plot->PlotArea();
  const int middle = area.left() + static_cast<int>((1300 - plot->From()) / (plot->To() - plot->From()) * area.width());
  EXPECT_FALSE(HasColour(image, plot->TraceColour(0), QRect(QPoint(middle + 3, area.top()), area.bottomRight())));
  const QString hover = plot->HoverText(QPoint(middle + 40, area.center().y()));
  EXPECT_TRUE(hover.contains("70 / 1.1  900: -55 dBm (активная)")) << hover.toStdString();
  EXPECT_FALSE(hover.contains("62 / 7.3")) << hover.toStdString();
}

TEST_F(ThreeCells, EveryEventOfAMomentInItsTooltipAndCaption) {
  const std::vector<ui::CaptionCluster> captions = plot->Captions();
  ASSERT_EQ(captions.size(), 1u);
  EXPECT_EQ(captions[0].text, "События: 2");
  const QString lane = plot->HoverText(captions[0].rect.center());
  EXPECT_TRUE(lane.contains("Смена соты: 62 -> 70")) << lane.toStdString();
  EXPECT_TRUE(lane.contains("1 -> 2")) << lane.toStdString();
  const QString line = plot->HoverText(QPoint(captions[0].rect.left(), plot->PlotArea().center().y()));
  EXPECT_EQ(line, lane) << "on the plot at that time, the same";
}

TEST_F(ThreeCells, ThePlotsMenuSavesPngAndSvgCopiesAndPrints) {
  // The right button opens it.
  QContextMenuEvent click(QContextMenuEvent::Mouse, plot->PlotArea().center(),
                          plot->mapToGlobal(plot->PlotArea().center()));
  QApplication::sendEvent(plot, &click);
  QMenu* shown = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* menu = qobject_cast<QMenu*>(top); menu != nullptr && menu->isVisible()) shown = menu;
  ASSERT_NE(shown, nullptr);
  EXPECT_NE(shown->findChild<QAction*>("actSavePlotSvg"), nullptr);
  shown->close();

  QTemporaryDir dir;
  const auto saveThrough = [&](const char* action, const QString& name) {
    const QString path = dir.filePath(name);
    // The dialog, once it shows, is given the file and accepted.
    auto* timer = new QTimer(&window);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, path] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr || !dialog->isVisible()) return;
      EXPECT_EQ(dialog->objectName(), "dlgSavePlot");
      // As typed: selectFile leaves alone a name field that has the focus.
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText(path);
      static_cast<QDialog*>(dialog)->accept();
      timer->deleteLater();
    });
    timer->start();
    std::unique_ptr<QMenu> menu(window.BuildPlotMenu());
    menu->findChild<QAction*>(action)->trigger();
    return path;
  };
  const QImage png(saveThrough("actSavePlotPng", "plot.png"));
  EXPECT_EQ(png.size(), plot->size());
  EXPECT_TRUE(HasColour(png, plot->TraceColour(1)));
  QFile svg(saveThrough("actSavePlotSvg", "plot.svg"));
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  const QByteArray text = svg.readAll();
  EXPECT_TRUE(text.contains("<svg")) << "an SVG";
  EXPECT_TRUE(text.contains("polyline")) << "the traces stay lines";

  std::unique_ptr<QMenu> menu(window.BuildPlotMenu());
  QApplication::clipboard()->clear();
  menu->findChild<QAction*>("actCopyPlot")->trigger();
  EXPECT_EQ(QApplication::clipboard()->image().size(), plot->size());
  EXPECT_NE(menu->findChild<QAction*>("actPrintPlot"), nullptr);

  // What printing draws: the plot on a landscape page.
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath("plot.pdf"));
  ASSERT_TRUE(ui::PrintPlot(*plot, printer));
  QFile pdf(dir.filePath("plot.pdf"));
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  EXPECT_TRUE(pdf.read(5) == "%PDF-");
  EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
}

TEST_F(ThreeCells, StatisticsFromThePlotsMenuSortByAColumn) {
  std::unique_ptr<QMenu> menu(window.BuildPlotMenu());
  menu->findChild<QAction*>("actCellStatistics")->trigger();
  auto* statistics = window.findChild<ui::CellStatisticsWindow*>("CellStatisticsWindow");
  ASSERT_NE(statistics, nullptr);
  EXPECT_EQ(statistics->windowTitle(), "Статистика по сотам");
  QAbstractItemModel* rows = statistics->Table()->model();
  ASSERT_EQ(rows->rowCount(), 3);
  const auto column = [&](int c) {
    QStringList texts;
    for (int r = 0; r < rows->rowCount(); ++r) texts << rows->index(r, c).data().toString();
    return texts;
  };
  // Each cell served 300 s or none; by the highest level, strongest first; by the mean, weakest first.
  EXPECT_EQ(column(7), QStringList({"5:00", "5:00", "0:00"}));
  statistics->Table()->sortByColumn(6, Qt::DescendingOrder);
  EXPECT_EQ(column(0), QStringList({"70 / 1.1  900", "62 / 7.3  900", "80 / 2.2  900"}));
  EXPECT_EQ(column(6), QStringList({"-55", "-60", "-105"}));
  statistics->Table()->sortByColumn(5, Qt::AscendingOrder);
  EXPECT_EQ(column(5), QStringList({"-105.0", "-72.5", "-67.5"}));
  EXPECT_EQ(column(3), QStringList({"600", "600", "600"}));
}

TEST(HistoryThreshold, LiveFromTheSpinBoxALogFromTheSettings) {
  SettingsInTempDir settings;
  ui::SaveLevelThreshold(-95);
  CellHistory model;
  FillThree(model);
  const auto lineAt = [](ui::HistoryPlot* plot, int dbm) {
    const QImage image = plot->grab().toImage();
    const QRect area = plot->PlotArea();
    int on = 0;
    for (int x = area.left() + 1; x < area.right(); ++x)
      on += image.pixelColor(x, plot->LevelY(dbm)) == plot->ThresholdColour();
    return on > area.width() * 3 / 4;
  };
  ui::HistoryWindow log(model, false);
  log.show();
  EXPECT_EQ(log.Plot()->Threshold(), -95);
  EXPECT_TRUE(lineAt(log.Plot(), -95));

  ui::HistoryWindow live(model, true);
  live.show();
  EXPECT_TRUE(lineAt(live.Plot(), -95));
  live.findChild<QSpinBox*>("spnThreshold")->setValue(-85);
  EXPECT_EQ(live.Plot()->Threshold(), -85);
  EXPECT_TRUE(lineAt(live.Plot(), -85));
  EXPECT_FALSE(lineAt(live.Plot(), -95));
}

TEST(HistoryTimeAxis, DateAcrossMidnightAndForALogAndNoLabelCut) {
  CellHistory model;
  const double midnight = static_cast<double>(QDateTime(QDate(2026, 12, 12), QTime(0, 0)).toSecsSinceEpoch());
  for (int i = -1800; i < 1800; i += 2) model.AddCycle(midnight + i, CycleOf({Cell(62, "7.3", -70)}));
  struct Case {
    bool log;
    double from, to;
    bool date;
  };
  const Case cases[] = {
      {false, midnight - 1200, midnight - 600, false},  // live, one day
      {false, midnight - 600, midnight + 600, true},    // live, across midnight
      {true, midnight + 100, midnight + 700, true},     // a log's history, always
  };
  for (const Case& c : cases) {
    ui::HistoryWindow window(model, !c.log);
    window.show();
    for (const int width : {900, 713, 1260}) {
      window.resize(width, 520);
      QApplication::processEvents();
      ui::HistoryPlot* plot = window.Plot();
      plot->SetRange(c.from, c.to);
      const auto labels = plot->AxisLabels();
      ASSERT_GE(labels.size(), 2u) << width;
      for (const auto& label : labels) {
        SCOPED_TRACE(label.text.toStdString());
        EXPECT_EQ(label.text.contains('.'), c.date);
        EXPECT_TRUE(plot->rect().contains(label.rect)) << "never cut at an end";
        EXPECT_GE(label.rect.width(), plot->fontMetrics().horizontalAdvance(label.text));
      }
    }
  }
}

TEST(ManyCells, CaptionsStayInTheirLaneAboveEveryTraceClusteredWithCounts) {
  CellHistory model;
  FillDrive(model);
  ASSERT_EQ(model.Traces().size(), 80u);
  ui::HistoryWindow window(model, false);
  window.resize(1280, 720);
  window.show();
  ui::HistoryPlot* plot = window.Plot();
  const QImage image = plot->grab().toImage();
  if (const char* path = std::getenv("HISTORY_SCREENSHOT")) window.grab().save(path);

  const std::vector<ui::CaptionCluster> captions = plot->Captions();
  ASSERT_FALSE(captions.empty());
  std::size_t events = 0;
  bool counted = false;
  std::set<QRgb> traceColours;
  for (const history::Trace& trace : model.Traces()) traceColours.insert(plot->TraceColour(trace.colour).rgb());
  for (std::size_t i = 0; i < captions.size(); ++i) {
    const ui::CaptionCluster& caption = captions[i];
    SCOPED_TRACE(caption.text.toStdString());
    events += caption.markers.size();
    counted = counted || caption.markers.size() > 1;
    EXPECT_LT(caption.rect.bottom(), plot->PlotArea().top()) << "above the traces";
    EXPECT_TRUE(plot->rect().contains(caption.rect));
    if (i > 0) {
      EXPECT_GT(caption.rect.left(), captions[i - 1].rect.right()) << "captions never overlap";
    }
    for (int x = caption.rect.left(); x <= caption.rect.right(); ++x)
      for (int y = caption.rect.top(); y <= caption.rect.bottom(); ++y)
        ASSERT_EQ(traceColours.count(image.pixel(x, y)), 0u) << "no trace drawn under a caption, at " << x << "," << y;
    // The caption's tooltip lists each of its events.
    EXPECT_EQ(plot->HoverText(caption.rect.center()).count('\n') + 1, static_cast<qsizetype>(caption.markers.size()));
  }
  EXPECT_EQ(events, model.Markers().size()) << "every event in view has a caption";
  EXPECT_TRUE(counted) << "a dense hour clusters events";
}

TEST(ManyCells, TheFirstEightyTracesLookPairwiseDifferent) {
  std::set<std::pair<QRgb, QList<qreal>>> looks;
  for (int i = 0; i < 80; ++i) {
    const QPen pen = ui::TracePen(i);
    looks.insert({pen.color().rgb(), pen.dashPattern()});
  }
  EXPECT_EQ(looks.size(), 80u);
}

}  // namespace
