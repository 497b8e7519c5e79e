// "Экспорт..." on the report window: on the pane's menu beside its own entries, the target and
// format from the save dialog, and the outcome told in a box.

#include "ui/export_action.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "log/log_writer.h"
#include "tests/support/modal_closer.h"
#include "tests/support/survey_log.h"
#include "ui/app_state.h"
#include "ui/viewer.h"

namespace {

QAction* ExportAction(QMenu& menu) {
  for (QAction* action : menu.actions()) {
    if (action->objectName() == "actExport") return action;
  }
  return nullptr;
}

struct ExportFixture : testing::Test {
  void SetUp() override {
    ui::SetViewerOnly(false);
    ui::SetMainWindow(&mainWindow);
    log = dir.filePath(QStringLiteral("drive.log"));
    ASSERT_TRUE(testsupport::WriteSurveyLog(log.toStdString()));
  }
  void TearDown() override {
    ui::SetExportChooser({});
    ui::SetMainWindow(nullptr);
  }
  // Exports with the save dialog answered by target; the text of the box that tells the outcome.
  QString ExportTo(const ui::ExportTarget& target) {
    ui::SetExportChooser([target](QWidget&, const QString&) { return target; });
    test_support::ModalCloser closer;
    ui::ExportReportLog(viewer);
    return closer.Text();
  }

  QTemporaryDir dir;
  QString log;
  QWidget mainWindow;
  ui::TfrmViewer viewer;
};

TEST_F(ExportFixture, OnThePanesMenuBesideItsOwnEntries) {
  std::unique_ptr<QMenu> empty(ui::BuildReportMenu(viewer, QPoint(1, 1)));
  ASSERT_NE(ExportAction(*empty), nullptr);
  EXPECT_EQ(ExportAction(*empty)->text(), "Экспорт...");
  EXPECT_FALSE(ExportAction(*empty)->isEnabled());  // no log on show
  EXPECT_GT(empty->actions().size(), 2);            // the pane's copy and select-all stay

  viewer.SetReport("report", log.toStdString());
  std::unique_ptr<QMenu> menu(ui::BuildReportMenu(viewer, QPoint(1, 1)));
  EXPECT_TRUE(ExportAction(*menu)->isEnabled());
  EXPECT_EQ(viewer.Report->contextMenuPolicy(), Qt::CustomContextMenu);
  EXPECT_EQ(viewer.Panel1->contextMenuPolicy(), Qt::CustomContextMenu);
}

TEST_F(ExportFixture, ExportsTheLogOnShowAndTellsHowMuch) {
  viewer.SetReport("report", log.toStdString());
  const QString out = dir.filePath(QStringLiteral("drive.gpkg"));
  QString suggested;
  ui::SetExportChooser([&](QWidget&, const QString& offered) {
    suggested = offered;
    return ui::ExportTarget{out, gsmexport::ExportFormat::geoPackage};
  });
  test_support::ModalCloser closer;
  ui::ExportReportLog(viewer);
  EXPECT_EQ(suggested, out);
  EXPECT_TRUE(closer.Seen());
  EXPECT_EQ(closer.ObjectName(), "InfoBox");
  EXPECT_EQ(closer.Text(), "Протокол экспортирован в файл " + out + "\nЭкспортировано циклов: 2, с местоположением: 1");
  EXPECT_GT(std::filesystem::file_size(out.toStdString()), 0u);

  // Again over it: the save dialog has asked, so it is replaced.
  EXPECT_EQ(ExportTo({out, gsmexport::ExportFormat::geoPackage}).left(29), "Протокол экспортирован в файл");
}

TEST_F(ExportFixture, DamagedLogAndUnwritablePlace) {
  const QString damaged = dir.filePath(QStringLiteral("damaged.log"));
  { std::ofstream(damaged.toStdString()) << "not a log"; }
  viewer.SetReport("report", damaged.toStdString());
  EXPECT_EQ(ExportTo({dir.filePath(QStringLiteral("d.csv")), gsmexport::ExportFormat::csv}),
            "Файл протокола " + damaged +
                " поврежден: недопустимый байт в тексте записи (байт 0, запись 1); прочитано циклов: 0, байт: 0 из 9\n"
                "Экспортировано циклов: 0, с местоположением: 0");

  viewer.SetReport("report", log.toStdString());
  const QString nowhere = dir.filePath(QStringLiteral("no/folder/out.kml"));
  ui::SetExportChooser([&](QWidget&, const QString&) {
    return ui::ExportTarget{nowhere, gsmexport::ExportFormat::kml};
  });
  test_support::ModalCloser closer;
  ui::ExportReportLog(viewer);
  EXPECT_EQ(closer.ObjectName(), "ErrorBox");
  EXPECT_EQ(closer.Text(), "Невозможно создать файл " + nowhere);

  // A cancelled dialog does nothing.
  ui::SetExportChooser([](QWidget&, const QString&) { return ui::ExportTarget{}; });
  test_support::ModalCloser none;
  ui::ExportReportLog(viewer);
  QApplication::processEvents();
  EXPECT_FALSE(none.Seen());
}

// The entry is clicked on the popped-up menu, as a user does: the menu goes when it closes, and
// the save dialog and the box that follow must not return into it.
TEST_F(ExportFixture, ClickedOnThePoppedUpMenuTheWindowLivesOn) {
  viewer.SetReport("report", log.toStdString());
  viewer.show();
  const QString out = dir.filePath(QStringLiteral("clicked.geojson"));
  ui::SetExportChooser([&](QWidget&, const QString&) {
    return ui::ExportTarget{out, gsmexport::ExportFormat::geoJson};
  });
  emit viewer.Report->customContextMenuRequested(QPoint(5, 5));
  QPointer<QMenu> menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_TRUE(menu);
  QAction* action = ExportAction(*menu);
  ASSERT_NE(action, nullptr);
  const QPoint at = menu->actionGeometry(action).center();
  test_support::ModalCloser closer;
  for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent click(type, at, menu->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(menu, &click);
  }
  for (int i = 0; i < 500 && !closer.Seen(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(closer.Seen());
  EXPECT_EQ(closer.ObjectName(), "InfoBox");
  EXPECT_TRUE(closer.Text().endsWith("\nСобытия: файл " + dir.filePath(QStringLiteral("clicked-events.geojson"))))
      << closer.Text().toStdString();
  EXPECT_TRUE(std::filesystem::exists(out.toStdString()));
  EXPECT_FALSE(menu);  // closed and gone
  EXPECT_TRUE(viewer.isVisible());
}

TEST(ExportTarget, TheNamesExtensionOrTheFilters) {
  EXPECT_EQ(ui::ExportFilters(), QStringList({"GeoPackage (*.gpkg)", "GeoJSON (*.geojson)", "KML (*.kml)",
                                              "GPX (*.gpx)", "CSV (*.csv)", "CSV для Excel (*.csv)"}));
  struct Case {
    const char* file;
    const char* filter;
    const char* target;
    gsmexport::ExportFormat format;
    gsmexport::CsvDialect dialect = gsmexport::CsvDialect::standard;
  };
  const Case cases[] = {
      {"/t/drive.kml", "GeoPackage (*.gpkg)", "/t/drive.kml", gsmexport::ExportFormat::kml},
      {"/t/drive", "GPX (*.gpx)", "/t/drive.gpx", gsmexport::ExportFormat::gpx},
      {"/t/drive.v2", "CSV (*.csv)", "/t/drive.v2.csv", gsmexport::ExportFormat::csv},
      {"/t/drive", "", "/t/drive.gpkg", gsmexport::ExportFormat::geoPackage},
      {"/t/drive", "CSV для Excel (*.csv)", "/t/drive.csv", gsmexport::ExportFormat::csv,
       gsmexport::CsvDialect::excelRu},
      {"/t/drive.csv", "CSV для Excel (*.csv)", "/t/drive.csv", gsmexport::ExportFormat::csv,
       gsmexport::CsvDialect::excelRu},
      {"/t/drive.kml", "CSV для Excel (*.csv)", "/t/drive.kml", gsmexport::ExportFormat::kml},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto target = ui::TargetOf(c.file, c.filter);
    EXPECT_EQ(target.file, c.target);
    EXPECT_EQ(target.format, c.format);
    EXPECT_EQ(target.csvDialect, c.dialect);
  }
}

}  // namespace
