// The live history against the simulated modem with scripted reselections: opened from the
// window's menu and shortcut (no control moves), one trace per channel and BSIC however the grid
// ranks the cells, one marker per change of the serving cell at the time of the cycle that showed
// it, and the same events in the run's log.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "app/startup.h"
#include "core/session.h"
#include "history/cell_history.h"
#include "platform/serial_device.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/qt_wait.h"
#include "ui/frmNetMonitor.h"
#include "ui/history_window.h"
#include "ui/monitor_window.h"

namespace {

namespace fs = std::filesystem;
using testsupport::WaitUntil;

TEST(LiveHistory, ReselectionsGiveOneTracePerCellAndAMarkerEach) {
  testsupport::ModemSimProcess sim({"--seed", "5", "--reselect-every", "3"});
  ASSERT_TRUE(sim.Started());
  const fs::path dir = fs::temp_directory_path() / ("uihist-e2e-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::create_symlink(sim.DevicePath(), dir / "COM1");
  ::setenv(platform::kComDirVariable, dir.c_str(), 1);
  ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  app::NameApplication();
  ui::Tfrm& form = ui::CreateMonitorWindow();
  form.show();
  const QRect placedBefore = form.findChild<QPushButton*>("btnControl")->geometry();

  // The window's menu offers the history; the shortcut opens it.
  emit form.customContextMenuRequested(QPoint(10, 10));
  QMenu* menu = form.findChild<QMenu*>("GpsMenu");
  ASSERT_NE(menu, nullptr);
  QAction* action = menu->findChild<QAction*>("actHistory");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text(), "История измерений");
  menu->close();
  auto* shortcut = form.findChild<QShortcut*>("HistoryShortcut");
  ASSERT_NE(shortcut, nullptr);
  EXPECT_EQ(shortcut->key(), QKeySequence(Qt::CTRL | Qt::Key_H));
  emit shortcut->activated();
  auto* window = form.findChild<ui::HistoryWindow*>("LiveHistoryWindow");
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());

  form.findChild<QPushButton*>("btnControl")->click();
  const history::CellHistory& model = window->Model();
  ASSERT_TRUE(WaitUntil([&] { return model.CycleCount() >= 11; }, std::chrono::seconds(40)));
  // Zooming the history meanwhile leaves the poll alone (its timing is the line-rate benchmark's).
  for (int i = 0; i < 20; ++i) window->Plot()->Zoom(i % 2 ? 1.25 : 0.8, 100);
  const QString logName = form.findChild<QLineEdit*>("txtLog")->text();
  form.findChild<QPushButton*>("btnControl")->click();
  ASSERT_TRUE(WaitUntil([] { return !ui::MonitorSession().MonitorThreadRunning(); }, std::chrono::seconds(20)));
  QApplication::processEvents();
  EXPECT_EQ(form.findChild<QPushButton*>("btnControl")->geometry(), placedBefore);

  // One trace per channel and BSIC, all of them GSM.
  std::set<std::pair<int, int>> keys;
  for (const history::Trace& trace : model.Traces()) {
    EXPECT_TRUE(keys.insert({trace.key.channel, trace.key.id}).second);
    EXPECT_EQ(trace.key.tech, radio::Tech::gsm);
    EXPECT_TRUE(std::is_sorted(trace.cycles.begin(), trace.cycles.end()));
    EXPECT_EQ(std::adjacent_find(trace.cycles.begin(), trace.cycles.end()), trace.cycles.end());
  }
  EXPECT_GE(model.Traces().size(), 2u);

  // The serving cell of each cycle, and where it changed.
  std::map<std::uint32_t, int> servingAt;
  for (std::size_t i = 0; i < model.Traces().size(); ++i) {
    const history::Trace& trace = model.Traces()[i];
    for (std::size_t p = 0; p < trace.cycles.size(); ++p)
      if (trace.serving[p]) servingAt[trace.cycles[p]] = static_cast<int>(i);
  }
  std::vector<double> changes;
  for (auto it = std::next(servingAt.begin()); it != servingAt.end(); ++it)
    if (it->second != std::prev(it)->second) changes.push_back(model.TimeOf(it->first));
  std::vector<double> marked;
  for (const history::Marker& marker : model.Markers())
    if (marker.event.kind == history::EventKind::servingCell) marked.push_back(marker.time);
  ASSERT_GE(changes.size(), 3u) << "a reselection every three cycles";
  ASSERT_EQ(marked.size(), changes.size());
  for (std::size_t i = 0; i < marked.size(); ++i) EXPECT_NEAR(marked[i], changes[i], 0.25) << i;
  EXPECT_EQ(model.Markers().front().event.kind, history::EventKind::connectionStarted);
  EXPECT_EQ(model.Markers().back().event.kind, history::EventKind::connectionEnded);

  // The log of the run has the same cells and the same events, at the same times.
  history::CellHistory fromLog;
  const auto loaded = history::LoadHistory(logName.toStdString(), fromLog);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  EXPECT_EQ(fromLog.Traces().size(), model.Traces().size());
  ASSERT_EQ(fromLog.Markers().size(), model.Markers().size());
  for (std::size_t i = 0; i < model.Markers().size(); ++i) {
    EXPECT_EQ(fromLog.Markers()[i].event.kind, model.Markers()[i].event.kind);
    EXPECT_NEAR(fromLog.Markers()[i].time, model.Markers()[i].time, 0.002);
  }
  EXPECT_TRUE(ui::EndMonitorWindow());
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
