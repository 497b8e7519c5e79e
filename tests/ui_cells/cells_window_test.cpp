// The cells window with real widgets offscreen: each technology's cells in a table of its own
// columns, the serving cell's identity, the modem family on the status line, tables without cells
// hidden; kept for a window opened later; and live from the main window's menu and shortcut,
// against the simulated modem, without moving a control.

#include "ui/cells_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/startup.h"
#include "core/session.h"
#include "platform/serial_device.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/qt_wait.h"
#include "tests/support/typed_cells.h"
#include "ui/frmNetMonitor.h"
#include "ui/main_window_ops.h"
#include "ui/monitor_window.h"

namespace {

namespace fs = std::filesystem;
using radio::Tech;
using testsupport::WaitUntil;

QStringList Headers(const QTableWidget* table) {
  QStringList headers;
  for (int c = 0; c < table->columnCount(); ++c) headers << table->horizontalHeaderItem(c)->text();
  return headers;
}

std::vector<QStringList> Rows(const QTableWidget* table) {
  std::vector<QStringList> rows;
  for (int r = 0; r < table->rowCount(); ++r) {
    QStringList row;
    for (int c = 0; c < table->columnCount(); ++c) row << table->item(r, c)->text();
    rows.push_back(row);
  }
  return rows;
}

QString Label(const QWidget& window, const char* name) { return window.findChild<QLabel*>(name)->text(); }

TEST(CellsWindow, EveryTechnologyInItsOwnColumnsWithTheServingIdentity) {
  ui::CellsWindow window;
  window.show();
  EXPECT_EQ(window.windowTitle(), "Соты");
  EXPECT_EQ(window.StatusLine()->text(), "Диалект: не определён");
  radio::Cycle cycle = testsupport::EnDcCycle(12);
  cycle.neighbours[2].gsm()->c1 = 23;
  window.ShowCycle(cycle);
  window.SetDialect("quectel");

  struct Case {
    Tech tech;
    QStringList headers;
    std::vector<QStringList> rows;
  };
  const Case cases[] = {
      {Tech::gsm,
       {"Сота", "Канал", "Диапазон", "BSIC", "Уровень, dBm", "RXQUAL", "C1", "C2", "TA"},
       {{"соседняя 3", "62", "GSM900", "7.3", "-80", "(n/a)", "23", "(n/a)", "(n/a)"}}},
      {Tech::wcdma,
       {"Сота", "UARFCN", "Диапазон", "PSC", "RSCP, dBm", "Ec/No, dB"},
       {{"соседняя 2", "10737", "(n/a)", "301", "-87", "-6,5"}}},
      {Tech::lte,
       {"Сота", "EARFCN", "Диапазон", "PCI", "RSRP, dBm", "RSRQ, dB", "RSSI, dBm", "SINR, dB"},
       {{"активная", "1850", "B3", "123", "-95,5", "-10,5", "-65", "12,4"},
        {"соседняя 1", "1850", "(n/a)", "124", "-99,25", "-13", "(n/a)", "(n/a)"}}},
      {Tech::nr,
       {"Сота", "NR-ARFCN", "Диапазон", "PCI", "SS-RSRP, dBm", "SS-RSRQ, dB", "SS-SINR, dB"},
       {{"EN-DC", "627264", "n78", "501", "-101", "-11", "7,5"},
        {"соседняя 4", "643334", "(n/a)", "7", "-110,5", "(n/a)", "(n/a)"}}},
  };
  for (const Case& c : cases) {
    const QTableWidget* table = window.Table(c.tech);
    SCOPED_TRACE(table->objectName().toStdString());
    EXPECT_TRUE(table->isVisible());
    EXPECT_EQ(Headers(table), c.headers);
    EXPECT_EQ(Rows(table), c.rows);
  }
  EXPECT_EQ(Label(window, "lblTech"), "LTE");
  EXPECT_EQ(Label(window, "lblMcc"), "250");
  EXPECT_EQ(Label(window, "lblMnc"), "01");
  EXPECT_EQ(Label(window, "lblAreaCaption"), "TAC:");
  EXPECT_EQ(Label(window, "lblArea"), "7001");
  EXPECT_EQ(Label(window, "lblCell"), "26132481");
  EXPECT_EQ(window.StatusLine()->text(), "Диалект: quectel   Цикл 12");

  // The next cycle replaces the last: a GSM cell serving, no cells of other technologies.
  radio::Cycle gsm = testsupport::CycleOf(
      {testsupport::GsmCell(62, "7.3", -70, 28641), testsupport::GsmCell(70, "1.1", -88), radio::Cell{}});
  gsm.serving->lac = 5580;
  gsm.n = 13;
  window.ShowCycle(gsm);
  EXPECT_EQ(
      Rows(window.Table(Tech::gsm)),
      (std::vector<QStringList>{{"активная", "62", "GSM900", "7.3", "-70", "(n/a)", "(n/a)", "(n/a)", "(n/a)"},
                                {"соседняя 1", "70", "GSM900", "1.1", "-88", "(n/a)", "(n/a)", "(n/a)", "(n/a)"}}));
  for (const Tech tech : {Tech::wcdma, Tech::lte, Tech::nr}) EXPECT_FALSE(window.Table(tech)->isVisible());
  EXPECT_EQ(Label(window, "lblTech"), "GSM");
  EXPECT_EQ(Label(window, "lblMcc"), "(n/a)");
  EXPECT_EQ(Label(window, "lblAreaCaption"), "LAC:");
  EXPECT_EQ(Label(window, "lblArea"), "5580");
  EXPECT_EQ(Label(window, "lblCell"), "28641");
}

TEST(CellsWindow, AWindowOpenedLaterShowsTheLatestCycleAndFamily) {
  ui::ShowLiveCells(testsupport::EnDcCycle(1));
  ui::SetLiveDialect("simcom");
  ui::ShowLiveCells(testsupport::EnDcCycle(2, -90));
  ui::CellsWindow& window = ui::OpenLiveCells(nullptr);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.Table(Tech::lte)->item(0, 4)->text(), "-90");
  EXPECT_EQ(window.StatusLine()->text(), "Диалект: simcom   Цикл 2");
  EXPECT_EQ(&ui::OpenLiveCells(nullptr), &window) << "one live window, raised again";
  ui::SetLiveDialect("telit");
  EXPECT_EQ(window.StatusLine()->text(), "Диалект: telit   Цикл 2");
  delete &window;
}

TEST(CellsWindow, LiveFromTheMainWindowsMenuAndShortcut) {
  testsupport::ModemSimProcess sim({"--seed", "5"});
  ASSERT_TRUE(sim.Started());
  const fs::path dir = fs::temp_directory_path() / ("uicells-e2e-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::create_symlink(sim.DevicePath(), dir / "COM1");
  ::setenv(platform::kComDirVariable, dir.c_str(), 1);
  ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  app::NameApplication();
  ui::Tfrm& form = ui::CreateMonitorWindow();
  form.show();
  const QRect placedBefore = form.findChild<QPushButton*>("btnControl")->geometry();

  emit form.customContextMenuRequested(QPoint(10, 10));
  QMenu* menu = form.findChild<QMenu*>("GpsMenu");
  ASSERT_NE(menu, nullptr);
  QAction* action = menu->findChild<QAction*>("actCells");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text(), "Соты");
  EXPECT_EQ(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
  menu->close();
  auto* shortcut = form.findChild<QShortcut*>("CellsShortcut");
  ASSERT_NE(shortcut, nullptr);
  emit shortcut->activated();
  auto* window = form.findChild<ui::CellsWindow*>("CellsWindow");
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());

  // The modem family, named from the monitor thread's side.
  std::thread([&form] { form.Ops().ShowDialect("quectel"); }).join();
  ASSERT_TRUE(WaitUntil([&] { return window->StatusLine()->text() == "Диалект: quectel"; }));

  form.findChild<QPushButton*>("btnControl")->click();
  const QTableWidget* gsm = window->Table(Tech::gsm);
  // The simulated modem reports a serving cell and six neighbours every cycle.
  ASSERT_TRUE(WaitUntil([&] { return gsm->rowCount() == 7 && window->StatusLine()->text().contains("Цикл 3"); },
                        std::chrono::seconds(40)));
  form.findChild<QPushButton*>("btnControl")->click();
  ASSERT_TRUE(WaitUntil([] { return !ui::MonitorSession().MonitorThreadRunning(); }, std::chrono::seconds(20)));
  QApplication::processEvents();
  EXPECT_EQ(form.findChild<QPushButton*>("btnControl")->geometry(), placedBefore);
  EXPECT_EQ(gsm->item(0, 0)->text(), "активная");
  EXPECT_TRUE(form.findChild<QLineEdit*>("txtChannel")->text().startsWith(gsm->item(0, 1)->text()))
      << form.findChild<QLineEdit*>("txtChannel")->text().toStdString() << " / "
      << gsm->item(0, 1)->text().toStdString();
  EXPECT_EQ(Label(*window, "lblTech"), "GSM");
  for (const Tech tech : {Tech::wcdma, Tech::lte, Tech::nr}) EXPECT_FALSE(window->Table(tech)->isVisible());
  // The window's run ends with its thread joined.
  EXPECT_TRUE(ui::EndMonitorWindow());
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
