#include "ui/export_action.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>

#include "platform/text_encoding.h"
#include "ui/app_state.h"
#include "ui/history_window.h"
#include "ui/local_file_name.h"
#include "ui/map_window.h"
#include "ui/viewer.h"

namespace ui {
namespace {

QString FromCp1251(const std::string& text) { return QString::fromStdString(platform::Cp1251ToUtf8(text)); }

QString FilterOf(const gsmexport::FormatInfo& info) {
  return QString::fromLatin1(info.title.data(), static_cast<int>(info.title.size())) + QStringLiteral(" (*.") +
         QString::fromLatin1(info.extension.data(), static_cast<int>(info.extension.size())) + QStringLiteral(")");
}

// Semicolons, decimal commas and a byte order mark: what Excel in a Russian locale reads.
QString ExcelRuFilter() { return QStringLiteral("CSV для Excel (*.csv)"); }

ExportTarget AskWithDialog(QWidget& parent, const QString& suggested) {
  QString filter = ExportFilters().first();
  const QString file = QFileDialog::getSaveFileName(&parent, QStringLiteral("Экспорт протокола"), suggested,
                                                    ExportFilters().join(QStringLiteral(";;")), &filter);
  if (file.isEmpty()) return {};
  return TargetOf(file, filter);
}

void Tell(QWidget* owner, QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, QString(), text, QMessageBox::Ok, owner);
  box.setObjectName(icon == QMessageBox::Critical ? QStringLiteral("ErrorBox") : QStringLiteral("InfoBox"));
  box.exec();
}

QAction* AddExportAction(QMenu* menu, TfrmViewer& viewer) {
  QAction* action = menu->addAction(QStringLiteral("Экспорт..."));
  action->setObjectName(QStringLiteral("actExport"));
  action->setEnabled(!viewer.SourceFile().empty());
  // Queued: the menu is deleted when it closes, and the dialogs of the export must not run
  // inside (and return into) that menu's mouse release.
  QObject::connect(
      action, &QAction::triggered, &viewer, [&viewer] { ExportReportLog(viewer); }, Qt::QueuedConnection);
  return action;
}

}  // namespace

void SetExportChooser(ChooseExportTarget chooser) { State().exportChooser = std::move(chooser); }

QStringList ExportFilters() {
  QStringList filters;
  for (const gsmexport::FormatInfo& info : gsmexport::Formats()) filters << FilterOf(info);
  filters << ExcelRuFilter();
  return filters;
}

ExportTarget TargetOf(const QString& file, const QString& filter) {
  const bool excelRu = filter == ExcelRuFilter();
  const auto dialectOf = [excelRu](gsmexport::ExportFormat format) {
    return excelRu && format == gsmexport::ExportFormat::csv ? gsmexport::CsvDialect::excelRu
                                                             : gsmexport::CsvDialect::standard;
  };
  if (const auto format = gsmexport::FormatOfFile(file.toStdString())) return {file, *format, dialectOf(*format)};
  if (excelRu) return {file + QStringLiteral(".csv"), gsmexport::ExportFormat::csv, gsmexport::CsvDialect::excelRu};
  for (const gsmexport::FormatInfo& info : gsmexport::Formats()) {
    if (FilterOf(info) == filter) {
      return {file + QStringLiteral(".") +
                  QString::fromLatin1(info.extension.data(), static_cast<int>(info.extension.size())),
              info.format};
    }
  }
  return {file + QStringLiteral(".gpkg"), gsmexport::ExportFormat::geoPackage};
}

QMenu* BuildReportMenu(TfrmViewer& viewer, const QPoint& at) {
  QMenu* menu = viewer.Report->createStandardContextMenu(at);
  menu->setObjectName(QStringLiteral("ReportMenu"));
  menu->addSeparator();
  AddExportAction(menu, viewer);
  AddLogHistoryAction(*menu, &viewer, viewer.SourceFile());
  AddLogMapAction(*menu, &viewer, viewer.SourceFile());
  return menu;
}

void InstallExportMenu(TfrmViewer& viewer) {
  viewer.Report->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(viewer.Report, &QWidget::customContextMenuRequested, &viewer, [&viewer](const QPoint& at) {
    QMenu* menu = BuildReportMenu(viewer, at);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(viewer.Report->viewport()->mapToGlobal(at));
  });
  viewer.Panel1->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(viewer.Panel1, &QWidget::customContextMenuRequested, &viewer, [&viewer](const QPoint& at) {
    auto* menu = new QMenu(&viewer);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    AddExportAction(menu, viewer);
    AddLogHistoryAction(*menu, &viewer, viewer.SourceFile());
    AddLogMapAction(*menu, &viewer, viewer.SourceFile());
    menu->popup(viewer.Panel1->mapToGlobal(at));
  });
}

void ExportReportLog(TfrmViewer& viewer) {
  const std::string& log = viewer.SourceFile();
  if (log.empty()) return;
  const QFileInfo info(ShownFileName(log));
  const QString suggested = info.dir().filePath(info.completeBaseName() + QStringLiteral(".gpkg"));
  const ChooseExportTarget& chooser = State().exportChooser;
  const ExportTarget target = chooser ? chooser(viewer, suggested) : AskWithDialog(viewer, suggested);
  if (target.file.isEmpty()) return;

  QProgressDialog progress(QStringLiteral("Экспорт протокола..."), QStringLiteral("Отмена"), 0, 1000, &viewer);
  progress.setObjectName(QStringLiteral("ExportProgress"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  gsmexport::ExportOptions options;
  options.format = target.format;
  options.csvDialect = target.csvDialect;
  options.overwrite = true;  // the save dialog has asked
  options.progress = [&progress](std::uint64_t done, std::uint64_t total) {
    if (total > 0) progress.setValue(static_cast<int>(std::min<std::uint64_t>(done * 1000 / total, 999)));
    QCoreApplication::processEvents();
    return !progress.wasCanceled();
  };
  const gsmexport::ExportResult result = gsmexport::ExportLog(log, LocalFileName(target.file), options);
  progress.reset();
  if (result.cancelled) return;
  const QString counts =
      QStringLiteral("Экспортировано циклов: %1, с местоположением: %2").arg(result.cycles).arg(result.placed);
  if (result.ok) {
    // GeoJSON and CSV put the events in a file of their own, which the dialog did not name.
    QString events;
    if (target.format == gsmexport::ExportFormat::geoJson || target.format == gsmexport::ExportFormat::csv) {
      events = QStringLiteral("\nСобытия: файл ") +
               QString::fromStdString(gsmexport::EventsFileName(target.file.toStdString()));
    }
    Tell(&viewer, QMessageBox::Information,
         QStringLiteral("Протокол экспортирован в файл ") + target.file + QStringLiteral("\n") + counts + events);
  } else if (result.damaged) {
    Tell(&viewer, QMessageBox::Warning, FromCp1251(result.error) + QStringLiteral("\n") + counts);
  } else {
    Tell(&viewer, QMessageBox::Critical, FromCp1251(result.error));
  }
}

}  // namespace ui
