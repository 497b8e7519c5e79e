#pragma once
// "Экспорт..." on the report window's context menus: the log on show, exported to a GIS or
// spreadsheet format chosen in a save dialog, with a progress box that can cancel it. No
// specified control moves: the action lives on the report pane's own menu and on the button
// panel's. Window's thread.

#include <QPoint>
#include <QString>
#include <QStringList>
#include <functional>

#include "export/log_export.h"

class QMenu;
class QWidget;

namespace ui {

class TfrmViewer;

struct ExportTarget {
  QString file;  // UTF-8 path; empty when the user cancelled
  gsmexport::ExportFormat format = gsmexport::ExportFormat::geoPackage;
  gsmexport::CsvDialect csvDialect = gsmexport::CsvDialect::standard;
};

// Asks where to export; suggested is the log's name with the GeoPackage extension.
using ChooseExportTarget = std::function<ExportTarget(QWidget& parent, const QString& suggested)>;

// The save dialog, or what tests put in its place (an empty function restores the dialog).
void SetExportChooser(ChooseExportTarget chooser);

// The file dialog's filters, "GeoPackage (*.gpkg)" and so on, in the formats' order, then CSV
// for a spreadsheet of the Russian locale.
QStringList ExportFilters();
// The target of a chosen name and filter: the name's own extension decides; a name without a
// known one gets the filter's. A CSV under the spreadsheet's filter takes its dialect.
ExportTarget TargetOf(const QString& file, const QString& filter);

// The report pane's menu: its standard entries, then "Экспорт..." (enabled while a log is shown).
QMenu* BuildReportMenu(TfrmViewer& viewer, const QPoint& at);

// Puts the menu on the report pane and the export entry on the button panel.
void InstallExportMenu(TfrmViewer& viewer);

// Exports the log on show: asks for the target, runs the export, tells the outcome.
void ExportReportLog(TfrmViewer& viewer);

}  // namespace ui
