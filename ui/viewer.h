#pragma once
// The report window TfrmViewer and the window side of showing a log's report.

#include <QWidget>
#include <string>

namespace ui {

class TfrmViewer;

// The report window created at start-up (one per program); null before.
TfrmViewer* ReportWindow();

// Builds the report of a log file and shows it in the report window, or shows the error through
// ShowError. fileName is Windows-1251, as typed in txtLog or given on the command line.
void ShowLogReport(const std::string& fileName);

}  // namespace ui
